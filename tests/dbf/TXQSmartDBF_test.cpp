#include "dbf/TXQSmartDBF.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "dataset/Exceptions.h"
#include "dataset/coding.h"
#include "dbf/dbf_format.h"
#include "dbf/file_io.h"
#include "test_support.h"

namespace tolk {
namespace {

using testing::TempDir;
using testing::WriteBytes;
using tools::DbfWriter;
using tools::FieldSpec;

// A table component configured as every table of the system is.
struct Table : TXQSmartDBF {
  explicit Table(const std::string& path) : TXQSmartDBF("tbDados") { DBFFileName = path; }
};

std::string OpenError(const std::string& path) {
  return "TXQSmartDBF.InternalOpen: Open error \"" + path + "\"";
}
std::string Damaged(const std::string& path, const std::string& what) {
  return "TXQSmartDBF.InternalOpen: File \"" + path + "\" is damaged: " + what;
}
std::string NoTerminator(const std::string& path, std::size_t headerLength) {
  return Damaged(path, "the field descriptors have no 0x0D terminator inside the header length " +
                           std::to_string(headerLength));
}
std::string WidthsPast(const std::string& path, std::size_t recordLength,
                       const std::string& field) {
  return Damaged(path, "the field widths add up to more than the record length " +
                           std::to_string(recordLength) + " minus the deletion flag (at field \"" +
                           field + "\")");
}
const std::string kBufferTooSmall = "TXQSmartDBF.InternalOpen: BufferSize too small!";

// Writes `bytes` over the file at `offset`, as another program would.
void WriteAt(const std::string& path, std::uint64_t offset, const std::string& bytes) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(offset));
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  f.close();
  ASSERT_TRUE(f) << "cannot write " << path;
}

// Reads every field of every record every way a run does; the number of
// records walked. No read may leave its record.
int WalkEveryField(TXQSmartDBF& t) {
  int n = 0;
  for (t.First(); !t.Eof(); t.Next()) {
    ++n;
    for (int i = 0; i < t.FieldCount(); ++i) {
      const TField& f = t.Fields()[i];
      (void)f.IsNull();
      (void)f.AsVariant();
      (void)f.AsString();
    }
    (void)t.Deleted();
  }
  return n;
}

// Five records of NOME C 10, VALOR N 8.2, DATA D 8: header length 129,
// record length 27, 265 bytes with the end-of-file byte.
DbfWriter Fixture() {
  DbfWriter w({{"NOME", 'C', 10}, {"VALOR", 'N', 8, 2}, {"DATA", 'D', 8}});
  for (int i = 0; i < 5; ++i)
    w.AddRecord({"NOME " + std::to_string(i), std::to_string(i) + ".25", "20170801"});
  return w;
}

// ---- Header, dialects and the open errors -----------------------------------
// Corruption cases build a valid file, patch bytes at a named offset and
// expect the clean error: nothing is read outside its record, and a refused
// table is closed.

class OpenTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string Write(const std::string& name, const DbfWriter& w) {
    std::string p = dir.File(name);
    w.WriteFile(p);
    return p;
  }
};

