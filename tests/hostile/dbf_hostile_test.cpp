// Hostile dBASE files at the table layer: every cut of a file, header and
// record lengths that contradict each other and the file, descriptors that
// never end, widths past the record, memo files that are missing or are no
// files, and paths that name no table. Each opens and walks without reading
// outside its record, or fails with the open error or a damage message
// naming the file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <optional>

#include "dataset/Exceptions.h"
#include "dbf/TXQSmartDBF.h"
#include "test_support.h"

namespace tolk {
namespace {

using testing::TempDir;
using testing::WriteBytes;
using tools::DbfWriter;
using tools::FieldSpec;

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

// Reads every field of every record every way a run does; the number of
// records walked.
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

std::string Put16(std::string bytes, std::size_t offset, std::uint32_t value) {
  bytes[offset] = static_cast<char>(value & 0xFF);
  bytes[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
  return bytes;
}

TEST(HostileDbfTest, EveryCutOfAFileOpensWhatIsThereOrNamesTheDamage) {
  TempDir dir;
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
    else if (n < 32)
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

TEST(HostileDbfTest, LengthsThatContradictEachOtherAndTheFile) {
  TempDir dir;
  const std::string whole = Fixture().Bytes();  // 265 bytes
  const std::string path = dir.File("t.dbf");
  struct Case {
    const char* what;
    std::size_t offset;  // 8 header length, 10 record length, 4 record count (32 bits)
    std::uint32_t value;
    std::string message;  // empty: opens
    int records;
  } cases[] = {
      {"header length 0", 8, 0, NoTerminator(path, 0), 0},
      {"header length inside the file header", 8, 31, NoTerminator(path, 31), 0},
      {"header length ending on the descriptors", 8, 32, NoTerminator(path, 32), 0},
      {"header length one short of the terminator", 8, 128, NoTerminator(path, 128), 0},
      {"header length one past: records read from there", 8, 130, "", 5},
      {"header length the whole file", 8, 265, "", 0},
      {"header length one past the file", 8, 266,
       Damaged(path, "the header length 266 is past the end of the file (265 bytes)"), 0},
      {"header length 65535", 8, 65535,
       Damaged(path, "the header length 65535 is past the end of the file (265 bytes)"), 0},
      {"record length 0", 10, 0, Damaged(path, "the record length is 0"), 0},
      {"record length 1: the deletion flag alone", 10, 1, WidthsPast(path, 1, "NOME"), 0},
      {"record length one short of the fields", 10, 26, WidthsPast(path, 26, "DATA"), 0},
      {"record length with a gap after the fields", 10, 28, "", 4},
      {"record length of all the records", 10, 136, "", 1},
      {"record length 4096", 10, 4096, "", 0},
      {"record length 4097", 10, 4097, kBufferTooSmall, 0},
      {"record length 65535", 10, 65535, kBufferTooSmall, 0},
      {"record count far above the file", 4, 0xFFFFFFFF, "", 5},
      {"record count 0", 4, 0, "", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = c.offset == 4 ? Put16(Put16(whole, 4, c.value & 0xFFFF), 6, c.value >> 16)
                                      : Put16(whole, c.offset, c.value);
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

TEST(HostileDbfTest, DescriptorsThatNeverEnd) {
  TempDir dir;
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
    Table t(path);
    t.Open();
    ADD_FAILURE() << "records taken for descriptors opened";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("\"" + path + "\""), std::string::npos) << e.what();
  }
}

TEST(HostileDbfTest, CharacterWidthsUpTo65535) {
  TempDir dir;
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
    EXPECT_EQ(t.Fields()[0].Size(), width);
    EXPECT_EQ(t.Fields()[0].AsString(),
              "inicio" + std::string(static_cast<std::size_t>(width) - 6, ' '));
    t.Next();
    EXPECT_EQ(t.Fields()[0].AsString(), std::string(static_cast<std::size_t>(width), 'x'));
    EXPECT_EQ(WalkEveryField(t), 2);
  }
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

TEST(HostileDbfTest, MemoTablesWhoseMemoFileIsMissingOrNoFile) {
  TempDir dir;
  struct Dialect {
    std::uint8_t version, flags;
    const char* memo;
  } dialects[] = {{0x83, 0, "t.dbt"}, {0x8B, 0, "t.dbt"}, {0xF5, 0, "t.fpt"}, {0x30, 2, "t.fpt"}};
  const std::string table = dir.File("t.dbf");
  for (const Dialect& d : dialects) {
    DbfWriter w({{"NOME", 'C', 5}, {"OBS", 'M', 10}});
    w.version = d.version;
    w.tableFlags = d.flags;
    w.AddRecord({"A", "1"});
    w.AddRecord({"B", ""});
    w.WriteFile(table);
    const std::string memo = dir.File(d.memo);
    // What stands at the memo file's name, and whether it is taken.
    const std::vector<std::pair<const char*, bool>> kinds = {{"missing", false},
                                                             {"folder", false},
                                                             {"fifo", false},
                                                             {"empty", true},
                                                             {"three bytes", true}};
    for (const auto& [kind, taken] : kinds) {
      SCOPED_TRACE(std::string(d.memo) + " " + kind + " for version " + std::to_string(d.version));
      std::filesystem::remove_all(memo);
      const std::string k = kind;
      if (k == "folder") std::filesystem::create_directory(memo);
      if (k == "fifo") {
        ASSERT_EQ(::mkfifo(memo.c_str(), 0600), 0);
      }
      if (k == "empty") WriteBytes(memo, "");
      if (k == "three bytes") WriteBytes(memo, "\x01\x02\x03");
      Table t(table);
      ASSERT_NO_THROW(t.Open());  // and a FIFO does not block it
      EXPECT_EQ(t.HasMemoFile(), taken);
      EXPECT_EQ(t.LobBlockSize, 512);  // none of these memo headers names another block size
      EXPECT_EQ(WalkEveryField(t), 2);
    }
    std::filesystem::remove_all(memo);
  }
}

TEST(HostileDbfTest, PathsThatNameNoTable) {
  TempDir dir;
  const std::string file = dir.File("tabela.dbf");
  Fixture().WriteFile(file);
  const std::string loop = dir.File("laco.dbf"), dangling = dir.File("solto.dbf"),
                    toFolder = dir.File("pasta.dbf");
  ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
  ASSERT_EQ(::symlink(dir.File("nao existe").c_str(), dangling.c_str()), 0);
  ASSERT_EQ(::symlink(dir.path().c_str(), toFolder.c_str()), 0);
  std::vector<std::string> paths = {"/dev/zero",
                                    "/dev/null",
                                    loop,
                                    dangling,
                                    toFolder,
                                    file + "/",
                                    file + "/x.dbf",
                                    dir.File("") + std::string(PATH_MAX, 'a') + ".dbf",
                                    ""};
  for (const std::string& p : paths) {
    SCOPED_TRACE(p.substr(0, 80));
    Table t(p);
    EXPECT_THROW_MSG(t.Open(), Exception, OpenError(p));  // and /dev/zero is not read forever
  }
}

// Another program may still cut the file while it is read (the lock is
// advisory): the walk ends with the records already read ahead, or where
// the records end, and no read leaves them. A table shared with writers
// reads one block ahead; one opened exclusively reads ahead a whole window.
TEST(HostileDbfTest, AFileCutWhileItIsRead) {
  TempDir dir;
  DbfWriter w({{"NOME", 'C', 10}, {"VALOR", 'N', 8, 2}, {"DATA", 'D', 8}});
  for (int i = 0; i < 10000; ++i) w.AddRecord({"N" + std::to_string(i), "1.00", "20170801"});
  const std::string path = dir.File("t.dbf");
  w.WriteFile(path);
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
      ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(cut)), 0);
      for (t.Next(); !t.Eof(); t.Next()) {
        ++walked;
        for (int i = 0; i < t.FieldCount(); ++i) (void)t.Fields()[i].AsString();
      }
      const int perBlock = t.RecordsPerBuffer();
      if (share == ShareDenyNone) {
        EXPECT_EQ(walked, cut ? 200 : perBlock);
      } else {
        // The window held every whole block that fits in it.
        const int blocks = static_cast<int>(TXQSmartDBF::kReadWindow / (perBlock * rl));
        EXPECT_EQ(walked, blocks * perBlock);
      }
    }
  }
}

}  // namespace
}  // namespace tolk
