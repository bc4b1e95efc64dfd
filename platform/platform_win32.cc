// The Win32 back end of Platform: the ANSI calls of kernel32, and nothing else, so that
// names and paths pass through in the system's ANSI code page exactly as typed.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/path_text.h"
#include "platform/platform.h"

namespace ledra {
namespace {

// Cloud placeholders (folders a sync provider fills on demand) carry a reparse tag of this
// family, one per provider in the 0xF000 bits; they hold real content and are entered.
constexpr DWORD kCloudTagFamilyMask = 0xFFFF0FFFu;
constexpr DWORD kCloudTag = 0x9000001Au;

// Seconds between 1601-01-01 (FILETIME's origin) and 1970-01-01.
constexpr int64_t kFileTimeToUnixSeconds = 11644473600LL;
constexpr uint64_t kFileTimeTicksPerSecond = 10000000ULL;

// The extended free-space call, as kernel32 exports it.
using FreeSpaceExCall = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

// Fills `err` (when given) from a Win32 error code, with the system's own wording.
void FillError(DWORD code, OsError* err) {
  if (err == nullptr) return;
  err->code = static_cast<long>(code);
  err->notFound = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
  err->text.clear();
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  if (length > 0 && text != nullptr) {
    err->text.assign(text, length);
    LocalFree(text);
  }
  // The system's text ends in ".\r\n"; the report puts it at the end of a line of its own.
  while (!err->text.empty() &&
         (err->text.back() == '\r' || err->text.back() == '\n' || err->text.back() == ' ')) {
    err->text.pop_back();
  }
  if (!err->text.empty() && err->text.back() == '.') err->text.pop_back();
  if (err->text.empty()) err->text = "system error " + std::to_string(code);
}

void FillLastError(OsError* err) { FillError(GetLastError(), err); }

// The seconds since 1970 of a FILETIME, clamped to 32 bits.
int32_t UnixSeconds(const FILETIME& time) {
  const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return ClampTime(static_cast<int64_t>(ticks / kFileTimeTicksPerSecond) - kFileTimeToUnixSeconds);
}

// Owns a kernel handle of an open file.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() { Close(); }

  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }
  // Closes the handle; false (with GetLastError set) when closing failed.
  bool Close() {
    if (!Valid()) return true;
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

// Owns a search handle of FindFirstFileA.
class FindHandle {
 public:
  FindHandle() = default;
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  ~FindHandle() { Reset(); }

  // Starts a search for `pattern`; false when nothing matches or the folder is unreadable.
  bool First(const std::string& pattern, WIN32_FIND_DATAA* data) {
    Reset();
    handle_ = FindFirstFileA(pattern.c_str(), data);
    return handle_ != INVALID_HANDLE_VALUE;
  }
  bool Next(WIN32_FIND_DATAA* data) {
    return handle_ != INVALID_HANDLE_VALUE && FindNextFileA(handle_, data) != 0;
  }
  void Reset() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Junctions, directory links and mounted folders are reparse points: entering them would
// walk other volumes or run in circles ('Application Data' on a system drive), so they
// are recorded but not entered. Cloud placeholders are ordinary folders to the walk.
bool Enterable(const WIN32_FIND_DATAA& data) {
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
  return (data.dwReserved0 & kCloudTagFamilyMask) == kCloudTag;
}

class Win32DirSearch : public DirSearch {
 public:
  bool Start(const std::string& folder) override {
    pending_ = find_.First(folder + "\\*", &data_);
    return pending_;
  }

  bool Next(DirItem& item) override {
    if (!pending_) return false;
    item.name = data_.cFileName;
    item.isFolder = (data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    item.enterable = !item.isFolder || Enterable(data_);
    item.modified = UnixSeconds(data_.ftLastWriteTime);
    item.size = (uint64_t{data_.nFileSizeHigh} << 32) | data_.nFileSizeLow;
    pending_ = find_.Next(&data_);
    if (!pending_) find_.Reset();
    return true;
  }

 private:
  FindHandle find_;
  WIN32_FIND_DATAA data_{};
  bool pending_ = false;  // data_ holds an item not yet handed out
};

class Win32File : public File {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}

  bool Read(void* buffer, size_t n, size_t* got, OsError* err) override {
    *got = 0;
    if (IsClosed(err)) return false;
    // One call reads at most what a DWORD counts; the caller asks again for the rest.
    const DWORD wanted = static_cast<DWORD>(n < kMaxChunk ? n : kMaxChunk);
    DWORD read = 0;
    if (ReadFile(handle_.Get(), buffer, wanted, &read, nullptr) == 0) {
      FillLastError(err);
      return false;
    }
    *got = read;
    return true;
  }

  bool Write(const void* buffer, size_t n, OsError* err) override {
    if (IsClosed(err)) return false;
    const char* bytes = static_cast<const char*>(buffer);
    while (n > 0) {
      const DWORD chunk = static_cast<DWORD>(n < kMaxChunk ? n : kMaxChunk);
      DWORD written = 0;
      if (WriteFile(handle_.Get(), bytes, chunk, &written, nullptr) == 0) {
        FillLastError(err);
        return false;
      }
      if (written == 0) {
        // A call that succeeds without progress would loop for ever.
        FillError(ERROR_WRITE_FAULT, err);
        return false;
      }
      bytes += written;
      n -= written;
    }
    return true;
  }

  bool Sync(OsError* err) override {
    if (IsClosed(err)) return false;
    if (FlushFileBuffers(handle_.Get()) == 0) {
      FillLastError(err);
      return false;
    }
    return true;
  }

  bool Close(OsError* err) override {
    if (!handle_.Close()) {
      FillLastError(err);
      return false;
    }
    return true;
  }

 private:
  static constexpr size_t kMaxChunk = 1u << 30;

  // A closed file's handle value would name the current process to the system.
  bool IsClosed(OsError* err) const {
    if (handle_.Valid()) return false;
    FillError(ERROR_INVALID_HANDLE, err);
    return true;
  }

  FileHandle handle_;
};

// Calls a Win32 function of the form `DWORD f(DWORD size, char* buffer)` that answers the
// length it needs when the buffer is too small, until the whole text fits.
template <typename Call>
bool ReadSizedText(Call call, std::string* text) {
  std::vector<char> buffer(MAX_PATH + 1);
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD length = call(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return false;
    if (length < buffer.size()) {
      text->assign(buffer.data(), length);
      return true;
    }
    buffer.resize(static_cast<size_t>(length) + 1);  // it changed meanwhile, or was too long
  }
  return false;
}

class Win32Platform : public Platform {
 public:
  explicit Win32Platform(MessageSink& errors) : Platform(errors) {}

  ~Win32Platform() override {
    for (auto& module : modules_) FreeLibrary(module.second);
  }

  bool Start() override {
    // An empty removable drive must never raise a box that blocks a scheduled run.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    return true;
  }

  char Separator() const override { return '\\'; }

  bool CurrentFolder(std::string* folder) override {
    return ReadSizedText(
        [](DWORD size, char* buffer) { return GetCurrentDirectoryA(size, buffer); }, folder);
  }

  bool ChangeFolder(const std::string& folder) override {
    return SetCurrentDirectoryA(folder.c_str()) != 0;
  }

  bool AbsolutePath(const std::string& path, std::string* absolute) override {
    if (path.empty()) return false;
    return ReadSizedText(
        [&path](DWORD size, char* buffer) {
          return GetFullPathNameA(path.c_str(), size, buffer, nullptr);
        },
        absolute);
  }

  bool SplitVolumeRoot(const std::string& devicePath, std::string* root,
                       std::string* remainder) override {
    std::string foundRoot;
    std::string foundRemainder;
    SplitRoot(devicePath, &foundRoot, &foundRemainder);
    if (foundRoot.empty()) return false;
    *root = foundRoot;
    *remainder = foundRemainder;
    return true;
  }

  std::string PathBelowVolumeRoot(const std::string& normalisedRoot) override {
    return RootPathRule(normalisedRoot);
  }

  bool HasDriveLetters() const override { return true; }

  std::unique_ptr<DirSearch> NewDirSearch() override { return std::make_unique<Win32DirSearch>(); }

  std::vector<std::string> FindCatalogFiles(const std::string& folder) override {
    std::vector<std::string> paths;
    FindHandle find;
    WIN32_FIND_DATAA data{};
    if (!find.First(folder + "\\*.kvl", &data)) return paths;
    do {
      paths.push_back(folder + '\\' + data.cFileName);
    } while (find.Next(&data));
    return paths;
  }

  bool NameExists(const std::string& name) override {
    if (name.empty()) return false;
    FindHandle find;
    WIN32_FIND_DATAA data{};
    return find.First(name, &data);
  }

  bool VolumeInformation(const std::string& root, const std::string& /*devicePath*/,
                         std::string* label, uint32_t* serial) override {
    // A label of 32 characters or more does not fit and leaves the volume unidentified.
    char labelBuffer[32] = {};
    char fileSystem[80] = {};
    DWORD serialNumber = 0;
    DWORD maxComponent = 0;
    DWORD flags = 0;
    if (GetVolumeInformationA(root.c_str(), labelBuffer, sizeof labelBuffer, &serialNumber,
                              &maxComponent, &flags, fileSystem, sizeof fileSystem) == 0) {
      return false;
    }
    labelBuffer[sizeof labelBuffer - 1] = '\0';
    *label = labelBuffer;
    *serial = serialNumber;
    return true;
  }

  DriveType DriveTypeOf(const std::string& root) override {
    const UINT type = GetDriveTypeA(root.c_str());
    if (type > static_cast<UINT>(DriveType::RamDisk)) return DriveType::Unknown;
    return static_cast<DriveType>(type);
  }

  bool Version(VersionInfo* info) override {
    OSVERSIONINFOA version{};
    static_assert(sizeof version == 148, "the version record the system defines");
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const BOOL ok = GetVersionExA(&version);
#pragma GCC diagnostic pop
    if (ok == 0) return false;
    info->platformId = version.dwPlatformId;
    info->build = version.dwBuildNumber;
    return true;
  }

  bool LoadSystemModule(const std::string& module) override {
    if (modules_.count(ModuleKey(module)) != 0) return true;
    const HMODULE handle = LoadLibraryA(module.c_str());
    if (handle == nullptr) return false;
    modules_[ModuleKey(module)] = handle;  // stays loaded for the run
    return true;
  }

  bool HasProcedure(const std::string& module, const std::string& name) override {
    const auto found = modules_.find(ModuleKey(module));
    if (found == modules_.end()) return false;
    const FARPROC procedure = GetProcAddress(found->second, name.c_str());
    if (procedure == nullptr) return false;
    // The extended free-space call is used under whichever name it was found.
    if (name == "GetDiskFreeSpaceEx" || name == "GetDiskFreeSpaceExA") {
      freeSpaceEx_ = reinterpret_cast<FreeSpaceExCall>(reinterpret_cast<void (*)()>(procedure));
    }
    return true;
  }

  bool FreeSpaceExtended(const std::string& path, FreeBytes* bytes) override {
    const FreeSpaceExCall call = freeSpaceEx_ != nullptr ? freeSpaceEx_ : GetDiskFreeSpaceExA;
    ULARGE_INTEGER available{};
    ULARGE_INTEGER total{};
    ULARGE_INTEGER totalFree{};
    if (call(path.c_str(), &available, &total, &totalFree) == 0) return false;
    bytes->availableToCaller = available.QuadPart;
    bytes->total = total.QuadPart;
    bytes->totalFree = totalFree.QuadPart;
    return true;
  }

  bool FreeSpaceClassic(const std::string& path, FreeClusters* clusters) override {
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD totalClusters = 0;
    if (GetDiskFreeSpaceA(path.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                          &totalClusters) == 0) {
      return false;
    }
    clusters->sectorsPerCluster = sectorsPerCluster;
    clusters->bytesPerSector = bytesPerSector;
    clusters->freeClusters = freeClusters;
    clusters->totalClusters = totalClusters;
    return true;
  }

  std::unique_ptr<File> OpenForReading(const std::string& path, OsError* err) override {
    return Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, err);
  }

  std::unique_ptr<File> CreateForWriting(const std::string& path, OsError* err) override {
    return Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS, err);
  }

  bool Remove(const std::string& path, OsError* err) override {
    if (DeleteFileA(path.c_str()) == 0) {
      FillLastError(err);
      return false;
    }
    return true;
  }

  bool Rename(const std::string& from, const std::string& to, OsError* err) override {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
      FillLastError(err);
      return false;
    }
    return true;
  }

