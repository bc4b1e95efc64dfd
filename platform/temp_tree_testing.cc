#include "platform/temp_tree_testing.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ledra {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
// Under Wine the tests work below Z:\tmp, whose Unix path is plain to see, so that Unix
// tools can change what Win32 cannot (folder permissions).
const char kShm[] = "Z:\\dev\\shm";

std::string TempBase(TempTreeStorage storage) {
  if (storage == TempTreeStorage::Memory && fs::is_directory(kShm)) return kShm;
  if (fs::is_directory("Z:\\tmp")) return "Z:\\tmp";
  return fs::temp_directory_path().string();
}

// Starts a Unix command from the Win32 side. Wine hands back no process that can be
// waited for, so callers wait for the command's effect instead (WaitFor).
void StartUnixCommand(const std::string& command) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string line = command;
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

template <typename Done>
bool WaitFor(Done done, int seconds) {
  for (int tenths = 0; tenths < seconds * 10; ++tenths) {
    if (done()) return true;
    Sleep(100);
  }
  return done();
}

bool Listable(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

std::string UnixPath(const std::string& path) {
  std::string unix = path.substr(2);  // Z:\tmp\x -> /tmp/x
  for (char& c : unix) {
    if (c == '\\') c = '/';
  }
  return unix;
}
#else
const char kShm[] = "/dev/shm";

std::string TempBase(TempTreeStorage storage) {
  if (storage == TempTreeStorage::Memory && access(kShm, W_OK | X_OK) == 0) return kShm;
  const char* tmp = std::getenv("TMPDIR");
  return tmp != nullptr && *tmp != '\0' ? std::string(tmp) : std::string("/tmp");
}
#endif

void SetFolderMode(const std::string& path, bool readable) {
#ifdef _WIN32
  StartUnixCommand(std::string("/bin/chmod ") + (readable ? "755 " : "000 ") + UnixPath(path));
  // Where this process may read any folder the change never shows: give up after a while.
  WaitFor([&] { return Listable(path) == readable; }, readable ? 10 : 3);
#else
  chmod(path.c_str(), readable ? 0755 : 0);
#endif
}

}  // namespace

char NativeSeparator() {
#ifdef _WIN32
  return '\\';
#else
  return '/';
#endif
}

TempTree::TempTree(TempTreeStorage storage) {
  const std::string base = TempBase(storage);
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate =
        base + NativeSeparator() + "ledra-test-" + std::to_string(random());
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      root_ = candidate;
      inMemory_ = base == kShm;
#ifndef _WIN32
      // Without /dev/shm, root may mount a tmpfs of its own; anyone else stays on the disk.
      if (storage == TempTreeStorage::Memory && !inMemory_ && geteuid() == 0) {
        mounted_ = mount("tmpfs", root_.c_str(), "tmpfs", 0, "mode=0755") == 0;
        inMemory_ = mounted_;
      }
#endif
      return;
    }
  }
  std::fprintf(stderr, "cannot make a temporary folder below %s\n", base.c_str());
  std::abort();
}

TempTree::~TempTree() {
  if (!unreadable_.empty()) SetFolderMode(unreadable_, true);
  std::error_code ec;
#ifdef _WIN32
  StartUnixCommand("/bin/rm -rf " + UnixPath(root_));
  if (WaitFor([&] { return !fs::exists(root_, ec); }, 120)) return;
#else
  if (mounted_) {
    // Unmounting drops the whole tree at once; a lazy unmount when something still holds it.
    if (umount2(root_.c_str(), 0) != 0) umount2(root_.c_str(), MNT_DETACH);
  }
#endif
  fs::remove_all(root_, ec);
}

void TempTree::MakeNumberedFolders(int first, int last) {
#ifdef _WIN32
  // xargs makes them in order, so the last one shows that all are there.
  StartUnixCommand("/bin/sh -c \"cd '" + UnixPath(root_) + "' && seq " + std::to_string(first) +
                   " " + std::to_string(last) + " | xargs mkdir\"");
  std::error_code ec;
  if (WaitFor([&] { return fs::is_directory(Path(std::to_string(last)), ec); }, 300)) return;
#endif
  for (int i = first; i <= last; ++i) fs::create_directory(Path(std::to_string(i)));
}

std::string TempTree::Path(const std::string& relative) const {
  std::string path = root_;
  if (relative.empty()) return path;
  path += NativeSeparator();
  for (char c : relative) path += c == '/' ? NativeSeparator() : c;
  return path;
}

void TempTree::MakeFolder(const std::string& relative) { fs::create_directories(Path(relative)); }

void TempTree::MakeSparseFile(const std::string& relative, uint64_t size) {
  const std::string path = Path(relative);
  fs::create_directories(fs::path(path).parent_path());
  { std::ofstream(path, std::ios::binary); }
  fs::resize_file(path, size);
}

void TempTree::MakeFile(const std::string& relative, const std::string& content) {
  const std::string path = Path(relative);
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

void TempTree::MakeUnreadable(const std::string& relative) {
  unreadable_ = Path(relative);
  SetFolderMode(unreadable_, false);
}

int RerunWithoutPermissionOverride(const std::string& gtestFilter) {
#ifdef _WIN32
  (void)gtestFilter;
  return -1;
#else
  if (geteuid() != 0 || std::getenv("LEDRA_WITHOUT_OVERRIDE") != nullptr) return -1;
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return -1;
  self[n] = '\0';
  const std::string command =
      "LEDRA_WITHOUT_OVERRIDE=1 setpriv --bounding-set=-dac_override,-dac_read_search "
      "--inh-caps=-dac_override,-dac_read_search '" +
      std::string(self) + "' --gtest_filter='" + gtestFilter + "'";
  const int status = std::system(command.c_str());
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
#endif
}

}  // namespace ledra
