// The catalogue file format: the writer against bytes written out by hand, and the
// header reader against hand-made files of every version, cut short or malformed.
#include "catalog/volume_catalog.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "catalog/catalog_stream.h"
#include "catalog/catalog_test_support.h"
#include "platform/fake_platform.h"

namespace ledra {
namespace {

using test::Bytes;
using test::HexDump;
using test::LineCount;
using test::ReadWholeFile;
using test::TempFolder;

const char kPath[] = "C:\\cats\\DATA.kvl";

// The header fields ReadHeader sets, gathered so that cases can state them as one value.
struct Header {
  int16_t version = 5;
  int32_t timestamp = 0;
  std::string root;
  std::string volumeName;
  std::string alias;
  std::string displayName;
  uint32_t serial = 0;
  std::string comment;
  float freeSpaceMB = -1.0f;
};

void SetHeader(VolumeCatalog& c, const Header& h) {
  c.version = h.version;
  c.timestamp = h.timestamp;
  c.root = h.root;
  c.volumeName = h.volumeName;
  c.alias = h.alias;
  c.displayName = h.displayName;
  c.serial = h.serial;
  c.comment = h.comment;
  c.freeSpaceMB = h.freeSpaceMB;
}

void ExpectHeader(const VolumeCatalog& c, const Header& h) {
  EXPECT_EQ(c.version, h.version);
  EXPECT_EQ(c.timestamp, h.timestamp);
  EXPECT_EQ(c.root, h.root);
  EXPECT_EQ(c.volumeName, h.volumeName);
  EXPECT_EQ(c.alias, h.alias);
  EXPECT_EQ(c.displayName, h.displayName);
  EXPECT_EQ(c.serial, h.serial);
  EXPECT_EQ(c.comment, h.comment);
  EXPECT_EQ(c.freeSpaceMB, h.freeSpaceMB);
}

// What a catalogue holds before a header is read into it: either a fresh one, or one
// whose every field has a value of its own, to show which fields a file leaves alone.
Header Fresh() { return Header(); }
Header Prefilled() {
  return Header{4,          77,           "R:\\old\\", "oldname", "oldalias", "olddisplay",
                0x5A5A5A5A, "oldcomment", 7.5f};
}

// The field values of the hand-made headers below.
constexpr int32_t kStamp = 0x11223344;
constexpr uint32_t kSerial = 0xCAFEBABE;
constexpr uint32_t kFreeBits = 0x44002000;  // 512.5 in binary32
constexpr float kFree = 512.5f;

struct Fields {
  std::string root = "D:\\";
  std::string volumeName = "VOL";
  std::string alias = "Alias";
  std::string comment = "note";
};

// A header laid out as version `layout` reads it, after the given first bytes
// (signature, and the version field where the generation asks for one).
std::string HeaderBytes(const std::string& start, int layout, const Fields& f = Fields()) {
  Bytes b;
  b.Raw(start).U32(static_cast<uint32_t>(kStamp));
  auto text = [&](const std::string& s) {
    if (layout >= 5) {
      b.Terminated(s);
    } else {
      b.Counted(s);
    }
  };
  if (layout >= 2) text(f.root);
  text(f.volumeName);
  text(f.alias);
  b.U32(kSerial);
  if (layout >= 4) text(f.comment);
  if (layout >= 1) b.U32(kFreeBits);
  return b.str();
}

// The header a catalogue holds after a file of `layout` with `fields` was read into a
// catalogue that held `before`.
Header Expected(const Header& before, int16_t version, int layout, const Fields& f = Fields()) {
  Header h = before;
  h.version = version;
  h.timestamp = kStamp;
  if (layout >= 2) h.root = f.root;
  h.volumeName = f.volumeName;
  h.alias = f.alias;
  h.displayName = f.alias.empty() ? f.volumeName : f.alias;
  h.serial = kSerial;
  if (layout >= 4) h.comment = f.comment;
  if (layout >= 1) h.freeSpaceMB = kFree;
  return h;
}

const char kGen0[] = "27 A8 D3 1D";
const char kGen1[] = "27 72 6E 59";
const char kGen2[] = "27 3C 09 95";
const char kGen3[] = "27 06 A4 D0";

std::string Start(const char* signature, const char* versionField = "") {
  return Bytes().Hex(signature).Hex(versionField).str();
}

class CatalogFormatFakeTest : public ::testing::Test {
 protected:
  CatalogFormatFakeTest() : errors_(errorText_), fake_(errors_) { fake_.AddFolder("C:\\cats"); }