  int32_t Now() override {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return UnixSeconds(now);
  }

  // _isatty is true for NUL as well; only a console answers GetConsoleMode.
  bool ErrorStreamIsTerminal(int* columns) override {
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || GetConsoleMode(handle, &mode) == 0) {
      return false;
    }
    CONSOLE_SCREEN_BUFFER_INFO info{};
    *columns = GetConsoleScreenBufferInfo(handle, &info) != 0
                   ? info.srWindow.Right - info.srWindow.Left + 1
                   : 0;
    return true;
  }

 private:
  // Module names are compared as Windows does, without regard to ASCII case.
  static std::string ModuleKey(std::string module) {
    for (char& c : module) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return module;
  }

  static std::unique_ptr<File> Open(const std::string& path, DWORD access, DWORD share,
                                    DWORD disposition, OsError* err) {
    const HANDLE handle = CreateFileA(path.c_str(), access, share, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      FillLastError(err);
      return nullptr;
    }
    return std::make_unique<Win32File>(handle);
  }

  std::map<std::string, HMODULE> modules_;
  FreeSpaceExCall freeSpaceEx_ = nullptr;
};

}  // namespace

std::unique_ptr<Platform> NewRealPlatform(MessageSink& errors) {
  return std::make_unique<Win32Platform>(errors);
}