TEST_F(OpenTest, VersionBytesSelectDialectsAndMemoFiles) {
  DbfWriter plain({{"A", 'C', 3}});
  Table t(Write("plain.dbf", plain));
  t.Open();
  EXPECT_EQ(t.DbfVersion, xBaseVersion::xBaseIII);
  EXPECT_EQ(t.MemoVersion(), xBaseVersion::xUnknown);

  // A memo file that is missing or no file is not an error: the table opens
  // without one (and a FIFO does not block the open).
  using enum xBaseVersion;
  struct Dialect {
    std::uint8_t version, flags;
    const char* memo;
    xBaseVersion memoVersion;
  } dialects[] = {{0x83, 0, "t.dbt", xBaseIII},
                  {0x8B, 0, "t.dbt", xBaseIV},
                  {0xF5, 0, "t.fpt", xFoxPro},
                  {0x30, 2, "t.fpt", xVisualFoxPro}};
  for (const Dialect& d : dialects) {
    DbfWriter w({{"NOME", 'C', 5}, {"OBS", 'M', 10}});
    w.version = d.version;
    w.tableFlags = d.flags;
    w.AddRecord({"A", "1"});
    w.AddRecord({"B", ""});
    const std::string table = Write("t.dbf", w), memo = dir.File(d.memo);
    for (const std::string kind : {"missing", "folder", "fifo", "empty", "three bytes"}) {
      SCOPED_TRACE(std::string(d.memo) + " " + kind + " for version " + std::to_string(d.version));
      std::filesystem::remove_all(memo);
      if (kind == "folder") std::filesystem::create_directory(memo);
      if (kind == "fifo") {
#ifdef _WIN32
        continue;  // no FIFOs on Windows
#else
        ASSERT_EQ(::mkfifo(memo.c_str(), 0600), 0);
#endif
      }
      if (kind == "empty") WriteBytes(memo, "");
      if (kind == "three bytes") WriteBytes(memo, "\x01\x02\x03");
      Table m(table);
      ASSERT_NO_THROW(m.Open());
      EXPECT_EQ(m.MemoVersion(), d.memoVersion);
      EXPECT_EQ(m.HasMemoFile(), kind == "empty" || kind == "three bytes");
      EXPECT_EQ(m.LobBlockSize, 512);  // none of these memo headers names another block size
      EXPECT_EQ(m.Fields()[1].DataType(), TFieldType::ftMemo);
      EXPECT_EQ(WalkEveryField(m), 2);
    }
    std::filesystem::remove_all(memo);
  }
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
  SystemFile f;
  EXPECT_TRUE(f.OpenRead(path, ShareMode::Exclusive));
  f.Close();
  t.DBFFileName = Write("good.dbf", Fixture());
  t.Open();
  EXPECT_TRUE(t.Active());
}

TEST_F(OpenTest, OpenFailsAtOnceOnAHeldFileAndOnPathsThatNameNoTable) {
  const std::string file = Write("t.dbf", Fixture());
  Table first(file), second(file);
  first.Open();
  EXPECT_THROW_MSG(second.Open(), Exception, OpenError(file));  // same process, another open
  first.Close();
  second.Open();

  std::vector<std::string> paths = {dir.File("nao existe.dbf"),
                                    dir.path(),
                                    file + "/",
                                    file + "/x.dbf",
                                    dir.File("") + std::string(PATH_MAX, 'a') + ".dbf",
                                    ""};
#ifdef _WIN32
  // Devices. No FIFOs on Windows, and symbolic links need a privilege there
  // (the C++ library there makes none).
  paths.insert(paths.end(), {"NUL", "CON", "//./NUL"});
#else
  const std::string loop = dir.File("laco.dbf"), dangling = dir.File("solto.dbf"),
                    toFolder = dir.File("pasta.dbf"), fifo = dir.File("fila.dbf");
  ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
  ASSERT_EQ(::symlink(dir.File("nao existe").c_str(), dangling.c_str()), 0);
  ASSERT_EQ(::symlink(dir.path().c_str(), toFolder.c_str()), 0);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  paths.insert(paths.end(), {fifo, "/dev/zero", "/dev/null", loop, dangling, toFolder});
#endif
  for (const std::string& p : paths) {
    SCOPED_TRACE(p.substr(0, 80));
    // Neither a FIFO nor /dev/zero blocks or is read forever.
    EXPECT_THROW_MSG(Table(p).Open(), Exception, OpenError(p));
  }
}

