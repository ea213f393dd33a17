#include "dbf/TXQSmartDBF.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "dataset/Exceptions.h"
#include "dbf/file_io.h"
#include "test_support.h"

namespace tolk {
namespace {

using testing::TempDir;
using tools::DbfWriter;
using tools::FieldSpec;

// A table component configured as every table of the system is.
struct Table : TXQSmartDBF {
  explicit Table(const std::string& path) : TXQSmartDBF("tbDados") { DBFFileName = path; }
};

std::string OpenError(const std::string& path) {
  return "TXQSmartDBF.InternalOpen: Open error \"" + path + "\"";
}

// ---- Header, dialects and the open errors -----------------------------------

class OpenTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string Write(const std::string& name, DbfWriter& w) {
    std::string p = dir.File(name);
    w.WriteFile(p);
    return p;
  }
  std::string Patched(const std::string& name, std::size_t offset, std::string bytes) {
    DbfWriter w({{"NOME", 'C', 10}, {"VALOR", 'N', 8, 2}});
    w.AddRecord({"ABC", "1.5"});
    std::string b = w.Bytes();
    b.replace(offset, bytes.size(), bytes);
    std::string p = dir.File(name);
    testing::WriteBytes(p, b);
    return p;
  }
};

TEST_F(OpenTest, VersionBytesSelectDialects) {
  DbfWriter plain({{"A", 'C', 3}});
  Table t(Write("plain.dbf", plain));
  t.Open();
  EXPECT_EQ(t.DbfVersion, xBaseVersion::xBaseIII);
  EXPECT_EQ(t.MemoVersion(), xBaseVersion::xUnknown);
  t.Close();

  DbfWriter memo({{"A", 'C', 3}, {"OBS", 'M', 10}});
  memo.version = 0x83;
  std::string path = Write("memo.dbf", memo);
  Table m(path);
  m.Open();  // the memo file is missing: still opens
  EXPECT_EQ(m.MemoVersion(), xBaseVersion::xBaseIII);
  EXPECT_FALSE(m.HasMemoFile());
  m.Close();
  testing::WriteBytes(dir.File("memo.dbt"), std::string(512, '\0'));
  m.Open();
  EXPECT_TRUE(m.HasMemoFile());
  EXPECT_EQ(m.LobBlockSize, 512);
  EXPECT_EQ(m.Fields()[1].DataType(), TFieldType::ftMemo);
}

TEST_F(OpenTest, RefusedFilesAreClosedAndCanBeOpenedAgain) {
  DbfWriter w({{"A", 'C', 3}});
  w.version = 0x02;
  std::string path = Write("v2.dbf", w);
  Table t(path);
  EXPECT_THROW_MSG(t.Open(), Exception,
                   "TXQSmartDBF.InternalOpen: File \"" + path + "\" is not DBF file");
  EXPECT_FALSE(t.Active());
  // The file was released: an exclusive open of it succeeds.
  PosixFile f;
  EXPECT_TRUE(f.OpenRead(path, ShareMode::Exclusive));
  f.Close();
  DbfWriter good({{"A", 'C', 3}});
  t.DBFFileName = Write("good.dbf", good);
  t.Open();
  EXPECT_TRUE(t.Active());
}

TEST_F(OpenTest, ExclusiveOpenFailsAtOnceWhenTheFileIsHeld) {
  DbfWriter w({{"A", 'C', 3}});
  std::string path = Write("t.dbf", w);
  Table first(path), second(path);
  first.Open();
  EXPECT_THROW_MSG(second.Open(), Exception, OpenError(path));  // same process, another open
  first.Close();
  second.Open();

  Table missing(dir.File("nao existe.dbf"));
  EXPECT_THROW_MSG(missing.Open(), Exception, OpenError(dir.File("nao existe.dbf")));
  Table folder(dir.path());
  EXPECT_THROW_MSG(folder.Open(), Exception, OpenError(dir.path()));
  std::string fifo = dir.File("fila.dbf");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  Table pipe(fifo);
  EXPECT_THROW_MSG(pipe.Open(), Exception, OpenError(fifo));  // and does not block
}

TEST_F(OpenTest, RecordLengthAgainstTheBuffer) {
  DbfWriter big({{"A", 'C', 4096}});  // record length 4097
  Table t(Write("big.dbf", big));
  EXPECT_THROW_MSG(t.Open(), Exception, "TXQSmartDBF.InternalOpen: BufferSize too small!");
  DbfWriter fits({{"A", 'C', 4095}});
  fits.AddRecord({"x"});
  fits.AddRecord({"y"});
  Table u(Write("fits.dbf", fits));
  u.Open();
  EXPECT_EQ(u.RecordsPerBuffer(), 1);
  u.Next();
  EXPECT_EQ(u.RecNo(), 2);
}

TEST_F(OpenTest, TypeLettersOfLaterDialects) {
  const std::string pre = "TXQSmartDBF.HiddenInitFieldDefs: ";
  struct Case {
    std::uint8_t version;
    char letter;
    std::string message;
  } cases[] = {
      {0x03, 'B',
       pre + "DBF Version must be greater then xBaseIII for field type \"B\" and \"G\"!"},
      {0x03, 'G',
       pre + "DBF Version must be greater then xBaseIII for field type \"B\" and \"G\"!"},
      {0x8B, 'P', pre + "DBF Version must be xFoxPro or greater for field type \"P\"!"},
      {0xF5, 'T', pre + "DBF Version must be xVisualFoxPro or greater for field type \"T\"!"},
      {0xF5, 'Y', pre + "DBF Version must be xVisualFoxPro or greater for field type \"Y\"!"},
      {0xF5, 'I',
       pre +
           "DBF Version must be greater then xBaseV for field type \"+\", \"I\", \"O\" and \"@\"!"},
      {0x30, 'I', ""},
      {0x30, 'T', ""},
      {0x8B, 'B', ""},
  };
  for (const auto& c : cases) {
    DbfWriter w({{"X", c.letter, 4}});
    w.version = c.version;
    Table t(Write("d.dbf", w));
    if (c.message.empty()) {
      EXPECT_NO_THROW(t.Open()) << c.letter;
    } else {
      EXPECT_THROW_MSG(t.Open(), Exception, c.message);
    }
  }
}

TEST_F(OpenTest, DamagedHeadersAreRejectedNamingTheFile) {
  auto damaged = [](const std::string& p, const std::string& what) {
    return "TXQSmartDBF.InternalOpen: File \"" + p + "\" is damaged: " + what;
  };
  // Record length 0.
  std::string p = Patched("rl0.dbf", 10, std::string(2, '\0'));
  EXPECT_THROW_MSG(Table(p).Open(), Exception, damaged(p, "the record length is 0"));
  // Header length past the end of the file.
  p = Patched("hl.dbf", 8, "\xFF\x7F");
  Table hl(p);
  EXPECT_THROW(hl.Open(), Exception);
  // Header length that ends inside the descriptors: no terminator inside it.
  p = Patched("short.dbf", 8, "\x30\x00");
  EXPECT_THROW_MSG(
      Table(p).Open(), Exception,
      damaged(p, "the field descriptors have no 0x0D terminator inside the header length 48"));
  // Widths adding up past the record.
  p = Patched("wide.dbf", 10, "\x0A\x00");  // record 10 < 1 + 10 + 8
  EXPECT_THROW_MSG(
      Table(p).Open(), Exception,
      damaged(p,
              "the field widths add up to more than the record length 10 minus the deletion "
              "flag (at field \"NOME\")"));
  // An unknown type letter names the field and the letter.
  p = Patched("letter.dbf", 32 + 32 + 11, "Q");
  EXPECT_THROW_MSG(Table(p).Open(), Exception,
                   "TXQSmartDBF.HiddenInitFieldDefs: Field \"VALOR\" of \"" + p +
                       "\" has the unknown type letter \"Q\"");
  // Empty and truncated files.
  p = dir.File("empty.dbf");
  testing::WriteBytes(p, "");
  EXPECT_THROW_MSG(Table(p).Open(), Exception, damaged(p, "the file is empty"));
  p = dir.File("cut.dbf");
  testing::WriteBytes(p, std::string("\x03\x7e\x0c\x08", 4));
  EXPECT_THROW_MSG(Table(p).Open(), Exception,
                   damaged(p, "the header is cut short (4 of 32 bytes)"));
}

// ---- Descriptors ------------------------------------------------------------

TEST(DescriptorTest, NamesTypesWidthsAndOffsets) {
  TempDir dir;
  DbfWriter w({{"cod_seg", 'C', 5},
               {"NOTA", 'C', 300},
               {"QTD", 'N', 9},
               {"GRANDE", 'N', 10},
               {"VALOR", 'N', 12, 2},
               {"TAXA", 'F', 6, 3},
               {"DATA", 'D', 10},  // the descriptor says 10; a date is 8 wide
               {"ATIVO", 'L', 1}});
  w.AddRecord({"00123", "x", "7", "8", "9.5", "1.25", "20170801", "T"});
  std::string p = dir.File("t.dbf");
  w.WriteFile(p);
  TXQSmartDBF t;
  t.DBFFileName = p;
  t.Open();
  ASSERT_EQ(t.FieldCount(), 8);
  EXPECT_EQ(t.Fields()[0].FieldName(), "COD_SEG");
  EXPECT_EQ(&t.FieldByName("cod_seg"), &t.Fields()[0]);
  struct Expect {
    TFieldType type;
    int size;
    std::uint32_t offset;
  } e[] = {{TFieldType::ftString, 5, 1},    {TFieldType::ftString, 300, 6},
           {TFieldType::ftInteger, 0, 306}, {TFieldType::ftLargeint, 0, 315},
           {TFieldType::ftFloat, 0, 325},   {TFieldType::ftFloat, 0, 337},
           {TFieldType::ftDate, 0, 343},    {TFieldType::ftBoolean, 0, 351}};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(t.Fields()[i].DataType(), e[i].type) << i;
    EXPECT_EQ(t.Fields()[i].Size(), e[i].size) << i;
    EXPECT_EQ(t.FieldDef(i).offset, e[i].offset) << i;
  }
  // The writer made the record from the descriptors' own widths (date 10),
  // so the record is 2 bytes longer than the fields read: that is allowed.
  EXPECT_EQ(t.FieldByName("DATA").AsVariant().Dbl(), 42948.0);
  EXPECT_EQ(t.FieldByName("VALOR").AsFloat(), 9.5);
}

