// What the catalogue tests share: hand-made catalogue bytes built field by field in
// little-endian order, a private folder on the real machine that disappears afterwards,
// and a guard that gives the process its current folder back.
#ifndef LEDRA_CATALOG_CATALOG_TEST_SUPPORT_H_
#define LEDRA_CATALOG_CATALOG_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "platform/platform.h"
#include "platform/temp_tree_testing.h"

namespace ledra {
namespace test {

// Bytes of a file written out by hand, so that expectations never go through the code
// under test.
class Bytes {
 public:
  Bytes& U8(uint8_t v) {
    text_ += static_cast<char>(v);
    return *this;
  }
  Bytes& U16(uint16_t v) { return U8(static_cast<uint8_t>(v)).U8(static_cast<uint8_t>(v >> 8)); }
  Bytes& U32(uint32_t v) {
    return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16));
  }
  Bytes& U64(uint64_t v) {
    return U32(static_cast<uint32_t>(v)).U32(static_cast<uint32_t>(v >> 32));
  }
  Bytes& Raw(const std::string& bytes) {
    text_ += bytes;
    return *this;
  }
  // A version-5 header string: its bytes and a NUL.
  Bytes& Terminated(const std::string& text) { return Raw(text).U8(0); }
  // A header string of versions 0 to 4: a length byte and that many bytes.
  Bytes& Counted(const std::string& text) {
    return U8(static_cast<uint8_t>(text.size())).Raw(text);
  }
  // Space-separated hex pairs: "27 06 A4 D0".
  Bytes& Hex(const std::string& pairs) {
    std::istringstream in(pairs);
    std::string pair;
    while (in >> pair) U8(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
    return *this;
  }
  const std::string& str() const { return text_; }
  size_t size() const { return text_.size(); }

 private:
  std::string text_;
};

inline std::string HexDump(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (i != 0) out += (i % 16 == 0) ? '\n' : ' ';
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

// Number of lines the error sink received.
inline size_t LineCount(const std::string& text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// A folder of its own below the system's temporary folder, removed with all it holds: the
// TempTree of the other real-machine tests (under Wine below Z:\tmp), seen as one folder.
class TempFolder {
 public:
  bool ok() const { return !tree_.root().empty(); }
  std::filesystem::path path() const { return tree_.root(); }
  // The folder as the platform names it.
  std::string str() const { return tree_.root(); }
  std::string operator/(const std::string& name) const { return tree_.Path(name); }

 private:
  TempTree tree_;
};

inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A test on the machine's own platform, with a private temporary folder.
class RealPlatformTest : public ::testing::Test {
 protected:
  RealPlatformTest() : errors_(errorText_), platform_(NewRealPlatform(errors_)) {}
  void SetUp() override { ASSERT_TRUE(folder_.ok()) << "no temporary folder"; }

  std::ostringstream errorText_;
  MessageSink errors_;
  std::unique_ptr<Platform> platform_;
  TempFolder folder_;
};

// Changes the current folder for one test and restores the earlier one afterwards: the
// catalogue set names and writes its files relative to the current folder.
class CurrentFolderGuard {
 public:
  CurrentFolderGuard(Platform& platform, const std::string& folder) : platform_(platform) {
    saved_ = platform_.CurrentFolder(&earlier_);
    changed_ = platform_.ChangeFolder(folder);
  }
  CurrentFolderGuard(const CurrentFolderGuard&) = delete;
  CurrentFolderGuard& operator=(const CurrentFolderGuard&) = delete;
  ~CurrentFolderGuard() {
    if (saved_) platform_.ChangeFolder(earlier_);
  }
  bool changed() const { return changed_ && saved_; }

 private:
  Platform& platform_;
  std::string earlier_;
  bool saved_ = false;
  bool changed_ = false;
};

}  // namespace test
}  // namespace ledra

#endif  // LEDRA_CATALOG_CATALOG_TEST_SUPPORT_H_
