// Tests of the Win32 back end on a real machine (Wine in CI): trees, files and volumes are
// made with Win32 calls in a private temporary folder and read back through the Platform.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/byte_text.h"
#include "platform/platform.h"

namespace ledra {
namespace {

constexpr int64_t kFileTimeToUnixSeconds = 11644473600LL;
constexpr int32_t kMaxTime = std::numeric_limits<int32_t>::max();

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Runs a Unix command in `folder` (Wine only). Wine starts it without a handle to wait
// on, so callers poll for its effect.
bool StartUnixCommand(const std::string& folder, std::string command) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                     &startup, &process) == 0) {
    return false;
  }
  if (process.hProcess != nullptr) CloseHandle(process.hProcess);
  if (process.hThread != nullptr) CloseHandle(process.hThread);
  return true;
}

template <typename Condition>
bool WaitFor(Condition condition) {
  for (int i = 0; i < 200; ++i) {
    if (condition()) return true;
    Sleep(25);
  }
  return false;
}

bool Listable(const std::string& folder) {
  WIN32_FIND_DATAA data;
  const HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whether this process may read any file whatever its mode (root with CAP_DAC_OVERRIDE or
// CAP_DAC_READ_SEARCH, as seen through Wine's view of /proc).
bool OverridesPermissions() {
  const HANDLE file = CreateFileA("Z:\\proc\\self\\status", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char text[8192] = {};
  DWORD got = 0;
  ReadFile(file, text, sizeof text - 1, &got, nullptr);
  CloseHandle(file);
  const char* line = std::strstr(text, "CapEff:");
  if (line == nullptr) return false;
  const unsigned long long caps = std::strtoull(line + 7, nullptr, 16);
  return (caps & 0x6) != 0;  // bits 1 and 2: CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH
}

FILETIME FileTimeOf(int64_t unixSeconds) {
  const uint64_t ticks = static_cast<uint64_t>(unixSeconds + kFileTimeToUnixSeconds) * 10000000;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}

void SetWriteTime(const std::string& path, int64_t unixSeconds) {
  const HANDLE handle =
      CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE) << path;
  const FILETIME time = FileTimeOf(unixSeconds);
  EXPECT_NE(SetFileTime(handle, nullptr, nullptr, &time), 0) << path;
  CloseHandle(handle);
}

// Writes `content`; a `length` beyond it makes the file that long (sparse where the
// filesystem allows), with its last byte written so that every filesystem keeps the size.
void MakeFile(const std::string& path, const std::string& content, uint64_t length = 0) {
  const HANDLE handle =
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  if (!content.empty()) {
    EXPECT_NE(
        WriteFile(handle, content.data(), static_cast<DWORD>(content.size()), &written, nullptr),
        0);
  }
  if (length > content.size()) {
    LARGE_INTEGER last;
    last.QuadPart = static_cast<LONGLONG>(length - 1);
    EXPECT_NE(SetFilePointerEx(handle, last, nullptr, FILE_BEGIN), 0);
    EXPECT_NE(WriteFile(handle, "", 1, &written, nullptr), 0);
  }
  CloseHandle(handle);
}

std::string ReadWhole(const std::string& path) {
  const HANDLE handle =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return "<missing>";
  std::string content;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(handle, buffer, sizeof buffer, &got, nullptr) != 0 && got > 0) {
    content.append(buffer, got);
  }
  CloseHandle(handle);
  return content;
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA data;
  const HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileA(path.c_str());
      } else if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // A link to a folder goes without its target.
        if (RemoveDirectoryA(path.c_str()) == 0) DeleteFileA(path.c_str());
      } else {
        RemoveTree(path);
      }
    } while (FindNextFileA(find, &data) != 0);
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}

class Win32PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_ = NewRealPlatform(errors_);
    ASSERT_TRUE(platform_->Start());
    char temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof temp, temp);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof temp);
    temp_ = temp;
    static int serial = 0;
    base_ = temp_ + "ledra-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount64()) + "-" + std::to_string(++serial);
    ASSERT_NE(CreateDirectoryA(base_.c_str(), nullptr), 0) << base_;
    char current[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(sizeof current, current);
    savedFolder_ = current;
  }

  void TearDown() override {
    SetCurrentDirectoryA(savedFolder_.c_str());
    if (!UnderWine()) {
      RemoveTree(base_);
      return;
    }
    // Win32 deletes follow Unix links and cannot see dangling ones; a folder may have been
    // left unreadable.
    const std::string name = base_.substr(temp_.size());
    ASSERT_TRUE(StartUnixCommand(
        temp_, "/bin/sh -c \"chmod -R u+rwx '" + name + "' && rm -rf '" + name + "'\""));
    EXPECT_TRUE(WaitFor([&] { return !Exists(base_); })) << base_;
  }

  std::string Path(const std::string& name) const { return base_ + "\\" + name; }

  // Every item of a listing by name; '.' and '..' included.
  std::map<std::string, DirItem> List(const std::string& folder) {
    std::map<std::string, DirItem> items;
    auto search = platform_->NewDirSearch();
    if (!search->Start(folder)) return items;
    DirItem item;
    while (search->Next(item)) {
      EXPECT_EQ(items.count(item.name), 0u) << "delivered twice: " << item.name;
      items[item.name] = item;
    }
    return items;
  }

  std::ostringstream errorText_;
  MessageSink errors_{errorText_};
  std::unique_ptr<Platform> platform_;
  std::string temp_;  // the system's folder for temporary files, with its final '\\'
  std::string base_;  // a fresh folder of this test in temp_
  std::string savedFolder_;
};