namespace {

// A view of a whole file. Both handles are closed as soon as the view exists, and the file
// is opened with FILE_SHARE_DELETE: while a view is held LedraCmd can still move the file
// to its backup, and once the view is released nothing of the reader remains.
class Win32MappedFile final : public MappedFile {
 public:
  Win32MappedFile(const void* view, size_t size) : view_(view), size_(size) {}
  ~Win32MappedFile() override { UnmapViewOfFile(view_); }
  std::string_view Bytes() const override {
    return std::string_view(static_cast<const char*>(view_), size_);
  }

 private:
  const void* view_;
  size_t size_;
};

}  // namespace

std::unique_ptr<MappedFile> MapRegularFile(const std::string& path, OsError* err) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                              nullptr));
  if (!file.Valid()) {
    FillLastError(err);
    return nullptr;
  }
  if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
    FillError(ERROR_INVALID_FUNCTION, err);
    if (err != nullptr) err->text = "not a regular file";
    return nullptr;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size)) {
    FillLastError(err);
    return nullptr;
  }
  if (size.QuadPart == 0) return std::make_unique<HeldFile>(std::string());
  const HANDLE mapping = CreateFileMappingA(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) {
    FillLastError(err);
    return nullptr;
  }
  FileHandle mappingHandle(mapping);
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) {
    FillLastError(err);
    return nullptr;
  }
  return std::make_unique<Win32MappedFile>(view, static_cast<size_t>(size.QuadPart));
}

}  // namespace ledra
