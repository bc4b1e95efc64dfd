#include "catalog/catalog_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "catalog/catalog_test_support.h"
#include "platform/fake_platform.h"

namespace ledra {
namespace {

using test::Bytes;
using test::LineCount;
using test::ReadWholeFile;
using test::TempFolder;
using test::WriteWholeFile;

constexpr size_t kBlock = CatalogStream::kBufferSize;
const char kPath[] = "C:\\cats\\DATA.kvl";

// A byte pattern whose period (251) never lines up with the block size, so that a block
// written twice or out of order shows.
std::string Pattern(size_t n) {
  std::string bytes(n, '\0');
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) % 251);
  return bytes;
}

class CatalogStreamFakeTest : public ::testing::Test {
 protected:
  CatalogStreamFakeTest() : errors_(errorText_), fake_(errors_) { fake_.AddFolder("C:\\cats"); }

  std::string Reports() const { return errorText_.str(); }

  std::ostringstream errorText_;
  MessageSink errors_;
  FakePlatform fake_;
};

TEST(CatalogStreamTest, BufferIsTheDocumentedBlockSize) { EXPECT_EQ(kBlock, 131072u); }

// Whatever the sizes of the writes above it, the file receives blocks of exactly 131072
// bytes and one remainder from Close.
TEST_F(CatalogStreamFakeTest, WritesWholeBlocksAndOneRemainder) {
  struct Case {
    size_t total;
    std::vector<size_t> blocksBeforeClose;
    std::vector<size_t> blocksAfterClose;
  };
  const Case cases[] = {
      {0, {}, {}},
      {1, {}, {1}},
      {kBlock - 1, {}, {kBlock - 1}},
      {kBlock, {kBlock}, {kBlock}},
      {kBlock + 1, {kBlock}, {kBlock, 1}},
      {2 * kBlock, {kBlock, kBlock}, {kBlock, kBlock}},
      {2 * kBlock + 5, {kBlock, kBlock}, {kBlock, kBlock, 5}},
  };
  // How the bytes reach the stream: one at a time, in odd-sized runs, or all at once.
  const size_t chunkSizes[] = {1, 7, 65537, 0};
  int file = 0;
  for (const Case& c : cases) {
    for (size_t chunk : chunkSizes) {
      const std::string path = "C:\\cats\\f" + std::to_string(file++) + ".kvl";
      SCOPED_TRACE("total " + std::to_string(c.total) + ", chunk " + std::to_string(chunk));
      const std::string bytes = Pattern(c.total);
      CatalogStream out(fake_, path, CatalogStream::kWrite);
      ASSERT_EQ(out.Open(), 1);
      if (chunk == 1) {
        for (char b : bytes) out.WriteByte(static_cast<uint8_t>(b));
      } else {
        const size_t step = chunk == 0 ? bytes.size() : chunk;
        for (size_t at = 0; at < bytes.size(); at += step) {
          out.WriteBytes(bytes.data() + at, std::min(step, bytes.size() - at));
        }
      }
      EXPECT_EQ(fake_.Writes(path), c.blocksBeforeClose);
      EXPECT_TRUE(out.Close());
      EXPECT_EQ(fake_.Writes(path), c.blocksAfterClose);
      EXPECT_TRUE(fake_.Content(path) == bytes) << "content differs";
      EXPECT_FALSE(out.writeFailed());
    }
  }
  EXPECT_EQ(Reports(), "");
}

// Writing only ever makes a new file: an existing one is neither emptied nor followed.
TEST_F(CatalogStreamFakeTest, WriteModeRefusesAnExistingFile) {
  const std::string earlier = Pattern(5000);
  fake_.AddFileWithContent(kPath, earlier);
  CatalogStream out(fake_, kPath, CatalogStream::kWrite);
  EXPECT_EQ(out.Open(), 0);
  EXPECT_TRUE(fake_.Content(kPath) == earlier);
  EXPECT_EQ(LineCount(Reports()), 1u) << Reports();
}