TEST_F(OpenTest, CharacterWidthsAgainstTheBuffer) {
  const std::string path = dir.File("c.dbf");
  // Widths the buffer holds: the value comes back whole, blanks included.
  for (int width : {255, 256, 300, 4095}) {
    SCOPED_TRACE(width);
    DbfWriter w({{"TEXTO", 'C', width}});
    w.AddRecord({"inicio"});
    w.AddRecord({std::string(static_cast<std::size_t>(width), 'x')});
    w.WriteFile(path);
    Table t(path);
    t.Open();
    EXPECT_EQ(t.RecordsPerBuffer(), 4096 / (width + 1));
    EXPECT_EQ(t.Fields()[0].Size(), width);
    EXPECT_EQ(t.Fields()[0].AsString(),
              "inicio" + std::string(static_cast<std::size_t>(width) - 6, ' '));
    t.Next();
    EXPECT_EQ(t.Fields()[0].AsString(), std::string(static_cast<std::size_t>(width), 'x'));
    EXPECT_EQ(WalkEveryField(t), 2);
  }
  // Records above the 4096-byte buffer, and C widths up to 65535 that the
  // record length does not hold.
  struct Case {
    std::vector<FieldSpec> fields;
    std::optional<std::uint16_t> recordLength;
    std::string message;
  } cases[] = {
      {{{"TEXTO", 'C', 4096}}, {}, kBufferTooSmall},
      // 1 + 65535 does not fit the 16-bit record length: it wraps to 0.
      {{{"TEXTO", 'C', 65535}}, {}, Damaged(path, "the record length is 0")},
      {{{"TEXTO", 'C', 65535}}, 65535, kBufferTooSmall},
      {{{"TEXTO", 'C', 65535}}, 4096, WidthsPast(path, 4096, "TEXTO")},
      {{{"A", 'C', 40000}, {"B", 'C', 40000}}, 4096, WidthsPast(path, 4096, "A")},
      {{{"A", 'C', 2000}, {"B", 'C', 2000}, {"C", 'C', 2000}}, 4096, WidthsPast(path, 4096, "C")},
  };
  for (const Case& c : cases) {
    DbfWriter w(c.fields);
    w.recordLength = c.recordLength;
    w.WriteFile(path);
    EXPECT_THROW_MSG(Table(path).Open(), Exception, c.message);
  }
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

TEST_F(OpenTest, EveryCutOfAFileOpensWhatIsThereOrNamesTheDamage) {
  const DbfWriter w = Fixture();
  const std::string whole = w.Bytes();
  const std::size_t hl = w.HeaderLengthValue(), rl = w.RecordLengthValue();
  ASSERT_EQ(hl, 129u);
  const std::string path = dir.File("cortado.dbf");
  for (std::size_t n = 0; n <= whole.size(); ++n) {
    SCOPED_TRACE("first " + std::to_string(n) + " bytes");
    WriteBytes(path, whole.substr(0, n));
    Table t(path);
    std::string expected;
    if (n == 0)
      expected = Damaged(path, "the file is empty");
    else if (n < dbf::kHeaderSize)
      expected = Damaged(path, "the header is cut short (" + std::to_string(n) + " of 32 bytes)");
    else if (n < hl)
      expected = Damaged(path, "the header length 129 is past the end of the file (" +
                                   std::to_string(n) + " bytes)");
    if (!expected.empty()) {
      EXPECT_THROW_MSG(t.Open(), Exception, expected);
      EXPECT_FALSE(t.Active());
      continue;
    }
    // A whole header: the records the file holds, a cut record left out.
    t.Open();
    EXPECT_EQ(t.RecordCount(), static_cast<int>((n - hl) / rl));
    EXPECT_EQ(WalkEveryField(t), static_cast<int>((n - hl) / rl));
  }
}

TEST_F(OpenTest, LengthsAndLettersThatContradictEachOtherAndTheFile) {
  const std::string whole = Fixture().Bytes();  // 265 bytes
  const std::string path = dir.File("t.dbf");
  constexpr std::size_t kHL = dbf::kHeaderLength, kRL = dbf::kHeaderRecordLength;
  struct Case {
    const char* what;
    std::size_t offset, width;  // the bytes patched, little-endian
    std::uint32_t value;
    std::string message;  // empty: opens
    int records;
  } cases[] = {
      {"header length 0", kHL, 2, 0, NoTerminator(path, 0), 0},
      {"header length inside the file header", kHL, 2, 31, NoTerminator(path, 31), 0},
      {"header length ending on the descriptors", kHL, 2, 32, NoTerminator(path, 32), 0},
      {"header length inside a descriptor", kHL, 2, 48, NoTerminator(path, 48), 0},
      {"header length one short of the terminator", kHL, 2, 128, NoTerminator(path, 128), 0},
      {"header length one past: records read from there", kHL, 2, 130, "", 5},
      {"header length the whole file", kHL, 2, 265, "", 0},
      {"header length one past the file", kHL, 2, 266,
       Damaged(path, "the header length 266 is past the end of the file (265 bytes)"), 0},
      {"header length 65535", kHL, 2, 65535,
       Damaged(path, "the header length 65535 is past the end of the file (265 bytes)"), 0},
      {"record length 0", kRL, 2, 0, Damaged(path, "the record length is 0"), 0},
      {"record length 1: the deletion flag alone", kRL, 2, 1, WidthsPast(path, 1, "NOME"), 0},
      {"record length one short of the fields", kRL, 2, 26, WidthsPast(path, 26, "DATA"), 0},
      {"record length with a gap after the fields", kRL, 2, 28, "", 4},
      {"record length of all the records", kRL, 2, 136, "", 1},
      {"record length 4096", kRL, 2, 4096, "", 0},
      {"record length 4097", kRL, 2, 4097, kBufferTooSmall, 0},
      {"record length 65535", kRL, 2, 65535, kBufferTooSmall, 0},
      {"record count far above the file", dbf::kHeaderRecordCount, 4, 0xFFFFFFFF, "", 5},
      {"record count 0", dbf::kHeaderRecordCount, 4, 0, "", 5},
      {"a type letter of no dialect", dbf::kDescriptorStart + dbf::kDescriptorSize + dbf::kDescType,
       1, 'Q',
       "TXQSmartDBF.HiddenInitFieldDefs: Field \"VALOR\" of \"" + path +
           "\" has the unknown type letter \"Q\"",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = whole;
    const coding::MutableBytes b(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
    if (c.width == 4)
      coding::Store32(b, c.offset, c.value);
    else if (c.width == 2)
      coding::Store16(b, c.offset, static_cast<std::uint16_t>(c.value));
    else
      coding::Store8(b, c.offset, static_cast<std::uint8_t>(c.value));
    WriteBytes(path, bytes);
    Table t(path);
    if (!c.message.empty()) {
      EXPECT_THROW_MSG(t.Open(), Exception, c.message);
      EXPECT_FALSE(t.Active());
      continue;
    }
    ASSERT_NO_THROW(t.Open());
    EXPECT_EQ(WalkEveryField(t), c.records);
  }
}

TEST_F(OpenTest, DescriptorsThatNeverEnd) {
  const std::string path = dir.File("t.dbf");
  // No terminator: the header length ends on the last descriptor.
  DbfWriter none = Fixture();
  none.writeTerminator = false;
  none.WriteFile(path);
  EXPECT_THROW_MSG(Table(path).Open(), Exception, NoTerminator(path, 128));
  // A NUL where the terminator belongs.
  DbfWriter nul = Fixture();
  nul.terminator = 0x00;
  nul.WriteFile(path);
  EXPECT_THROW_MSG(Table(path).Open(), Exception, NoTerminator(path, 129));
  // No terminator and a header length taking in the records: they are read
  // as descriptors until one fails; whatever fails names the file.
  DbfWriter into = Fixture();
  into.writeTerminator = false;
  into.headerLength = 128 + 5 * 27;
  into.WriteFile(path);
  try {
    Table(path).Open();
    ADD_FAILURE() << "records taken for descriptors opened";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("\"" + path + "\""), std::string::npos) << e.what();
  }
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
  Table t(p);
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

  // Version 0x04 and 0x8C tables keep 48-byte descriptors; a memo is 10 wide
  // there too, whatever its length byte says.
  DbfWriter seven({{"OBS", 'M', 4}, {"A", 'C', 3}});
  seven.version = 0x8C;
  seven.longDescriptors = true;
  seven.recordLength = 1 + 10 + 3;
  seven.AddRawRecord("         1ABC");
  t.Close();
  seven.WriteFile(p);
  t.Open();
  EXPECT_EQ(t.FieldDef(1).offset, 11u);
  EXPECT_EQ(t.FieldByName("A").AsString(), "ABC");
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
  Table t(SeqTable(dir, 41, 100));
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
  Table t(p);
  t.Open();
  EXPECT_EQ(t.HeaderLength(), 97u);
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_EQ(Walk(t), (std::vector<int>{1, 2}));
  EXPECT_EQ(t.FieldByName("A").AsString(), "dois" + std::string(15, ' '));

  DbfWriter more({{"A", 'C', 3}});
  more.headerRecordCount = 10;
  for (int i = 0; i < 12; ++i) more.AddRecord({"r"});
  t.Close();
  more.WriteFile(p);
  t.Open();
  EXPECT_EQ(Walk(t).size(), 12u);
}

TEST(WalkTest, EmptyTable) {
  TempDir dir;
  Table t(SeqTable(dir, 0, 10));
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
  Table t(SeqTable(dir, 3, 10, {1, 2}));
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

  Table all(SeqTable(dir, 5, 10, {1, 2, 3, 4, 5}));
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
  Table t(SeqTable(dir, 100, 100));
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
  Table t(SeqTable(dir, 100, 100, {40}));
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
  std::error_code ec;
  std::filesystem::resize_file(p, header + records * 4096, ec);
  if (ec) GTEST_SKIP() << "no sparse file of 5 GiB here";
  std::string last(4096, ' ');
  last.replace(1, 6, "ULTIMO");
  WriteAt(p, header + (records - 1) * 4096, last);
  Table t(p);
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
  SystemFile f;
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

// Messages carry the system's reason in the words of a POSIX system, on
// every system: the logs must not differ by where the run took place.
TEST(ErrnoTextTest, TheSameWordsOnEverySystem) {
  const std::pair<int, const char*> texts[] = {{ENOENT, "No such file or directory"},
                                               {EACCES, "Permission denied"},
                                               {EBUSY, "Device or resource busy"},
                                               {ENOMEM, "Cannot allocate memory"},
                                               {EIO, "Input/output error"},
                                               {ENOSPC, "No space left on device"},
                                               {EFBIG, "File too large"},
                                               {EISDIR, "Is a directory"},
                                               {ENAMETOOLONG, "File name too long"},
                                               {EOPNOTSUPP, "Operation not supported"},
                                               {ELOOP, "Too many levels of symbolic links"}};
  for (const auto& [code, text] : texts) EXPECT_EQ(ErrnoText(code), text) << code;
}

// Only a table that nobody else may write reads ahead: a walk of a table
// shared with writers sees a record that another program rewrote after the
// walk began.
TEST(WalkTest, ASharedTableSeesRecordsRewrittenAheadOfTheWalk) {
  TempDir dir;
  const std::string p = SeqTable(dir, 2000, 10);  // five blocks of 409 records
  Table t(p);
  t.AccessMode = ShareDenyNone;
  t.Open();
  std::string found;
  for (t.First(); !t.Eof(); t.Next()) {
    if (t.RecNo() == 1) {
      WriteAt(p, t.HeaderLength() + 1499 * t.RecordLength(), " 999      ");
    }
    if (t.RecNo() == 1500) found = t.FieldByName("N").AsString();
  }
  EXPECT_EQ(found.substr(0, 3), "999");
}

// Another program may still cut the file while it is read (the lock is
// advisory): the walk ends with the records already read ahead, or where
// the records end, and no read leaves them. A table shared with writers
// reads one block ahead; one opened exclusively reads ahead a whole window.
TEST(WalkTest, AFileCutWhileItIsRead) {
  TempDir dir;
  DbfWriter w({{"NOME", 'C', 10}, {"VALOR", 'N', 8, 2}, {"DATA", 'D', 8}});
  for (int i = 0; i < 10000; ++i) w.AddRecord({"N" + std::to_string(i), "1.00", "20170801"});
  const std::string path = dir.File("t.dbf");
  const std::size_t hl = w.HeaderLengthValue(), rl = w.RecordLengthValue();
  ASSERT_GT(10000 * rl, TXQSmartDBF::kReadWindow);
  // Cut to 200 records and a piece while the walk is at record 50; then to
  // nothing.
  for (const int share : {ShareDenyNone, ShareExclusive}) {
    for (const std::size_t cut : {hl + 200 * rl + 13, std::size_t{0}}) {
      SCOPED_TRACE("share " + std::to_string(share) + ", cut at " + std::to_string(cut));
      Table t(path);
      t.AccessMode = share;
      w.WriteFile(path);
      t.Open();
      int walked = 1;
      for (; walked < 50; ++walked) t.Next();
      std::error_code ec;
      std::filesystem::resize_file(path, cut, ec);
#ifdef _WIN32
      if (share == ShareExclusive) {
        // Windows keeps every other open out of a file held exclusively.
        EXPECT_TRUE(ec) << "a file held exclusively was cut";
        continue;
      }
#endif
      ASSERT_FALSE(ec) << ec.message();
      for (t.Next(); !t.Eof(); t.Next()) {
        ++walked;
        for (int i = 0; i < t.FieldCount(); ++i) (void)t.Fields()[i].AsString();
      }
      const int perBlock = t.RecordsPerBuffer();
      // Exclusive: the window held every whole block that fits in it.
      const int blocks = static_cast<int>(TXQSmartDBF::kReadWindow / (perBlock * rl));
      EXPECT_EQ(walked, share == ShareExclusive ? blocks * perBlock : (cut ? 200 : perBlock));
    }
  }
}

}  // namespace
}  // namespace tolk