TEST_F(Win32PlatformTest, DirSearchDeliversEveryItemWithItsFacts) {
  struct Expected {
    std::string name;
    bool isFolder;
    uint64_t length;  // bytes on disk
    int64_t written;  // last-write time set, seconds since 1970
    uint64_t size;
    int32_t modified;
  };
  const std::vector<Expected> table = {
      {"plain.txt", false, 10, 1000000000, 10, 1000000000},
      {"Mixed Case Name.Dat", false, 0, 0, 0, 0},
      {"before-1970", false, 1, -1000000, 1, -1000000},
      {"after-2038", false, 2, 4102444800LL, 2, kMaxTime},
      {"three-gib", false, 3ull << 30, 1000000001, 3221225472u, 1000000001},
      {"four-gib-and-100", false, (4ull << 30) + 100, 1000000002, (4ull << 30) + 100, 1000000002},
      {"Sub Folder", true, 0, 999999999, 0, 999999999},
      {".hidden-looking", true, 0, 1234567890, 0, 1234567890},
  };
  for (const Expected& e : table) {
    if (e.isFolder) {
      ASSERT_NE(CreateDirectoryA(Path(e.name).c_str(), nullptr), 0) << e.name;
    } else {
      MakeFile(Path(e.name), std::string(e.length < 16 ? e.length : 0, 'x'), e.length);
    }
  }
  // A folder's time changes when something is made in it, so times are set last.
  MakeFile(Path("Sub Folder\\inner"), "abc");
  for (const Expected& e : table) SetWriteTime(Path(e.name), e.written);

  const auto items = List(base_);
  ASSERT_EQ(items.size(), table.size() + 2);
  for (const char* dots : {".", ".."}) {
    ASSERT_EQ(items.count(dots), 1u) << dots;
    EXPECT_TRUE(items.at(dots).isFolder) << dots;
  }
  for (const Expected& e : table) {
    SCOPED_TRACE(e.name);
    ASSERT_EQ(items.count(e.name), 1u);
    const DirItem& item = items.at(e.name);
    EXPECT_EQ(item.isFolder, e.isFolder);
    EXPECT_TRUE(item.enterable);
    EXPECT_EQ(item.modified, e.modified);
    if (!e.isFolder) {
      EXPECT_EQ(item.size, e.size);
    }
  }
}

TEST_F(Win32PlatformTest, DirSearchIsReusedFolderAfterFolder) {
  ASSERT_NE(CreateDirectoryA(Path("one").c_str(), nullptr), 0);
  ASSERT_NE(CreateDirectoryA(Path("two").c_str(), nullptr), 0);
  MakeFile(Path("one\\a"), "");
  MakeFile(Path("one\\b"), "");
  MakeFile(Path("two\\c"), "");

  auto search = platform_->NewDirSearch();
  DirItem item;
  // A listing left half-way is ended by the next Start.
  ASSERT_TRUE(search->Start(Path("one")));
  ASSERT_TRUE(search->Next(item));
  ASSERT_TRUE(search->Start(Path("two")));
  std::vector<std::string> names;
  while (search->Next(item)) names.push_back(item.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "c"}));
  EXPECT_FALSE(search->Next(item)) << "an exhausted listing stays exhausted";

  // A failed start leaves nothing of the listing before it.
  ASSERT_TRUE(search->Start(Path("one")));
  EXPECT_FALSE(search->Start(Path("missing")));
  EXPECT_FALSE(search->Next(item));
}

TEST_F(Win32PlatformTest, DirSearchFindsNothingInMissingFolders) {
  MakeFile(Path("file"), "x");
  const std::vector<std::string> table = {
      Path("missing"),          // no such folder
      Path("missing\\deeper"),  // nor its parent
      Path("file"),             // a file, not a folder
  };
  auto search = platform_->NewDirSearch();
  for (const std::string& folder : table) {
    EXPECT_FALSE(search->Start(folder)) << folder;
    DirItem item;
    EXPECT_FALSE(search->Next(item)) << folder;
  }
}

TEST_F(Win32PlatformTest, DirSearchFindsNothingInUnreadableFolder) {
  if (!UnderWine()) GTEST_SKIP() << "a mode-000 folder is made through Wine only";
  if (OverridesPermissions()) {
    GTEST_SKIP() << "this process reads any folder (root with CAP_DAC_OVERRIDE); run it "
                    "through cmake/wine-run.sh, which drops that capability";
  }
  ASSERT_NE(CreateDirectoryA(Path("locked").c_str(), nullptr), 0);
  MakeFile(Path("locked\\inside"), "x");
  ASSERT_TRUE(StartUnixCommand(base_, "/bin/chmod 000 locked"));
  ASSERT_TRUE(WaitFor([&] { return !Listable(Path("locked")); }));

  auto search = platform_->NewDirSearch();
  EXPECT_FALSE(search->Start(Path("locked")));
  // Its parent still lists it as a folder.
  const auto items = List(base_);
  ASSERT_EQ(items.count("locked"), 1u);
  EXPECT_TRUE(items.at("locked").isFolder);

  ASSERT_TRUE(StartUnixCommand(base_, "/bin/chmod 755 locked"));
  EXPECT_TRUE(WaitFor([&] { return Listable(Path("locked")); }));
}