// ---- Walking and buffering --------------------------------------------------

std::string SeqTable(TempDir& dir, int n, int recordLength, const std::vector<int>& deleted = {}) {
  DbfWriter w({{"N", 'C', recordLength - 1}});
  for (int i = 1; i <= n; ++i)
    w.AddRecord({std::to_string(i)}, std::find(deleted.begin(), deleted.end(), i) != deleted.end());
  std::string p = dir.File("seq" + std::to_string(n) + ".dbf");
  w.WriteFile(p);
  return p;
}

std::vector<int> Walk(TXQSmartDBF& t) {
  std::vector<int> seen;
  for (t.First(); !t.Eof(); t.Next()) seen.push_back(t.RecNo());
  return seen;
}

TEST(WalkTest, OneReadPerBlockAndOneEmptyReadAtTheEnd) {
  TempDir dir;
  TXQSmartDBF t;
  t.DBFFileName = SeqTable(dir, 41, 100);
  t.Open();
  EXPECT_EQ(t.RecordsPerBuffer(), 40);
  std::vector<int> seen = {t.RecNo()};
  while (true) {
    t.Next();
    if (t.Eof()) break;
    seen.push_back(t.RecNo());
  }
  EXPECT_EQ(seen.size(), 41u);
  EXPECT_EQ(seen.back(), 41);
  EXPECT_EQ(t.BlockReads(), 3u);  // 40 records, 1 record, nothing
  EXPECT_EQ(t.RecNo(), 41);       // the last record stays current
  EXPECT_EQ(t.FieldByName("N").AsString().substr(0, 2), "41");
  t.Next();
  EXPECT_EQ(t.BlockReads(), 3u);
}