TEST_F(CatalogStreamFakeTest, DestroyedWithoutCloseKeepsOnlyWholeBlocks) {
  const std::string bytes = Pattern(2 * kBlock + 100);
  {
    CatalogStream out(fake_, kPath, CatalogStream::kWrite);
    ASSERT_EQ(out.Open(), 1);
    out.WriteBytes(bytes.data(), bytes.size());
  }
  EXPECT_EQ(fake_.Writes(kPath), (std::vector<size_t>{kBlock, kBlock}));
  EXPECT_TRUE(fake_.Content(kPath) == bytes.substr(0, 2 * kBlock));
}

TEST_F(CatalogStreamFakeTest, WriteTerminatedString) {
  struct Case {
    std::string text;
    std::string bytes;
  };
  const Case cases[] = {
      {"", std::string(1, '\0')},
      {"AB", Bytes().Hex("41 42 00").str()},
      {"\xE9\x80\xFF", Bytes().Hex("E9 80 FF 00").str()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    for (bool asStdString : {false, true}) {
      OsError err;
      fake_.Remove(kPath, &err);
      CatalogStream out(fake_, kPath, CatalogStream::kWrite);
      ASSERT_EQ(out.Open(), 1);
      if (asStdString) {
        out.WriteTerminatedString(c.text);
      } else {
        out.WriteTerminatedString(c.text.c_str());
      }
      EXPECT_TRUE(out.Close());
      EXPECT_EQ(fake_.Content(kPath), c.bytes);
    }
  }
}

// Each string is followed in the file by the byte 7E, which the next read must return:
// that shows how many bytes the string took.
TEST_F(CatalogStreamFakeTest, ReadsCountedAndTerminatedStrings) {
  struct Case {
    const char* name;
    bool counted;
    std::string file;
    std::string stored;  // the destination's bytes, NUL included
    bool terminatedResult;
    size_t consumed;
  };
  const std::string letters255(255, 'q');
  const Case cases[] = {
      {"counted ABC", true, Bytes().Hex("03 41 42 43 7E").str(), Bytes().Hex("41 42 43 00").str(),
       true, 4},
      {"counted empty", true, Bytes().Hex("00 7E").str(), std::string(1, '\0'), true, 1},
      {"counted with NUL", true, Bytes().Hex("03 41 00 43 7E").str(),
       Bytes().Hex("41 00 43 00").str(), true, 4},
      {"counted 255", true, Bytes().Counted(letters255).U8(0x7E).str(),
       Bytes().Terminated(letters255).str(), true, 256},
      {"terminated AB", false, Bytes().Hex("41 42 00 7E").str(), Bytes().Hex("41 42 00").str(),
       true, 3},
      {"terminated empty", false, Bytes().Hex("00 7E").str(), std::string(1, '\0'), true, 1},
      {"terminated high bytes", false, Bytes().Hex("FF 80 00 7E").str(),
       Bytes().Hex("FF 80 00").str(), true, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake_.AddFileWithContent(kPath, c.file);
    CatalogStream in(fake_, kPath, CatalogStream::kRead);
    ASSERT_EQ(in.Open(), 1);
    std::vector<char> destination(300, '\xCC');
    if (c.counted) {
      EXPECT_EQ(in.ReadCountedString(destination.data()), destination.data());
    } else {
      EXPECT_EQ(in.ReadTerminatedString(destination.data(), destination.size()),
                c.terminatedResult);
    }
    EXPECT_EQ(std::string(destination.data(), c.stored.size()), c.stored);
    EXPECT_EQ(destination[c.stored.size()], '\xCC') << "stored past the string";
    EXPECT_EQ(in.ReadByte(), 0x7E) << "consumed a different number of bytes than " << c.consumed;
    EXPECT_FALSE(in.atEnd());
    in.Close();
  }
}

// The destination is exactly `capacity` bytes on the heap, so that a store past its end
// shows under AddressSanitizer.
TEST_F(CatalogStreamFakeTest, RefusesATerminatedStringLongerThanItsDestination) {
  struct Case {
    size_t length;  // bytes before the NUL
    size_t capacity;
    bool fits;
  };
  const Case cases[] = {
      {0, 1, true},        {1, 1, false},         {3, 4, true},
      {4, 4, false},       {5, 4, false},         {2047, 2048, true},
      {2048, 2048, false}, {100000, 2048, false}, {kBlock, 2048, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("length " + std::to_string(c.length) + ", capacity " + std::to_string(c.capacity));
    const std::string text(c.length, 'x');
    fake_.AddFileWithContent(kPath, Bytes().Terminated(text).Hex("7E").str());
    CatalogStream in(fake_, kPath, CatalogStream::kRead);
    ASSERT_EQ(in.Open(), 1);
    auto destination = std::make_unique<char[]>(c.capacity);
    EXPECT_EQ(in.ReadTerminatedString(destination.get(), c.capacity), c.fits);
    const size_t stored = std::strlen(destination.get());
    EXPECT_LT(stored, c.capacity) << "the destination must end with a NUL";
    EXPECT_EQ(std::string(destination.get(), stored), text.substr(0, stored));
    if (c.fits) {
      EXPECT_EQ(stored, c.length);
      EXPECT_EQ(in.ReadByte(), 0x7E);
    }
  }
}

TEST_F(CatalogStreamFakeTest, ReadingPastTheEndGivesZerosAndAtEnd) {
  struct Case {
    const char* name;
    std::string file;
  };
  const Case cases[] = {
      {"empty", ""},
      {"two bytes", "AB"},
      {"one block", Pattern(kBlock)},
      {"block and a bit", Pattern(kBlock + 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake_.AddFileWithContent(kPath, c.file);
    CatalogStream in(fake_, kPath, CatalogStream::kRead);
    ASSERT_EQ(in.Open(), 1);
    for (size_t i = 0; i < c.file.size(); ++i) {
      ASSERT_EQ(in.ReadByte(), static_cast<uint8_t>(c.file[i])) << "at " << i;
      ASSERT_FALSE(in.atEnd());
    }
    EXPECT_EQ(in.ReadByte(), 0);
    EXPECT_TRUE(in.atEnd());
    EXPECT_EQ(in.ReadByte(), 0);
    uint8_t tail[6];
    std::memset(tail, 0x55, sizeof tail);
    in.ReadBytes(tail, sizeof tail);
    for (uint8_t b : tail) {
      EXPECT_EQ(b, 0);
    }
    char text[8];
    std::memset(text, 0x55, sizeof text);
    EXPECT_FALSE(in.ReadTerminatedString(text, sizeof text));
    EXPECT_EQ(text[0], '\0');
    in.ReadCountedString(text);
    EXPECT_EQ(text[0], '\0');
    EXPECT_TRUE(in.atEnd());
  }
}

TEST_F(CatalogStreamFakeTest, ReadBytesCrossesBlocks) {
  const std::string bytes = Pattern(3 * kBlock + 17);
  fake_.AddFileWithContent(kPath, bytes);
  CatalogStream in(fake_, kPath, CatalogStream::kRead);
  ASSERT_EQ(in.Open(), 1);
  std::string got;
  const size_t runs[] = {1, 5, kBlock, 3, kBlock + 11, 2};
  size_t next = 0;
  while (got.size() < bytes.size()) {
    const size_t n = std::min(runs[next++ % 6], bytes.size() - got.size());
    if (n == 1) {
      got += static_cast<char>(in.ReadByte());
    } else {
      std::string run(n, '\0');
      in.ReadBytes(&run[0], n);
      got += run;
    }
  }
  EXPECT_TRUE(got == bytes);
  EXPECT_FALSE(in.atEnd());
  in.ReadByte();
  EXPECT_TRUE(in.atEnd());
}

TEST_F(CatalogStreamFakeTest, OpenRefusesOtherModesSilently) {
  fake_.AddFileWithContent(kPath, "abc");
  for (int32_t mode : {2, 7, -1, 3}) {
    SCOPED_TRACE(mode);
    CatalogStream stream(fake_, kPath, mode);
    EXPECT_EQ(stream.Open(), 0);
  }
  CatalogStream missing(fake_, "C:\\cats\\new.kvl", 7);
  EXPECT_EQ(missing.Open(), 0);
  EXPECT_FALSE(fake_.Exists("C:\\cats\\new.kvl"));
  EXPECT_TRUE(fake_.log().empty());
  EXPECT_EQ(fake_.Content(kPath), "abc");
  EXPECT_EQ(Reports(), "");
}

TEST_F(CatalogStreamFakeTest, OpenFailuresAreReportedOnce) {
  struct Case {
    const char* name;
    std::string path;
    int32_t mode;
    FakePlatform::Op failing;  // List stands for nothing made to fail: no file is listed
  };
  const Case cases[] = {
      {"read a missing file", "C:\\cats\\missing.kvl", CatalogStream::kRead,
       FakePlatform::Op::List},
      {"create in a missing folder", "C:\\nowhere\\x.kvl", CatalogStream::kWrite,
       FakePlatform::Op::List},
      {"open refused", "C:\\cats\\locked.kvl", CatalogStream::kRead, FakePlatform::Op::Open},
      {"create refused", "C:\\cats\\locked.kvl", CatalogStream::kWrite, FakePlatform::Op::Create},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream text;
    MessageSink errors(text);
    FakePlatform fake(errors);
    fake.AddFolder("C:\\cats");
    fake.AddFileWithContent("C:\\cats\\locked.kvl", "abc");
    fake.Fail(c.failing, c.path);
    CatalogStream stream(fake, c.path, c.mode);
    EXPECT_EQ(stream.Open(), 0);
    EXPECT_EQ(LineCount(text.str()), 1u) << text.str();
    EXPECT_NE(text.str().find(c.path), std::string::npos) << text.str();
    EXPECT_EQ(fake.Content("C:\\cats\\locked.kvl"), "abc");
  }
}

// After a failed block write the stream tells the user once and writes nothing more.
TEST_F(CatalogStreamFakeTest, FailedWritesAreReportedOnceAndNothingFollows) {
  struct Case {
    const char* name;
    FakePlatform::Op op;
    int fromCall;
    size_t total;
    std::vector<size_t> attempts;  // Write calls made, the failing one included
    size_t kept;                   // bytes of the file afterwards
    bool failedBeforeClose;
  };
  const Case cases[] = {
      {"second block", FakePlatform::Op::Write, 2, 4 * kBlock + 10, {kBlock, kBlock}, kBlock, true},
      {"first block", FakePlatform::Op::Write, 1, 2 * kBlock, {kBlock}, 0, true},
      {"remainder at close", FakePlatform::Op::Write, 2, kBlock + 10, {kBlock, 10}, kBlock, false},
      {"only write at close", FakePlatform::Op::Write, 1, 10, {10}, 0, false},
      {"sync at close", FakePlatform::Op::Sync, 1, kBlock + 10, {kBlock, 10}, kBlock + 10, false},
      {"close", FakePlatform::Op::Close, 1, 10, {10}, 10, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream text;
    MessageSink errors(text);
    FakePlatform fake(errors);
    fake.AddFolder("C:\\cats");
    const std::string bytes = Pattern(c.total);
    CatalogStream out(fake, kPath, CatalogStream::kWrite);
    ASSERT_EQ(out.Open(), 1);
    fake.Fail(c.op, kPath, c.fromCall);
    const size_t half = std::min(kBlock / 2, bytes.size());
    out.WriteBytes(bytes.data(), half);
    EXPECT_FALSE(out.writeFailed());
    for (size_t i = half; i < bytes.size(); ++i) out.WriteByte(static_cast<uint8_t>(bytes[i]));
    EXPECT_EQ(out.writeFailed(), c.failedBeforeClose);
    EXPECT_EQ(LineCount(text.str()), c.failedBeforeClose ? 1u : 0u) << text.str();
    EXPECT_FALSE(out.Close(/*sync=*/true));
    EXPECT_TRUE(out.writeFailed());
    EXPECT_EQ(fake.Writes(kPath), c.attempts);
    EXPECT_TRUE(fake.Content(kPath) == bytes.substr(0, c.kept));
    EXPECT_EQ(LineCount(text.str()), 1u) << text.str();
    EXPECT_NE(text.str().find(kPath), std::string::npos) << text.str();
  }
}

TEST_F(CatalogStreamFakeTest, RemoveFile) {
  const std::string bak = std::string(kPath) + ".bak";
  struct Case {
    const char* name;
    bool fileThere;
    bool backupThere;
    int32_t mode;
    bool backup;
    FakePlatform::Op failing;  // List stands for nothing made to fail
    int result;
    size_t reports;
    bool fileAfter;
    std::string backupAfter;  // content; "-" for no backup
  };
  const Case cases[] = {
      {"delete", true, false, CatalogStream::kRemove, false, FakePlatform::Op::List, 1, 0, false,
       "-"},
      {"delete a missing file", false, false, CatalogStream::kRemove, false, FakePlatform::Op::List,
       0, 1, false, "-"},
      {"delete refused", true, false, CatalogStream::kRemove, false, FakePlatform::Op::Remove, 0, 1,
       true, "-"},
      {"backup replaces the old backup", true, true, CatalogStream::kRemove, true,
       FakePlatform::Op::List, 1, 0, false, "new"},
      {"backup without an old backup", true, false, CatalogStream::kRemove, true,
       FakePlatform::Op::List, 1, 0, false, "new"},
      {"backup of a missing file leaves the old backup", false, true, CatalogStream::kRemove, true,
       FakePlatform::Op::List, 1, 0, false, "old"},
      {"backup of a missing file, no backup either", false, false, CatalogStream::kRemove, true,
       FakePlatform::Op::List, 1, 0, false, "-"},
      {"backup refused", true, true, CatalogStream::kRemove, true, FakePlatform::Op::Rename, 1, 1,
       true, "old"},
      {"read mode deletes nothing", true, true, CatalogStream::kRead, false, FakePlatform::Op::List,
       1, 0, true, "old"},
      {"write mode backs up nothing", true, true, CatalogStream::kWrite, true,
       FakePlatform::Op::List, 1, 0, true, "old"},
      {"read mode, missing file", false, false, CatalogStream::kRead, false, FakePlatform::Op::List,
       1, 0, false, "-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream text;
    MessageSink errors(text);
    FakePlatform fake(errors);
    fake.AddFolder("C:\\cats");
    if (c.fileThere) fake.AddFileWithContent(kPath, "new");
    if (c.backupThere) fake.AddFileWithContent(bak, "old");
    fake.Fail(c.failing, kPath);
    const size_t logBefore = fake.log().size();
    {
      CatalogStream stream(fake, kPath, c.mode);
      EXPECT_EQ(stream.RemoveFile(c.backup), c.result);
    }
    EXPECT_EQ(LineCount(text.str()), c.reports) << text.str();
    if (c.reports != 0) {
      EXPECT_NE(text.str().find(kPath), std::string::npos) << text.str();
    }
    EXPECT_EQ(fake.Exists(kPath), c.fileAfter);
    if (c.fileAfter) {
      EXPECT_EQ(fake.Content(kPath), "new");
    }
    EXPECT_EQ(fake.Exists(bak), c.backupAfter != "-");
    if (c.backupAfter != "-") {
      EXPECT_EQ(fake.Content(bak), c.backupAfter);
    }
    if (c.mode != CatalogStream::kRemove) {
      EXPECT_EQ(fake.log().size(), logBefore);
    }
    // A backup is one rename that replaces the old backup, never a delete and a rename.
    if (c.backup) {
      for (const std::string& entry : fake.log()) {
        EXPECT_EQ(entry.rfind("remove ", 0), std::string::npos) << entry;
      }
    }
  }
}

// --- The machine the tests run on -------------------------------------------------------

class CatalogStreamRealTest : public test::RealPlatformTest {};

TEST_F(CatalogStreamRealTest, RoundTripAcrossBlocks) {
  const std::string path = folder_ / "round.kvl";
  for (size_t total : {size_t{0}, size_t{1}, kBlock, 3 * kBlock + 12345}) {
    SCOPED_TRACE(total);
    std::filesystem::remove(path);
    const std::string bytes = Pattern(total);
    {
      CatalogStream out(*platform_, path, CatalogStream::kWrite);
      ASSERT_EQ(out.Open(), 1);
      size_t at = 0;
      while (at < bytes.size()) {
        if (at % 3 == 0) {
          out.WriteByte(static_cast<uint8_t>(bytes[at++]));
        } else {
          const size_t n = std::min<size_t>(40000, bytes.size() - at);
          out.WriteBytes(bytes.data() + at, n);
          at += n;
        }
      }
      EXPECT_TRUE(out.Close(/*sync=*/true));
    }
    EXPECT_EQ(std::filesystem::file_size(path), total);
    EXPECT_TRUE(ReadWholeFile(path) == bytes);

    CatalogStream in(*platform_, path, CatalogStream::kRead);
    ASSERT_EQ(in.Open(), 1);
    std::string got(total, '\0');
    if (total > 0) {
      got[0] = static_cast<char>(in.ReadByte());
      in.ReadBytes(&got[1], total - 1);
    }
    EXPECT_TRUE(got == bytes);
    EXPECT_FALSE(in.atEnd());
    EXPECT_EQ(in.ReadByte(), 0);
    EXPECT_TRUE(in.atEnd());
    in.Close();
  }
  EXPECT_EQ(errorText_.str(), "");
}

TEST_F(CatalogStreamRealTest, DestroyedWithoutCloseKeepsWholeBlocks) {
  const std::string path = folder_ / "partial.kvl";
  const std::string bytes = Pattern(kBlock + 999);
  {
    CatalogStream out(*platform_, path, CatalogStream::kWrite);
    ASSERT_EQ(out.Open(), 1);
    out.WriteBytes(bytes.data(), bytes.size());
  }
  EXPECT_TRUE(ReadWholeFile(path) == bytes.substr(0, kBlock));
}

// A folder named like a catalogue is no catalogue: it is passed over in silence.
TEST_F(CatalogStreamRealTest, FolderNamedLikeACatalogue) {
  const std::string path = folder_ / "X.kvl";
  ASSERT_TRUE(std::filesystem::create_directory(path));
  CatalogStream in(*platform_, path, CatalogStream::kRead);
  EXPECT_EQ(in.Open(), 0);
  EXPECT_EQ(errorText_.str(), "");
}

TEST_F(CatalogStreamRealTest, RemoveFileAndBackup) {
  const std::string path = folder_ / "DATA.kvl";
  const std::string bak = path + ".bak";
  struct Case {
    const char* name;
    bool fileThere;
    bool backupThere;
    bool backup;
    int result;
    size_t reports;
    std::string backupAfter;  // "-" for none
  };
  const Case cases[] = {
      {"backup replaces the old backup", true, true, true, 1, 0, "new"},
      {"backup of a missing file leaves the old backup", false, true, true, 1, 0, "old"},
      {"delete", true, true, false, 1, 0, "old"},
      {"delete a missing file", false, false, false, 0, 1, "-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(path);
    std::filesystem::remove(bak);
    if (c.fileThere) WriteWholeFile(path, "new");
    if (c.backupThere) WriteWholeFile(bak, "old");
    std::ostringstream text;
    MessageSink errors(text);
    auto platform = NewRealPlatform(errors);
    CatalogStream stream(*platform, path, CatalogStream::kRemove);
    EXPECT_EQ(stream.RemoveFile(c.backup), c.result);
    EXPECT_EQ(LineCount(text.str()), c.reports) << text.str();
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(std::filesystem::exists(bak), c.backupAfter != "-");
    if (c.backupAfter != "-") {
      EXPECT_EQ(ReadWholeFile(bak), c.backupAfter);
    }
  }
}

}  // namespace
}  // namespace ledra