TEST_F(Win32PlatformTest, DirSearchDoesNotEnterLinkedFolders) {
  if (!UnderWine()) GTEST_SKIP() << "links are made through Wine only";
  ASSERT_NE(CreateDirectoryA(Path("target").c_str(), nullptr), 0);
  MakeFile(Path("target\\inner"), "x");
  MakeFile(Path("file"), "0123456789");
  ASSERT_TRUE(StartUnixCommand(base_, "/bin/ln -s target folder-link"));
  ASSERT_TRUE(StartUnixCommand(base_, "/bin/ln -s file file-link"));
  ASSERT_TRUE(StartUnixCommand(base_, "/bin/ln -s nowhere dangling-link"));
  ASSERT_TRUE(WaitFor([&] {
    return Exists(Path("folder-link")) && Exists(Path("file-link")) &&
           List(base_).size() == 6;  // dots, target, file and the two live links
  }));

  const auto items = List(base_);
  struct Expected {
    std::string name;
    bool isFolder;
    bool enterable;
  };
  const std::vector<Expected> table = {
      {"target", true, true},
      {"folder-link", true, false},  // recorded, never entered
      {"file", false, true},
      {"file-link", false, true},  // Wine shows a link to a file as that file
  };
  for (const Expected& e : table) {
    SCOPED_TRACE(e.name);
    ASSERT_EQ(items.count(e.name), 1u);
    EXPECT_EQ(items.at(e.name).isFolder, e.isFolder);
    EXPECT_EQ(items.at(e.name).enterable, e.enterable);
  }
  EXPECT_EQ(items.at("file-link").size, 10u);
  EXPECT_EQ(items.count("dangling-link"), 0u);
}

TEST_F(Win32PlatformTest, FindCatalogFilesGivesFullPathsInListingOrder) {
  for (const char* name : {"B.kvl", "A.kvl", "notes.txt", "upper.KVL", "x.kvl.bak", "kvl"}) {
    MakeFile(Path(name), "x");
  }
  ASSERT_NE(CreateDirectoryA(Path("folder.kvl").c_str(), nullptr), 0);

  // The listing's own order, less the names the pattern does not match.
  std::vector<std::string> expected;
  auto search = platform_->NewDirSearch();
  ASSERT_TRUE(search->Start(base_));
  DirItem item;
  while (search->Next(item)) {
    const std::string lower = ToLowerAscii(item.name);
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".kvl") == 0) {
      expected.push_back(base_ + "\\" + item.name);
    }
  }
  EXPECT_EQ(expected.size(), 4u);
  EXPECT_EQ(platform_->FindCatalogFiles(base_), expected);

  ASSERT_NE(CreateDirectoryA(Path("none").c_str(), nullptr), 0);
  EXPECT_TRUE(platform_->FindCatalogFiles(Path("none")).empty());
  EXPECT_TRUE(platform_->FindCatalogFiles(Path("missing")).empty());
}

TEST_F(Win32PlatformTest, FindCatalogFilesInDriveRootJoinsWithOneSeparator) {
  const std::string name = "ledra-" + std::to_string(GetCurrentProcessId()) + ".kvl";
  const std::string path = "C:\\" + name;
  const HANDLE handle =
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) GTEST_SKIP() << "cannot write into C:\\";
  CloseHandle(handle);
  const std::vector<std::string> found = platform_->FindCatalogFiles("C:");
  DeleteFileA(path.c_str());
  EXPECT_EQ(std::count(found.begin(), found.end(), path), 1);
}

TEST_F(Win32PlatformTest, FoldersAndNamesInTheCurrentFolder) {
  MakeFile(Path("file.txt"), "x");
  ASSERT_NE(CreateDirectoryA(Path("Folder").c_str(), nullptr), 0);
  ASSERT_TRUE(platform_->ChangeFolder(base_));
  std::string current;
  ASSERT_TRUE(platform_->CurrentFolder(&current));
  EXPECT_EQ(current, base_);

  const std::vector<std::pair<std::string, bool>> names = {
      {"file.txt", true}, {"FILE.TXT", true}, {"Folder", true},
      {"missing", false}, {"", false},        {"Folder\\missing", false},
  };
  for (const auto& [name, exists] : names) EXPECT_EQ(platform_->NameExists(name), exists) << name;

  const std::vector<std::pair<std::string, std::string>> paths = {
      {"file.txt", base_ + "\\file.txt"},
      {"Folder\\..\\file.txt", base_ + "\\file.txt"},
      {".", base_},
      {"C:\\x\\y", "C:\\x\\y"},
  };
  for (const auto& [path, absolute] : paths) {
    std::string result;
    ASSERT_TRUE(platform_->AbsolutePath(path, &result)) << path;
    EXPECT_EQ(result, absolute) << path;
  }

  EXPECT_FALSE(platform_->ChangeFolder(Path("missing")));
  ASSERT_TRUE(platform_->CurrentFolder(&current));
  EXPECT_EQ(current, base_) << "a failed change keeps the folder";
  ASSERT_TRUE(platform_->ChangeFolder(Path("Folder")));
  ASSERT_TRUE(platform_->CurrentFolder(&current));
  EXPECT_EQ(current, Path("Folder"));
}