TEST(WalkTest, RecordsAreWhatTheFileHolds) {
  TempDir dir;
  // Header length with a gap after the terminator, a wrong count in the
  // header, a 17-byte tail and no end-of-file byte.
  DbfWriter w({{"A", 'C', 19}});
  w.gapAfterTerminator = 32;
  w.headerRecordCount = 10;
  w.eofMarker = false;
  w.trailingBytes = std::string(17, 'x');
  w.AddRecord({"um"});
  w.AddRecord({"dois"});
  std::string p = dir.File("t.dbf");
  w.WriteFile(p);
  TXQSmartDBF t;
  t.DBFFileName = p;
  t.Open();
  EXPECT_EQ(t.HeaderLength(), 97u);
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_EQ(Walk(t), (std::vector<int>{1, 2}));
  EXPECT_EQ(t.FieldByName("A").AsString(), "dois" + std::string(15, ' '));

  DbfWriter more({{"A", 'C', 3}});
  more.headerRecordCount = 10;
  for (int i = 0; i < 12; ++i) more.AddRecord({"r"});
  more.WriteFile(p);
  t.Close();
  t.Open();
  EXPECT_EQ(Walk(t).size(), 12u);
}

TEST(WalkTest, EmptyTable) {
  TempDir dir;
  TXQSmartDBF t;
  t.DBFFileName = SeqTable(dir, 0, 10);
  t.Open();
  EXPECT_TRUE(t.Bof());
  EXPECT_TRUE(t.Eof());
  EXPECT_FALSE(t.Deleted());
  EXPECT_EQ(t.RecNo(), -1);
  EXPECT_TRUE(t.FieldByName("N").IsNull());
  EXPECT_TRUE(t.FieldByName("N").AsVariant().IsNull());
}