  // Reads the header of a file holding `bytes` into a catalogue that held `before`.
  int Read(const std::string& bytes, const Header& before, VolumeCatalog& c) {
    fake_.AddFileWithContent(kPath, bytes);
    SetHeader(c, before);
    c.filePath = kPath;
    return c.ReadHeader(fake_);
  }

  std::ostringstream errorText_;
  MessageSink errors_;
  FakePlatform fake_;
};

// The worked example: a whole volume 'C:\' named 'DATA' holding one file.
void FillExample(VolumeCatalog& c) {
  c.root = "C:\\";
  c.volumeName = "DATA";
  c.serial = 0x1234ABCD;
  c.freeSpaceMB = 1024.0f;
  FolderRecord root;
  root.fileCount = 1;
  root.totalSize = 1000.0;
  c.folders.push_back(root);
  c.AddEntry("a.txt", 0x3FF00000, 1000, 0);
}

const char kExampleHeader[] =
    "27 06 A4 D0  05 00  00 00 00 40  43 3A 5C 00  44 41 54 41 00  00  CD AB 34 12  00"
    "  00 00 80 44";

TEST_F(CatalogFormatFakeTest, WritesTheWorkedExampleByteForByte) {
  struct Case {
    const char* name;
    bool withFolder;
    std::string bytes;
  };
  const Case cases[] = {
      {"one file", false,
       Bytes()
           .Hex(kExampleHeader)
           .Hex("01 00 00 00  00  01 00 00 00  00 00 00 00 00 40 8F 40")
           .Hex("01 00 00 00  00 00 F0 3F  E8 03 00 00  00 00  61 2E 74 78 74 00")
           .str()},
      // The root holds a folder 'sub' as well: folder 1, its entry's size -1.
      {"one file and one folder", true,
       Bytes()
           .Hex(kExampleHeader)
           .Hex("02 00 00 00  00  01 00 00 00  00 00 00 00 00 40 8F 40")
           .Hex("00 00 00 00  00 00 00 00 00 00 00 00")
           .Hex("02 00 00 00  00 00 F0 3F  E8 03 00 00  00 00  61 2E 74 78 74 00")
           .Hex("01 00 F0 3F  FF FF FF FF  00 00  73 75 62 00")
           .str()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VolumeCatalog catalog;
    FillExample(catalog);
    if (c.withFolder) {
      catalog.folders.push_back(FolderRecord());
      catalog.AddEntry("sub", 0x3FF00001, -1, 0);
    }
    catalog.filePath = std::string(kPath) + (c.withFolder ? "2" : "1");
    catalog.timestamp = 5;
    fake_.now = 0x40000000;
    ASSERT_EQ(catalog.WriteCatalog(fake_), 1);
    EXPECT_EQ(catalog.timestamp, 0x40000000);
    const std::string written = fake_.Content(catalog.filePath);
    EXPECT_EQ(HexDump(written), HexDump(c.bytes));
    if (!c.withFolder) {
      EXPECT_EQ(written.size(), 66u);
    }
    // One write, from Close: the file is smaller than a block.
    EXPECT_EQ(fake_.Writes(catalog.filePath), std::vector<size_t>{c.bytes.size()});
  }
  EXPECT_EQ(errorText_.str(), "");
}

// Version 5 for every tree that fits it, whatever the catalogue's version field held, with
// sizes of 2 GiB and more clamped from the whole size; version 6 from 65,536 folders on,
// with whole sizes and 32-bit folder numbers.
TEST_F(CatalogFormatFakeTest, VersionFollowsTheFolderCount) {
  struct Case {
    size_t folders;
    int16_t versionField;
    int16_t written;
    const char* start;
    std::string entries;
  };
  const std::string example5 = "00 00 F0 3F  E8 03 00 00  00 00  61 2E 74 78 74 00";
  const std::string example6 =
      "00 00 F0 3F  E8 03 00 00 00 00 00 00  00 00 00 00  61 2E 74 78 74 00";
  const Case cases[] = {
      {1, 0, 5, "27 06 A4 D0 05 00",
       Bytes()
           .Hex("03 00 00 00")
           .Hex(example5)
           .Hex("01 00 00 00  FF FF FF 7F  00 00  34 00")
           .Hex("02 00 00 00  FF FF FF 7F  00 00  35 00")
           .str()},
      {65535, 6, 5, "27 06 A4 D0 05 00",
       Bytes()
           .Hex("03 00 00 00")
           .Hex(example5)
           .Hex("01 00 00 00  FF FF FF 7F  00 00  34 00")
           .Hex("02 00 00 00  FF FF FF 7F  FE FF  35 00")
           .str()},
      {65536, -1, 6, "27 06 A4 D0 06 00",
       Bytes()
           .Hex("03 00 00 00")
           .Hex(example6)
           .Hex("01 00 00 00  64 00 00 00 01 00 00 00  00 00 00 00  34 00")
           .Hex("02 00 00 00  00 00 00 40 01 00 00 00  FF FF 00 00  35 00")
           .str()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folders);
    VolumeCatalog catalog;
    FillExample(catalog);
    catalog.folders.resize(c.folders);
    catalog.AddEntry("4", 1, (4ll << 30) + 100, 0);
    catalog.AddEntry("5", 2, 5ll << 30, static_cast<uint32_t>(c.folders - 1));
    catalog.version = c.versionField;
    catalog.filePath = kPath;
    OsError err;
    fake_.Remove(kPath, &err);  // a catalogue is only ever written as a new file
    ASSERT_EQ(catalog.WriteCatalog(fake_), 1);
    const std::string written = fake_.Content(kPath);
    EXPECT_EQ(HexDump(written.substr(0, 6)), c.start);
    ASSERT_GE(written.size(), c.entries.size());
    EXPECT_EQ(HexDump(written.substr(written.size() - c.entries.size())), HexDump(c.entries));
    EXPECT_EQ(catalog.version, c.written);
  }
}

// Blocks of exactly 131072 bytes, whatever the records, and the rest from Close.
TEST_F(CatalogFormatFakeTest, WritesABigCatalogueInWholeBlocks) {
  VolumeCatalog catalog;
  FillExample(catalog);
  for (int i = 0; i < 20000; ++i) {
    catalog.AddEntry("file" + std::to_string(i) + ".dat", i, i, static_cast<uint16_t>(i % 7));
  }
  catalog.filePath = kPath;
  ASSERT_EQ(catalog.WriteCatalog(fake_), 1);
  const std::vector<size_t> writes = fake_.Writes(kPath);
  const size_t size = fake_.Content(kPath).size();
  ASSERT_GE(writes.size(), 3u);
  size_t sum = 0;
  for (size_t i = 0; i < writes.size(); ++i) {
    if (i + 1 < writes.size()) {
      EXPECT_EQ(writes[i], CatalogStream::kBufferSize) << "write " << i;
    }
    sum += writes[i];
  }
  EXPECT_EQ(sum, size);
  EXPECT_EQ(writes.back(), size % CatalogStream::kBufferSize);
}

// WriteCatalog answers 0 when the file could not be created and also when any of it could
// not be written, so that the caller keeps the earlier catalogue.
TEST_F(CatalogFormatFakeTest, WriteFailuresGiveZeroAndOneReport) {
  struct Case {
    const char* name;
    FakePlatform::Op op;
    int fromCall;
    uint64_t capacity;
  };
  const Case cases[] = {
      {"create refused", FakePlatform::Op::Create, 1, UINT64_MAX},
      {"first block", FakePlatform::Op::Write, 1, UINT64_MAX},
      {"second block", FakePlatform::Op::Write, 2, UINT64_MAX},
      {"last bytes", FakePlatform::Op::Write, 4, UINT64_MAX},
      {"sync", FakePlatform::Op::Sync, 1, UINT64_MAX},
      {"close", FakePlatform::Op::Close, 1, UINT64_MAX},
      {"disk full", FakePlatform::Op::List, 1, 200000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream text;
    MessageSink errors(text);
    FakePlatform fake(errors);
    fake.AddFolder("C:\\cats");
    fake.Fail(c.op, kPath, c.fromCall);
    fake.SetDiskCapacity(c.capacity);
    VolumeCatalog catalog;
    FillExample(catalog);
    for (int i = 0; i < 20000; ++i) catalog.AddEntry("entry" + std::to_string(i), i, i, 0);
    catalog.filePath = kPath;
    catalog.timestamp = 123;
    EXPECT_EQ(catalog.WriteCatalog(fake), 0);
    EXPECT_EQ(LineCount(text.str()), 1u) << text.str();
    EXPECT_NE(text.str().find(kPath), std::string::npos) << text.str();
    if (c.op == FakePlatform::Op::Create) {
      EXPECT_EQ(catalog.timestamp, 123) << "the time is taken only once the file is open";
      EXPECT_FALSE(fake.Exists(kPath));
    }
  }
}

TEST_F(CatalogFormatFakeTest, ReadsHandMadeHeaders) {
  // kKept: the version the catalogue held before.
  constexpr int kKept = 100000;
  struct Case {
    const char* name;
    std::string bytes;
    int result;
    int version;  // after reading
    int layout;   // -1: a refused file, whose other fields stay as they were
    Fields fields;
  };
  Fields nulInside;
  nulInside.volumeName = std::string("AB\0CD", 5);
  nulInside.alias = std::string("\0x", 2);
  Fields nulInsideRead;
  nulInsideRead.volumeName = "AB";
  nulInsideRead.alias = "";
  Fields empty;
  empty.root = empty.volumeName = empty.alias = empty.comment = "";
  Fields noAlias;
  noAlias.alias = "";
  Fields blankAlias;
  blankAlias.alias = " ";
  Fields highBytes;
  highBytes.root = "\\\\srv\\\xE4\\";
  highBytes.volumeName = "\xC4rger\xFF";
  highBytes.alias = "\x80";
  highBytes.comment = "\xF6\xFE";
  Fields longest;
  longest.volumeName = std::string(255, 'v');
  longest.alias = std::string(255, 'a');

  const Case cases[] = {
      {"generation 0", HeaderBytes(Start(kGen0), 0), 1, 0, 0, Fields()},
      {"generation 1", HeaderBytes(Start(kGen1), 1), 1, 1, 1, Fields()},
      {"generation 2", HeaderBytes(Start(kGen2), 2), 1, 2, 2, Fields()},
      {"generation 3 version 0", HeaderBytes(Start(kGen3, "00 00"), 0), 1, 0, 0, Fields()},
      {"generation 3 version 1", HeaderBytes(Start(kGen3, "01 00"), 1), 1, 1, 1, Fields()},
      {"generation 3 version 2", HeaderBytes(Start(kGen3, "02 00"), 2), 1, 2, 2, Fields()},
      {"generation 3 version 3", HeaderBytes(Start(kGen3, "03 00"), 3), 1, 3, 3, Fields()},
      {"generation 3 version 4", HeaderBytes(Start(kGen3, "04 00"), 4), 1, 4, 4, Fields()},
      {"generation 3 version 5", HeaderBytes(Start(kGen3, "05 00"), 5), 1, 5, 5, Fields()},
      {"version -1 reads as version 0", HeaderBytes(Start(kGen3, "FF FF"), 0), 1, -1, 0, Fields()},
      {"version -32768 reads as version 0", HeaderBytes(Start(kGen3, "00 80"), 0), 1, -32768, 0,
       Fields()},
      {"generation 3 version 6", HeaderBytes(Start(kGen3, "06 00"), 5), 1, 6, 5, Fields()},
      {"version 7 refused", HeaderBytes(Start(kGen3, "07 00"), 5), 0, 7, -1, Fields()},
      {"version 32767 refused", HeaderBytes(Start(kGen3, "FF 7F"), 5), 0, 32767, -1, Fields()},
      {"version 256 refused", HeaderBytes(Start(kGen3, "00 01"), 5), 0, 256, -1, Fields()},
      {"signature 0", HeaderBytes(Start("00 00 00 00", "05 00"), 5), 0, kKept, -1, Fields()},
      {"signature 1000000000", HeaderBytes(Start("00 CA 9A 3B", "05 00"), 5), 0, kKept, -1,
       Fields()},
      {"signature one below", HeaderBytes(Start("26 06 A4 D0", "05 00"), 5), 0, kKept, -1,
       Fields()},
      {"signature one above", HeaderBytes(Start("28 A8 D3 1D"), 0), 0, kKept, -1, Fields()},
      {"signature all ones", HeaderBytes(Start("FF FF FF FF", "05 00"), 5), 0, kKept, -1, Fields()},
      {"counted strings with a NUL inside", HeaderBytes(Start(kGen3, "04 00"), 4, nulInside), 1, 4,
       4, nulInsideRead},
      {"empty counted strings", HeaderBytes(Start(kGen2), 2, empty), 1, 2, 2, empty},
      {"empty terminated strings", HeaderBytes(Start(kGen3, "05 00"), 5, empty), 1, 5, 5, empty},
      {"no alias: the volume name is displayed", HeaderBytes(Start(kGen1), 1, noAlias), 1, 1, 1,
       noAlias},
      {"a blank alias is displayed", HeaderBytes(Start(kGen3, "05 00"), 5, blankAlias), 1, 5, 5,
       blankAlias},
      {"bytes above 0x7F, terminated", HeaderBytes(Start(kGen3, "05 00"), 5, highBytes), 1, 5, 5,
       highBytes},
      {"bytes above 0x7F, counted", HeaderBytes(Start(kGen3, "04 00"), 4, highBytes), 1, 4, 4,
       highBytes},
      {"counted strings of 255 bytes", HeaderBytes(Start(kGen0), 0, longest), 1, 0, 0, longest},
      {"bytes after the header are not read",
       HeaderBytes(Start(kGen3, "05 00"), 5) + std::string(300000, '\xAB'), 1, 5, 5, Fields()},
  };
  for (const Case& c : cases) {
    for (bool prefilled : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (prefilled ? ", prefilled" : ", fresh"));
      const Header before = prefilled ? Prefilled() : Fresh();
      VolumeCatalog catalog;
      catalog.AddEntry("kept", 1, 2, 0);
      catalog.folders.push_back(FolderRecord());
      EXPECT_EQ(Read(c.bytes, before, catalog), c.result);
      Header expected = before;
      if (c.layout >= 0) {
        expected = Expected(before, static_cast<int16_t>(c.version), c.layout, c.fields);
      }
      if (c.version != kKept) expected.version = static_cast<int16_t>(c.version);
      ExpectHeader(catalog, expected);
      EXPECT_EQ(catalog.entries.size(), 1u);
      EXPECT_EQ(catalog.folders.size(), 1u);
    }
  }
  EXPECT_EQ(errorText_.str(), "") << "a refused header is not reported";
}

// The literal bytes of a version-0 file, as a second opinion on the layout above.
TEST_F(CatalogFormatFakeTest, ReadsALiteralVersionZeroFile) {
  const std::string bytes =
      Bytes().Hex("27 A8 D3 1D  00 00 00 40  04 44 41 54 41  00  CD AB 34 12").str();
  VolumeCatalog catalog;
  ASSERT_EQ(Read(bytes, Fresh(), catalog), 1);
  Header expected;
  expected.version = 0;
  expected.timestamp = 0x40000000;
  expected.volumeName = expected.displayName = "DATA";
  expected.serial = 0x1234ABCD;
  ExpectHeader(catalog, expected);
}

// A file that ends inside its header, at any byte, is refused and changes nothing.
TEST_F(CatalogFormatFakeTest, RefusesEveryTruncatedHeader) {
  struct Case {
    const char* name;
    std::string full;
  };
  Fields f;
  f.comment = "a comment";
  const Case cases[] = {
      {"version 5", HeaderBytes(Start(kGen3, "05 00"), 5, f)},
      {"version 4", HeaderBytes(Start(kGen3, "04 00"), 4, f)},
      {"version 2", HeaderBytes(Start(kGen2), 2, f)},
      {"version 0", HeaderBytes(Start(kGen0), 0, f)},
      {"version 6", HeaderBytes(Start(kGen3, "06 00"), 5, f)},
      {"version 7", HeaderBytes(Start(kGen3, "07 00"), 5, f)},
  };
  for (const Case& c : cases) {
    for (size_t length = 0; length < c.full.size(); ++length) {
      SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(length) + " bytes");
      VolumeCatalog catalog;
      const int result = Read(c.full.substr(0, length), Prefilled(), catalog);
      if (length >= 6 && std::string(c.name) == "version 7") {
        // The version is known once its field is complete.
        EXPECT_EQ(result, 0);
        Header expected = Prefilled();
        expected.version = 7;
        ExpectHeader(catalog, expected);
        continue;
      }
      EXPECT_EQ(result, 0);
      ExpectHeader(catalog, Prefilled());
    }
    VolumeCatalog whole;
    EXPECT_EQ(Read(c.full, Prefilled(), whole), std::string(c.name) == "version 7" ? 0 : 1);
  }
  EXPECT_EQ(errorText_.str(), "");
}

// Header strings of a version-5 file must fit the 2048-byte scratch area with their NUL.
TEST_F(CatalogFormatFakeTest, TerminatedStringLimit) {
  struct Case {
    size_t length;
    bool terminated;
    int result;
  };
  const Case cases[] = {
      {2047, true, 1}, {2048, true, 0}, {2049, true, 0}, {70000, true, 0}, {300000, false, 0},
  };
  for (int field = 0; field < 4; ++field) {
    for (const Case& c : cases) {
      SCOPED_TRACE("field " + std::to_string(field) + ", length " + std::to_string(c.length));
      const std::string text(c.length, static_cast<char>('p' + field));
      Fields f;
      std::string* target[] = {&f.root, &f.volumeName, &f.alias, &f.comment};
      *target[field] = text;
      std::string bytes = HeaderBytes(Start(kGen3, "05 00"), 5, f);
      if (!c.terminated) {
        // The file ends in the middle of the long string.
        bytes = bytes.substr(0, bytes.find(text) + text.size());
      }
      VolumeCatalog catalog;
      EXPECT_EQ(Read(bytes, Prefilled(), catalog), c.result);
      if (c.result == 1) {
        ExpectHeader(catalog, Expected(Prefilled(), 5, 5, f));
      } else {
        ExpectHeader(catalog, Prefilled());
      }
    }
  }
}

TEST_F(CatalogFormatFakeTest, UnreadableFiles) {
  fake_.AddFolder("C:\\cats\\folder.kvl");
  fake_.AddFileWithContent("C:\\cats\\locked.kvl", HeaderBytes(Start(kGen3, "05 00"), 5));
  fake_.Fail(FakePlatform::Op::Open, "C:\\cats\\locked.kvl");
  const std::pair<std::string, bool> cases[] = {
      {"C:\\cats\\missing.kvl", true},
      {"C:\\cats\\locked.kvl", true},
      {"C:\\cats\\folder.kvl", false},  // opens, then fails on reading: the end of the file
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    errorText_.str("");
    VolumeCatalog catalog;
    SetHeader(catalog, Prefilled());
    catalog.filePath = c.first;
    EXPECT_EQ(catalog.ReadHeader(fake_), 0);
    ExpectHeader(catalog, Prefilled());
    EXPECT_EQ(LineCount(errorText_.str()), c.second ? 1u : 0u) << errorText_.str();
  }
}

// Junk never crashes the reader; whatever it accepts is a header it could have read.
TEST_F(CatalogFormatFakeTest, SurvivesRandomJunk) {
  std::mt19937 random(20240607);
  const std::string starts[] = {"",
                                Start(kGen0),
                                Start(kGen1),
                                Start(kGen2),
                                Start(kGen3, "05 00"),
                                Start(kGen3, "04 00"),
                                Start(kGen3, "FF FF"),
                                Start(kGen3)};
  int accepted = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string bytes = starts[round % 8];
    const size_t extra = random() % (round % 5 == 0 ? 3000 : 80);
    const bool sparse = round % 3 == 0;  // mostly zeros: short strings, many NULs
    for (size_t i = 0; i < extra; ++i) {
      const uint32_t r = random();
      bytes += static_cast<char>(sparse && r % 4 != 0 ? 0 : r >> 8);
    }
    VolumeCatalog catalog;
    const int result = Read(bytes, Prefilled(), catalog);
    if (result == 1) {
      ++accepted;
      EXPECT_LE(catalog.version, 5);
      // The strings the file's version holds all came out of its bytes.
      size_t read = catalog.volumeName.size() + catalog.alias.size();
      if (catalog.version >= 2) read += catalog.root.size();
      if (catalog.version >= 4) read += catalog.comment.size();
      EXPECT_LT(read, bytes.size());
      EXPECT_EQ(catalog.displayName, catalog.alias.empty() ? catalog.volumeName : catalog.alias);
    } else {
      ASSERT_EQ(result, 0);
      Header expected = Prefilled();
      if (catalog.version > 5) expected.version = catalog.version;
      ExpectHeader(catalog, expected);
    }
  }
  EXPECT_GT(accepted, 100) << "the junk should reach past the signature often";
}

// What WriteCatalog writes, ReadHeader gives back, on the fake and on this machine.
struct RoundTrip {
  const char* name;
  std::string root, volumeName, alias, comment;
  uint32_t serial;
  float freeSpaceMB;
  int32_t now;  // the fake clock
};

std::vector<RoundTrip> RoundTrips() {
  return {
      {"all empty", "", "", "", "", 0, -1.0f, 0},
      {"plain", "C:\\", "DATA", "Music", "kept", 0xFFFFFFFF, 0.0f, 0x7FFFFFFF},
      {"share below its root", "\\\\server\\share\\", "[\\dir]", " ", "", 1, 3.5e9f, -1},
      {"high bytes and longest strings", "C:\\", std::string(2047, '\xE9'), "\x80\xFF",
       std::string(2047, 'c'), 0x80000000, 1.0e-3f, std::numeric_limits<int32_t>::min()},
  };
}

void FillRoundTrip(VolumeCatalog& c, const RoundTrip& r) {
  c.root = r.root;
  c.volumeName = r.volumeName;
  c.alias = r.alias;
  c.comment = r.comment;
  c.serial = r.serial;
  c.freeSpaceMB = r.freeSpaceMB;
  FolderRecord root;
  root.path = "\\below";
  root.fileCount = 3;
  root.totalSize = 12.0;
  c.folders.push_back(root);
  c.AddEntry("one", 1, 4, 0);
  c.AddEntry("two", 2, 8, 0);
}

void ExpectRoundTrip(const VolumeCatalog& written, const VolumeCatalog& read) {
  EXPECT_EQ(read.version, 5);
  EXPECT_EQ(read.timestamp, written.timestamp);
  EXPECT_EQ(read.root, written.root);
  EXPECT_EQ(read.volumeName, written.volumeName);
  EXPECT_EQ(read.alias, written.alias);
  EXPECT_EQ(read.displayName, written.alias.empty() ? written.volumeName : written.alias);
  EXPECT_EQ(read.serial, written.serial);
  EXPECT_EQ(read.comment, written.comment);
  EXPECT_EQ(read.freeSpaceMB, written.freeSpaceMB);
  EXPECT_TRUE(read.folders.empty());
  EXPECT_TRUE(read.entries.empty());
}

TEST_F(CatalogFormatFakeTest, WriteThenReadGivesEveryHeaderField) {
  for (const RoundTrip& r : RoundTrips()) {
    SCOPED_TRACE(r.name);
    VolumeCatalog written;
    FillRoundTrip(written, r);
    written.version = 3;
    written.filePath = kPath;
    fake_.now = r.now;
    OsError err;
    fake_.Remove(kPath, &err);
    ASSERT_EQ(written.WriteCatalog(fake_), 1);
    EXPECT_EQ(written.timestamp, r.now);
    VolumeCatalog read;
    read.filePath = kPath;
    ASSERT_EQ(read.ReadHeader(fake_), 1);
    ExpectRoundTrip(written, read);
  }
}

class CatalogFormatRealTest : public test::RealPlatformTest {};

TEST_F(CatalogFormatRealTest, WriteThenReadGivesEveryHeaderField) {
  const int64_t before = static_cast<int64_t>(std::time(nullptr));
  for (const RoundTrip& r : RoundTrips()) {
    SCOPED_TRACE(r.name);
    VolumeCatalog written;
    FillRoundTrip(written, r);
    written.filePath = folder_ / "trip.kvl";
    std::filesystem::remove(written.filePath);
    ASSERT_EQ(written.WriteCatalog(*platform_), 1);
    EXPECT_GE(written.timestamp, before - 2);
    EXPECT_LE(written.timestamp, static_cast<int64_t>(std::time(nullptr)) + 2);
    VolumeCatalog read;
    read.filePath = written.filePath;
    ASSERT_EQ(read.ReadHeader(*platform_), 1);
    ExpectRoundTrip(written, read);
  }
  EXPECT_EQ(errorText_.str(), "");
}

// The file of a catalogue with records of every kind, against bytes laid out here by
// hand. The same test runs in the native and in the Windows build, so both write the
// same bytes for the same catalogue.
TEST_F(CatalogFormatRealTest, FileIsByteExact) {
  VolumeCatalog c;
  c.root = "C:\\";
  c.volumeName = "Caf\xE9 \xC4rger";
  c.alias = "\xFF\x80x";
  c.comment = "n\xF6te";
  c.serial = 0x89ABCDEF;
  c.freeSpaceMB = 123.25f;
  c.folders.push_back(FolderRecord{"\\Daten\\\xE4", 5, 12884901888.0});
  c.folders.push_back(FolderRecord{"never written", 2, 2147483648.0});
  c.folders.push_back(FolderRecord{"", 0, 0.1});
  c.AddEntry("\xE9t\xE9.txt", -1, 2147483647, 0);
  c.AddEntry("sub", std::numeric_limits<int32_t>::min(), -1, 0);
  c.AddEntry("x", std::numeric_limits<int32_t>::max(), -3, 65534);
  c.AddEntry("", 0, 0, 1);
  c.AddEntry("long name with spaces", 1234567890, 1000, 2);
  c.filePath = folder_ / "exact.kvl";
  ASSERT_EQ(c.WriteCatalog(*platform_), 1);

  Bytes golden;
  golden.Hex("27 06 A4 D0 05 00").U32(static_cast<uint32_t>(c.timestamp));
  golden.Hex("43 3A 5C 00");                           // root
  golden.Hex("43 61 66 E9 20 C4 72 67 65 72 00");      // volume name
  golden.Hex("FF 80 78 00");                           // alias
  golden.Hex("EF CD AB 89");                           // serial
  golden.Hex("6E F6 74 65 00");                        // comment
  golden.Hex("00 80 F6 42");                           // 123.25
  golden.Hex("03 00 00 00");                           // three folders
  golden.Hex("5C 44 61 74 65 6E 5C E4 00");            // folder 0 path
  golden.Hex("05 00 00 00  00 00 00 00 00 00 08 42");  // 5 files, 3 x 2^32 bytes
  golden.Hex("02 00 00 00  00 00 00 00 00 00 E0 41");  // 2 files, 2^31 bytes
  golden.Hex("00 00 00 00  9A 99 99 99 99 99 B9 3F");  // 0 files, 0.1 bytes
  golden.Hex("05 00 00 00");                           // five entries
  golden.Hex("FF FF FF FF  FF FF FF 7F  00 00  E9 74 E9 2E 74 78 74 00");
  golden.Hex("00 00 00 80  FF FF FF FF  00 00  73 75 62 00");
  golden.Hex("FF FF FF 7F  FD FF FF FF  FE FF  78 00");
  golden.Hex("00 00 00 00  00 00 00 00  01 00  00");
  golden.Hex("D2 02 96 49  E8 03 00 00  02 00").Terminated("long name with spaces");
  EXPECT_EQ(HexDump(ReadWholeFile(c.filePath)), HexDump(golden.str()));
  EXPECT_EQ(errorText_.str(), "");
}

TEST_F(CatalogFormatRealTest, UnreadableAndMissingFiles) {
  std::filesystem::create_directory(folder_.path() / "X.kvl");
  test::WriteWholeFile(folder_ / "empty.kvl", "");
  const std::string cases[] = {"X.kvl", "empty.kvl", "missing.kvl"};
  for (const std::string& name : cases) {
    SCOPED_TRACE(name);
    VolumeCatalog catalog;
    SetHeader(catalog, Prefilled());
    catalog.filePath = folder_ / name;
    EXPECT_EQ(catalog.ReadHeader(*platform_), 0);
    ExpectHeader(catalog, Prefilled());
  }
  VolumeCatalog blocked;
  blocked.filePath = folder_ / "X.kvl";
  errorText_.str("");
  EXPECT_EQ(blocked.WriteCatalog(*platform_), 0) << "a folder is not replaced by a file";
  EXPECT_EQ(LineCount(errorText_.str()), 1u) << errorText_.str();
  EXPECT_TRUE(std::filesystem::is_directory(folder_.path() / "X.kvl"));
}

}  // namespace
}  // namespace ledra