TEST_F(Win32PlatformTest, FilesAreWrittenReadRenamedAndRemoved) {
  // More than one read's worth, with every byte value.
  std::string content;
  for (int i = 0; i < 300000; ++i) content += static_cast<char>(i * 7 % 256);
  const std::string path = Path("data.bin");

  OsError err;
  auto file = platform_->CreateForWriting(path, &err);
  ASSERT_NE(file, nullptr) << err.text;
  ASSERT_TRUE(file->Write(content.data(), 5, &err)) << err.text;
  ASSERT_TRUE(file->Write(content.data() + 5, content.size() - 5, &err)) << err.text;
  ASSERT_TRUE(file->Sync(&err)) << err.text;
  // Nobody else may open a file being written.
  EXPECT_EQ(platform_->OpenForReading(path, &err), nullptr);
  EXPECT_EQ(err.code, ERROR_SHARING_VIOLATION);
  ASSERT_TRUE(file->Close(&err)) << err.text;
  EXPECT_EQ(ReadWhole(path), content);
  // A closed file refuses everything but another close.
  EXPECT_FALSE(file->Write("x", 1, &err));
  EXPECT_FALSE(file->Sync(&err));
  EXPECT_TRUE(file->Close(&err));
  EXPECT_EQ(ReadWhole(path), content);

  auto reader = platform_->OpenForReading(path, &err);
  ASSERT_NE(reader, nullptr) << err.text;
  // Others may go on reading and writing a file being read.
  const HANDLE other =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(other, INVALID_HANDLE_VALUE);
  if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
  std::string readBack;
  std::vector<char> buffer(131072);
  size_t got = 0;
  do {
    ASSERT_TRUE(reader->Read(buffer.data(), buffer.size(), &got, &err)) << err.text;
    readBack.append(buffer.data(), got);
  } while (got > 0);
  EXPECT_EQ(readBack, content);
  ASSERT_TRUE(reader->Read(buffer.data(), buffer.size(), &got, &err));
  EXPECT_EQ(got, 0u) << "the end stays the end";
  ASSERT_TRUE(reader->Close(&err));
  EXPECT_FALSE(reader->Read(buffer.data(), buffer.size(), &got, &err)) << "closed";
  reader.reset();

  // Creating never opens an existing file.
  EXPECT_EQ(platform_->CreateForWriting(path, &err), nullptr);
  EXPECT_EQ(err.code, ERROR_FILE_EXISTS);
  EXPECT_EQ(ReadWhole(path), content);

  // A rename replaces the file of the new name in one step.
  MakeFile(Path("DATA.kvl"), "new");
  MakeFile(Path("DATA.kvl.bak"), "old");
  ASSERT_TRUE(platform_->Rename(Path("DATA.kvl"), Path("DATA.kvl.bak"), &err)) << err.text;
  EXPECT_FALSE(Exists(Path("DATA.kvl")));
  EXPECT_EQ(ReadWhole(Path("DATA.kvl.bak")), "new");

  ASSERT_TRUE(platform_->Remove(Path("DATA.kvl.bak"), &err)) << err.text;
  EXPECT_FALSE(Exists(Path("DATA.kvl.bak")));
}

TEST_F(Win32PlatformTest, FileErrorsTellMissingFromOtherFailures) {
  ASSERT_NE(CreateDirectoryA(Path("folder").c_str(), nullptr), 0);
  MakeFile(Path("file"), "x");
  struct Case {
    const char* what;
    std::function<bool(OsError*)> call;
    bool notFound;
    DWORD code;
  };
  Platform& p = *platform_;
  const std::vector<Case> table = {
      {"open missing", [&](OsError* e) { return p.OpenForReading(Path("nope"), e) != nullptr; },
       true, ERROR_FILE_NOT_FOUND},
      {"open in missing folder",
       [&](OsError* e) { return p.OpenForReading(Path("no\\pe"), e) != nullptr; }, true,
       ERROR_PATH_NOT_FOUND},
      {"open a folder", [&](OsError* e) { return p.OpenForReading(Path("folder"), e) != nullptr; },
       false, ERROR_INVALID_FUNCTION},
      {"create in missing folder",
       [&](OsError* e) { return p.CreateForWriting(Path("no\\pe"), e) != nullptr; }, true,
       ERROR_PATH_NOT_FOUND},
      {"create over a folder",
       [&](OsError* e) { return p.CreateForWriting(Path("folder"), e) != nullptr; }, false,
       ERROR_FILE_EXISTS},
      {"remove missing", [&](OsError* e) { return p.Remove(Path("nope"), e); }, true,
       ERROR_FILE_NOT_FOUND},
      {"remove a folder", [&](OsError* e) { return p.Remove(Path("folder"), e); }, false,
       ERROR_ACCESS_DENIED},
      {"rename missing", [&](OsError* e) { return p.Rename(Path("nope"), Path("x"), e); }, true,
       ERROR_FILE_NOT_FOUND},
      {"rename into missing folder",
       [&](OsError* e) { return p.Rename(Path("file"), Path("no\\pe"), e); }, true,
       ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.what);
    OsError err;
    EXPECT_FALSE(c.call(&err));
    EXPECT_EQ(err.notFound, c.notFound);
    EXPECT_EQ(err.code, static_cast<long>(c.code));
    // The system's wording, fit to end a report line.
    EXPECT_FALSE(err.text.empty());
    EXPECT_EQ(err.text.find_first_of("\r\n"), std::string::npos) << err.text;
    EXPECT_NE(err.text.back(), '.') << err.text;
  }
  EXPECT_TRUE(Exists(Path("file"))) << "a failed rename keeps its source";
}