TEST(WalkTest, DeletedRecordsHiddenOrShown) {
  TempDir dir;
  TXQSmartDBF t;
  t.DBFFileName = SeqTable(dir, 3, 10, {1, 2});
  t.SetSetDeleted(true);
  t.Open();
  EXPECT_EQ(t.RecNo(), 3);
  EXPECT_FALSE(t.Deleted());
  t.Next();
  EXPECT_TRUE(t.Eof());

  t.Close();
  t.SetSetDeleted(false);
  t.Open();
  EXPECT_EQ(Walk(t), (std::vector<int>{1, 2, 3}));
  t.First();
  EXPECT_TRUE(t.Deleted());
  // Switching on while open applies at once: record 1 is hidden now.
  t.SetSetDeleted(true);
  EXPECT_EQ(t.RecNo(), 3);

  TXQSmartDBF all;
  all.DBFFileName = SeqTable(dir, 5, 10, {1, 2, 3, 4, 5});
  all.SetSetDeleted(true);
  all.Open();
  EXPECT_TRUE(all.Eof());
  EXPECT_TRUE(all.Bof());
  // Long runs of deleted records cost only block reads.
  TXQSmartDBF many;
  std::vector<int> del;
  for (int i = 1; i < 5000; ++i) del.push_back(i);
  many.DBFFileName = SeqTable(dir, 5000, 10, del);
  many.SetSetDeleted(true);
  many.Open();
  EXPECT_EQ(many.RecNo(), 5000);
}

TEST(WalkTest, GoToRecordContinuesFromThere) {
  TempDir dir;
  TXQSmartDBF t;
  t.DBFFileName = SeqTable(dir, 100, 100);
  t.Open();
  ASSERT_TRUE(t.GoToRecord(77));
  EXPECT_EQ(t.FieldByName("N").AsString().substr(0, 2), "77");
  t.Next();
  EXPECT_EQ(t.RecNo(), 78);
  EXPECT_FALSE(t.GoToRecord(101));
  EXPECT_FALSE(t.GoToRecord(0));
  EXPECT_EQ(t.RecNo(), 78);
}

TEST(WalkTest, MoveToRecordReadsTheRecordOnlyWhenAsked) {
  TempDir dir;
  TXQSmartDBF t;
  t.DBFFileName = SeqTable(dir, 100, 100, {40});
  t.Open();
  const std::uint64_t reads = t.BlockReads();
  ASSERT_TRUE(t.MoveToRecord(90));
  ASSERT_TRUE(t.MoveToRecord(40));
  EXPECT_EQ(t.RecNo(), 40);
  EXPECT_EQ(t.BlockReads(), reads) << "moves alone read nothing";
  EXPECT_TRUE(t.Deleted());
  EXPECT_EQ(t.FieldByName("N").AsString().substr(0, 3), "40 ");
  EXPECT_EQ(t.BlockReads(), reads + 1);
  ASSERT_TRUE(t.MoveToRecord(7));
  t.Next();
  EXPECT_EQ(t.RecNo(), 8) << "the walk goes on after the record moved to, unread";
  EXPECT_EQ(t.FieldByName("N").AsString().substr(0, 2), "8 ");
  ASSERT_TRUE(t.MoveToRecord(41));
  EXPECT_EQ(t.RecordBytes()[1], '4');
  EXPECT_FALSE(t.MoveToRecord(101));
  EXPECT_EQ(t.RecNo(), 41);
  // Hiding deleted records re-reads the current one first.
  ASSERT_TRUE(t.MoveToRecord(40));
  t.SetSetDeleted(true);
  EXPECT_EQ(t.RecNo(), 41);
}