// Names of devices are plain file names to the catalogue set: 'CON.kvl' is written, read,
// linked, renamed and removed as a file and never reaches the console.
TEST_F(Win32PlatformTest, DeviceNamesAreFiles) {
  ASSERT_TRUE(platform_->ChangeFolder(base_));
  for (const std::string name : {"CON.kvl", "NUL.kvl", "COM1.kvl", "aux.kvl.tmp.0123abcd"}) {
    SCOPED_TRACE(name);
    OsError err;
    auto file = platform_->CreateForWriting(name, &err);
    ASSERT_NE(file, nullptr) << err.text;
    ASSERT_TRUE(file->Write("cat", 3, &err)) << err.text;
    ASSERT_TRUE(file->Close(&err)) << err.text;
    auto reader = platform_->OpenForReading(name, &err);
    ASSERT_NE(reader, nullptr) << err.text;
    char buffer[8];
    size_t got = 0;
    ASSERT_TRUE(reader->Read(buffer, sizeof buffer, &got, &err));
    EXPECT_EQ(std::string(buffer, got), "cat");
    reader.reset();
    ASSERT_TRUE(platform_->Link(name, name + ".bak", &err)) << err.text;
    ASSERT_TRUE(platform_->Rename(name + ".bak", "moved", &err)) << err.text;
    EXPECT_EQ(ReadWhole(Path("moved")), "cat");
    ASSERT_TRUE(platform_->Remove(name, &err)) << err.text;
    ASSERT_TRUE(platform_->Remove("moved", &err)) << err.text;
  }
  std::vector<FolderName> names;
  ASSERT_TRUE(platform_->ListFolder(".", &names));
  EXPECT_TRUE(names.empty());
}

// One run per folder: the lock file admits one holder and is gone once it lets go.
TEST_F(Win32PlatformTest, FolderLock) {
  std::unique_ptr<FolderLock> first;
  std::unique_ptr<FolderLock> second;
  OsError err;
  ASSERT_EQ(platform_->TryLockFolder(base_, &first, &err), LockOutcome::Held) << err.text;
  EXPECT_EQ(platform_->TryLockFolder(base_, &second, &err), LockOutcome::Busy) << err.text;
  first.reset();
  EXPECT_FALSE(Exists(Path("LedraCmd.lock")));
  EXPECT_EQ(platform_->TryLockFolder(base_, &second, &err), LockOutcome::Held) << err.text;
  EXPECT_EQ(platform_->TryLockFolder(Path("missing"), &first, &err), LockOutcome::Unsupported);
}

// A folder below the walk's root is listed through its own handle only when it is the
// folder its parent's listing saw.
TEST_F(Win32PlatformTest, FoldersBelowTheRootAreTheOnesListed) {
  ASSERT_NE(CreateDirectoryA(Path("sub").c_str(), nullptr), 0);
  MakeFile(Path("sub\\in-sub"), "x");
  std::unique_ptr<DirSearch> search = platform_->NewDirSearch();
  ASSERT_TRUE(search->Start(base_));
  FileIdentity seen;
  DirItem item;
  while (search->Next(item)) {
    if (item.name == "sub") seen = item.identity;
  }
  OsError err;
  ASSERT_TRUE(search->StartBelow(base_, Path("sub"), seen, &err)) << err.text;
  std::vector<std::string> names;
  while (search->Next(item)) names.push_back(item.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "in-sub"}));

  ASSERT_NE(CreateDirectoryA(Path("other").c_str(), nullptr), 0);
  ASSERT_NE(DeleteFileA(Path("sub\\in-sub").c_str()), 0);
  ASSERT_NE(RemoveDirectoryA(Path("sub").c_str()), 0);
  ASSERT_NE(MoveFileA(Path("other").c_str(), Path("sub").c_str()), 0);
  EXPECT_FALSE(search->StartBelow(base_, Path("sub"), seen, &err));
  EXPECT_EQ(err.text, "it was replaced during the walk");
  EXPECT_FALSE(search->Next(item));
}

TEST_F(Win32PlatformTest, VolumesAnswer) {
  std::string label = "unchanged";
  uint32_t serial = 0;
  EXPECT_TRUE(platform_->VolumeInformation("C:\\", "C:\\", &label, &serial));
  EXPECT_LE(label.size(), 31u);
  EXPECT_EQ(platform_->DriveTypeOf("C:\\"), DriveType::Fixed);

  // A drive letter nothing is mapped to.
  const DWORD drives = GetLogicalDrives();
  char letter = 'Y';
  while (letter > 'D' && (drives & (1u << (letter - 'A'))) != 0) --letter;
  ASSERT_GT(letter, 'D');
  const std::string unmapped = std::string(1, letter) + ":\\";
  label = "unchanged";
  EXPECT_FALSE(platform_->VolumeInformation(unmapped, unmapped, &label, &serial));
  EXPECT_EQ(label, "unchanged");
  EXPECT_EQ(platform_->DriveTypeOf(unmapped), DriveType::NoRootFolder);

  FreeBytes bytes;
  FreeClusters clusters;
  EXPECT_FALSE(platform_->FreeSpaceExtended(unmapped, &bytes));
  EXPECT_FALSE(platform_->FreeSpaceClassic(unmapped, &clusters));
}