TEST(WalkTest, OffsetsBeyondFourGigabytes) {
  TempDir dir;
  // A sparse file of 4096-byte records reaching past 4 GiB, with a marked
  // record at the end; the zero-filled records in between read as blanks.
  DbfWriter w({{"A", 'C', 4095}});
  w.eofMarker = false;
  std::string p = dir.File("big.dbf");
  w.WriteFile(p);
  const std::uint64_t header = w.HeaderLengthValue();
  const std::uint64_t records = (5ULL << 30) / 4096 + 3;
  int fd = ::open(p.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  if (::ftruncate(fd, static_cast<off_t>(header + records * 4096)) != 0) {
    ::close(fd);
    GTEST_SKIP() << "no sparse file of 5 GiB here";
  }
  std::string last(4096, ' ');
  last.replace(1, 6, "ULTIMO");
  ASSERT_EQ(
      ::pwrite(fd, last.data(), last.size(), static_cast<off_t>(header + (records - 1) * 4096)),
      4096);
  ::close(fd);
  TXQSmartDBF t;
  t.DBFFileName = p;
  t.Open();
  EXPECT_EQ(t.RecordCount(), static_cast<int>(records));
  ASSERT_TRUE(t.GoToRecord(static_cast<std::uint32_t>(records - 1)));
  t.Next();
  EXPECT_EQ(t.RecNo(), static_cast<int>(records));
  EXPECT_EQ(t.FieldByName("A").AsString().substr(0, 6), "ULTIMO");
  t.Next();
  EXPECT_TRUE(t.Eof());
}

// A window of three pages over a file of 300,001 bytes answers every kind
// of read as the file does: record blocks from front to back up to the
// short one at the end, a step back, a read larger than the window, reads at
// and past the end.
TEST(ReadWindowTest, AnswersEveryReadAsTheFileWould) {
  TempDir dir;
  std::string bytes(300001, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 % 251);
  const std::string p = dir.File("bytes.bin");
  testing::WriteBytes(p, bytes);
  PosixFile f;
  ASSERT_TRUE(f.OpenRead(p, ShareMode::Exclusive));
  ReadWindow w;
  w.Resize(3 * 4096);
  std::vector<std::pair<std::uint64_t, std::size_t>> reads;
  for (std::uint64_t at = 5; at < bytes.size() + 4088; at += 4088) reads.emplace_back(at, 4088);
  reads.insert(reads.end(),
               {{4000, 100}, {12000, 9000}, {0, 20000}, {299990, 30}, {300001, 10}, {400000, 1}});
  std::vector<char> got(20000), want(20000);
  for (auto [at, n] : reads) {
    const std::int64_t a = w.ReadAt(f, at, got.data(), n);
    const std::int64_t b = f.ReadAt(at, want.data(), n);
    ASSERT_EQ(a, b) << "at " << at << ", " << n << " bytes";
    ASSERT_EQ(std::memcmp(got.data(), want.data(), static_cast<std::size_t>(b)), 0) << "at " << at;
  }
}

// Only a table that nobody else may write reads ahead: a walk of a table
// shared with writers sees a record that another program rewrote after the
// walk began.
TEST(WalkTest, ASharedTableSeesRecordsRewrittenAheadOfTheWalk) {
  TempDir dir;
  const std::string p = SeqTable(dir, 2000, 10);  // five blocks of 409 records
  TXQSmartDBF t;
  t.DBFFileName = p;
  t.AccessMode = ShareDenyNone;
  t.Open();
  std::string found;
  for (t.First(); !t.Eof(); t.Next()) {
    if (t.RecNo() == 1) {
      const int fd = ::open(p.c_str(), O_WRONLY);
      ASSERT_GE(fd, 0);
      const std::uint64_t record1500 = t.HeaderLength() + 1499 * t.RecordLength();
      ASSERT_EQ(::pwrite(fd, " 999      ", 10, static_cast<off_t>(record1500)), 10);
      ::close(fd);
    }
    if (t.RecNo() == 1500) found = t.FieldByName("N").AsString();
  }
  EXPECT_EQ(found.substr(0, 3), "999");
}

}  // namespace
}  // namespace tolk