TEST_F(Win32PlatformTest, VersionAndFreeSpaceCalls) {
  VersionInfo version;
  ASSERT_TRUE(platform_->Version(&version));
  EXPECT_EQ(version.platformId, 2u) << "Windows NT and its heirs";

  EXPECT_FALSE(platform_->HasProcedure("KERNEL32.DLL", "GetDiskFreeSpaceExA")) << "not loaded yet";
  EXPECT_FALSE(platform_->LoadSystemModule("no-such-module-ledra.dll"));
  ASSERT_TRUE(platform_->LoadSystemModule("KERNEL32.DLL"));
  struct Case {
    std::string module;
    std::string procedure;
    bool found;
  };
  const std::vector<Case> table = {
      {"KERNEL32.DLL", "GetDiskFreeSpaceEx", false},  // the export carries its A or W
      {"KERNEL32.DLL", "GetDiskFreeSpaceExA", true},
      {"kernel32.dll", "GetDiskFreeSpaceA", true},  // the module by another spelling
      {"KERNEL32.DLL", "NoSuchProcedureLedra", false},
      {"USER32.DLL", "MessageBoxA", false},  // a module nobody loaded through the platform
  };
  for (const Case& c : table) {
    EXPECT_EQ(platform_->HasProcedure(c.module, c.procedure), c.found)
        << c.module << " " << c.procedure;
  }

  FreeBytes bytes;
  ASSERT_TRUE(platform_->FreeSpaceExtended(base_, &bytes));
  EXPECT_GT(bytes.total, 0u);
  EXPECT_LE(bytes.totalFree, bytes.total);
  EXPECT_LE(bytes.availableToCaller, bytes.total);
  FreeClusters clusters;
  ASSERT_TRUE(platform_->FreeSpaceClassic("C:\\", &clusters));
  EXPECT_GT(clusters.sectorsPerCluster, 0u);
  EXPECT_GT(clusters.bytesPerSector, 0u);
  EXPECT_LE(clusters.freeClusters, clusters.totalClusters);
}

TEST_F(Win32PlatformTest, PathsAsWindowsWritesThem) {
  EXPECT_EQ(platform_->Separator(), '\\');
  EXPECT_TRUE(platform_->HasDriveLetters());
  // Relative paths are taken from the current folder, here base_ on its drive.
  ASSERT_TRUE(platform_->ChangeFolder(base_));
  const std::string drive = base_.substr(0, 3);
  const std::string below = base_.substr(2);
  struct Case {
    std::string devicePath;
    bool split;
    std::string root;
    std::string remainder;
  };
  const std::vector<Case> table = {
      {"C:\\x", true, "C:\\", "\\x"},
      {"C:", true, "C:\\", ""},
      {"\\\\srv\\pub\\docs\\", true, "\\\\srv\\pub\\", "pub\\docs"},
      {"\\", true, drive, ""},
      {"sub", true, drive, below + "\\sub"},
      {"", false, "", ""},
  };
  for (const Case& c : table) {
    std::string root = "old root";
    std::string remainder = "old remainder";
    EXPECT_EQ(platform_->SplitVolumeRoot(c.devicePath, &root, &remainder), c.split) << c.devicePath;
    if (c.split) {
      EXPECT_EQ(root, c.root) << c.devicePath;
      EXPECT_EQ(remainder, c.remainder) << c.devicePath;
    }
  }
  EXPECT_EQ(platform_->PathBelowVolumeRoot("C:"), "");
  EXPECT_EQ(platform_->PathBelowVolumeRoot("D:\\Data"), "\\Data");
  EXPECT_EQ(platform_->PathBelowVolumeRoot("sub"), below + "\\sub");
}

TEST_F(Win32PlatformTest, StartAndClock) {
  SetErrorMode(0);
  ASSERT_TRUE(platform_->Start());
  const UINT wanted = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
  EXPECT_EQ(GetErrorMode() & wanted, wanted);

  const int64_t before = static_cast<int64_t>(std::time(nullptr));
  const int32_t now = platform_->Now();
  const int64_t after = static_cast<int64_t>(std::time(nullptr));
  EXPECT_GE(now, before - 1);
  EXPECT_LE(now, after + 1);
}

std::wstring WideOf(const std::string& utf8) {
  std::wstring wide(utf8.size(), L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                    &wide[0], static_cast<int>(wide.size()));
  wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return wide;
}

std::string Utf8Of(const std::wstring& wide) {
  std::string text(wide.size() * 3, '\0');
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                    &text[0], static_cast<int>(text.size()), nullptr, nullptr);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

// Makes a folder (`content` null) or a file by its literal name, below a full path.
void MakeLiteral(const std::wstring& path, const char* content) {
  const std::wstring literal = L"\\\\?\\" + path;
  if (content == nullptr) {
    ASSERT_NE(CreateDirectoryW(literal.c_str(), nullptr), 0) << Utf8Of(path);
    return;
  }
  const HANDLE file = CreateFileW(literal.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << Utf8Of(path);
  DWORD written = 0;
  WriteFile(file, content, static_cast<DWORD>(std::strlen(content)), &written, nullptr);
  CloseHandle(file);
}

// Below the walk's root, a folder is the one its listed name names: the system's
// normalisation would trim 'dir.' and 'dir ' to 'dir', and take 'CON' or 'aux.txt' for a
// device.
TEST_F(Win32PlatformTest, FoldersBelowTheRootKeepTheirListedNames) {
  const std::wstring base = WideOf(base_);
  MakeLiteral(base + L"\\dir", nullptr);  // what 'dir.' and 'dir ' would be trimmed to
  MakeLiteral(base + L"\\dir\\wrong", "");
  const std::vector<std::string> names = {"dir.", "dir ", "x..", "CON", "NUL", "COM1", "aux.txt"};
  for (const std::string& name : names) {
    MakeLiteral(base + L"\\" + WideOf(name), nullptr);
    MakeLiteral(base + L"\\" + WideOf(name) + L"\\in-" + WideOf(name), "x");
  }
  std::unique_ptr<DirSearch> search = platform_->NewDirSearch();
  ASSERT_TRUE(search->Start(base_));
  std::map<std::string, FileIdentity> seen;
  DirItem item;
  while (search->Next(item)) seen[item.name] = item.identity;
  for (const std::string& name : names) {
    SCOPED_TRACE("'" + name + "'");
    ASSERT_EQ(seen.count(name), 1u);
    OsError err;
    ASSERT_TRUE(search->StartBelow(base_, Path(name), seen[name], &err)) << err.text;
    std::vector<std::string> listed;
    while (search->Next(item)) listed.push_back(item.name);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{".", "..", "in-" + name}));
  }
}

// A folder below the root that refuses its listing is denied, which a walk passes over in
// silence; it was not replaced. Mode 000 refuses the folder itself; mode 444 lets it be
// opened and refuses the listing.
TEST_F(Win32PlatformTest, UnreadableFolderBelowTheRootIsNotCalledReplaced) {
  if (!UnderWine()) GTEST_SKIP() << "unreadable folders are made through Wine only";
  if (OverridesPermissions()) {
    GTEST_SKIP() << "this process reads any folder (root with CAP_DAC_OVERRIDE); run it "
                    "through cmake/wine-run.sh, which drops that capability";
  }
  for (const std::string mode : {"000", "444"}) {
    SCOPED_TRACE("mode " + mode);
    const std::string name = "locked" + mode;
    ASSERT_NE(CreateDirectoryA(Path(name).c_str(), nullptr), 0);
    MakeFile(Path(name + "\\inside"), "x");
    std::unique_ptr<DirSearch> search = platform_->NewDirSearch();
    ASSERT_TRUE(search->Start(base_));
    FileIdentity seen;
    DirItem item;
    while (search->Next(item)) {
      if (item.name == name) seen = item.identity;
    }
    ASSERT_TRUE(StartUnixCommand(base_, "/bin/chmod " + mode + " " + name));
    ASSERT_TRUE(WaitFor([&] { return !Listable(Path(name)); }));
    OsError err;
    EXPECT_FALSE(search->StartBelow(base_, Path(name), seen, &err));
    EXPECT_TRUE(err.denied) << err.text;
    EXPECT_NE(err.text, "it was replaced during the walk");
    EXPECT_FALSE(search->Next(item));
    ASSERT_TRUE(StartUnixCommand(base_, "/bin/chmod 755 " + name));
    EXPECT_TRUE(WaitFor([&] { return Listable(Path(name)); }));
  }
}

// A root in the '\\?\' form lies on the drive or share it names, which is named as that
// root without the prefix is.
TEST_F(Win32PlatformTest, LongPathRootsLieOnTheirDriveOrShare) {
  struct Case {
    std::string path, root, remainder, below;
  };
  const std::vector<Case> cases = {
      {"\\\\?\\C:\\", "C:\\", "", ""},
      {"\\\\?\\C:\\users", "C:\\", "\\users", "\\users"},
      {"\\\\?\\UNC\\srv\\share\\pub", "\\\\srv\\share\\", "share\\pub", "\\pub"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string root;
    std::string remainder;
    ASSERT_TRUE(platform_->SplitVolumeRoot(c.path, &root, &remainder));
    EXPECT_EQ(root, c.root);
    EXPECT_EQ(remainder, c.remainder);
    EXPECT_EQ(platform_->PathBelowVolumeRoot(platform_->WithoutTrailingSeparator(c.path)), c.below);
  }
  std::string label;
  uint32_t serial = 0;
  std::string longLabel = "unchanged";
  uint32_t longSerial = 1;
  std::string root;
  std::string remainder;
  ASSERT_TRUE(platform_->SplitVolumeRoot("\\\\?\\C:\\", &root, &remainder));
  ASSERT_TRUE(platform_->VolumeInformation("C:\\", "C:\\", &label, &serial));
  ASSERT_TRUE(platform_->VolumeInformation(root, "\\\\?\\C:\\", &longLabel, &longSerial));
  EXPECT_EQ(longLabel, label);
  EXPECT_EQ(longSerial, serial);
}

// Catalogues are found, told apart from folders and mapped whatever their names and the
// length of their paths, with paths in the ANSI code page and in UTF-8 alike.
TEST_F(Win32PlatformTest, CataloguesAreReachedByEveryName) {
  std::wstring deep = WideOf(base_);
  while (deep.size() < 320) {
    deep += L"\\a-folder-with-a-long-name-" + std::to_wstring(deep.size());
    MakeLiteral(deep, nullptr);
  }
  MakeLiteral(deep + L"\\DATA.kvl", "deep");
  for (const char* name : {"CON.kvl", "NUL.kvl", "COM1.kvl", "aux.kvl"}) {
    MakeLiteral(WideOf(Path(name)), name);
  }
  MakeLiteral(WideOf(Path("X.kvl")), nullptr);
  struct Case {
    std::string path;
    std::string content;  // empty: a folder
  };
  const std::string deepPath = Utf8Of(deep);  // ASCII, so in either code page
  const std::vector<Case> cases = {
      {Path("CON.kvl"), "CON.kvl"},
      {Path("NUL.kvl"), "NUL.kvl"},
      {Path("COM1.kvl"), "COM1.kvl"},
      {Path("aux.kvl"), "aux.kvl"},
      {deepPath + "\\DATA.kvl", "deep"},
      {"\\\\?\\" + deepPath + "\\DATA.kvl", "deep"},
      {Path("X.kvl"), ""},
  };
  for (const bool utf8 : {false, true}) {
    std::ostringstream text;
    MessageSink errors(text);
    std::unique_ptr<Platform> platform = NewRealPlatform(errors);
    if (utf8) platform->UseUtf8Paths();
    for (const Case& c : cases) {
      SCOPED_TRACE(c.path + (utf8 ? " (UTF-8 paths)" : ""));
      OsError err;
      std::unique_ptr<MappedFile> mapped = platform->MapForReading(c.path, &err);
      if (c.content.empty()) {
        EXPECT_EQ(platform->KindOf(c.path, true), PathKind::Folder);
        EXPECT_EQ(mapped, nullptr);
        continue;
      }
      EXPECT_EQ(platform->KindOf(c.path, true), PathKind::File);
      ASSERT_NE(mapped, nullptr) << err.text;
      EXPECT_EQ(std::string(mapped->Bytes()), c.content);
    }
    // The deep folder is listed, and its catalogue found by its listed name.
    std::unique_ptr<DirSearch> search = platform->NewDirSearch();
    OsError err;
    ASSERT_TRUE(search->StartOrExplain(deepPath, &err)) << err.text;
    std::vector<std::string> listed;
    DirItem item;
    while (search->Next(item)) listed.push_back(item.name);
    EXPECT_NE(std::find(listed.begin(), listed.end(), "DATA.kvl"), listed.end());
  }
}

// With UTF-8 paths (ledra's), a name the ANSI code page cannot hold is listed as itself and
// names its file; a second byte of '\' is no separator because UTF-8 has none.
TEST_F(Win32PlatformTest, Utf8PathsNameEveryFile) {
  const std::string name = "\xE8\xA1\xA8\xC3\x89t\xC3\xA9";  // 表Été
  MakeLiteral(WideOf(Path(name)), nullptr);
  MakeLiteral(WideOf(Path(name)) + L"\\" + WideOf(name) + L".kvl", "cat");
  std::ostringstream text;
  MessageSink errors(text);
  std::unique_ptr<Platform> platform = NewRealPlatform(errors);
  platform->UseUtf8Paths();
  EXPECT_EQ(platform->LeadBytes()(0x83), false);
  std::unique_ptr<DirSearch> search = platform->NewDirSearch();
  OsError err;
  ASSERT_TRUE(search->StartOrExplain(Path(name), &err)) << err.text;
  std::vector<std::string> listed;
  DirItem item;
  while (search->Next(item)) listed.push_back(item.name);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{".", "..", name + ".kvl"}));
  const std::string file = Path(name) + "\\" + name + ".kvl";
  EXPECT_EQ(platform->KindOf(file, true), PathKind::File);
  std::unique_ptr<MappedFile> mapped = platform->MapForReading(file, &err);
  ASSERT_NE(mapped, nullptr) << err.text;
  EXPECT_EQ(std::string(mapped->Bytes()), "cat");
  EXPECT_EQ(platform->FindCatalogFiles(Path(name)), (std::vector<std::string>{file}));
  ASSERT_TRUE(platform->ChangeFolder(Path(name)));
  std::string current;
  ASSERT_TRUE(platform->CurrentFolder(&current));
  EXPECT_EQ(current, Path(name));
}

// UTF-8 text of a parameter file in the platform's terms: a path that names the real
// folder (read back exactly), and a name as it is stored, '?' for what the code page lacks.
TEST_F(Win32PlatformTest, Utf8TextAsPathsAndStoredNames) {
  const std::string name = "\xE8\xA1\xA8\xC3\x89t\xC3\xA9";  // 表Été, in no code page tested
  MakeLiteral(WideOf(Path(name)), nullptr);
  MakeLiteral(WideOf(Path(name)) + L"\\in", "x");
  const std::string path = platform_->PathFromUtf8(Path(name));
  EXPECT_EQ(platform_->KindOf(path, true), PathKind::Folder);
  EXPECT_EQ(platform_->KindOf(path + "\\in", true), PathKind::File);
  const std::string stored = platform_->NameFromUtf8(name);
  EXPECT_NE(stored.find('?'), std::string::npos) << stored;
  EXPECT_EQ(platform_->NameFromUtf8("plain ASCII \\x*"), "plain ASCII \\x*");
  const std::map<UINT, std::string> cafe = {{1252, "Caf\xE9"}, {932, "Caf?"}, {936, "Caf\xA8\xA6"}};
  if (cafe.count(GetACP()) != 0) {
    EXPECT_EQ(platform_->NameFromUtf8("Caf\xC3\xA9"), cafe.at(GetACP()));
  }
}

}  // namespace
}  // namespace ledra
