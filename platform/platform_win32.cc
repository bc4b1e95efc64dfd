// The Win32 back end of Platform, on kernel32 alone. Names and paths reach the core as
// bytes in the system's ANSI code page; files and folders are reached through the wide
// calls with full '\\?\' paths (wide_path_win32.h), so that neither a name the code page
// cannot hold nor a path of 260 characters and more loses anything below it.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// For standard output's mode, which the C library keeps.
#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/byte_text.h"
#include "platform/path_text.h"
#include "platform/platform.h"
#include "platform/stdio_output.h"
#include "platform/wide_path_win32.h"

namespace ledra {
namespace {

FileFacts FactsFromInformation(const BY_HANDLE_FILE_INFORMATION& info) {
  FileFacts facts;
  facts.identity.volume = info.dwVolumeSerialNumber;
  facts.identity.file = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  facts.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  // FILETIME counts 100 ns from 1601.
  const uint64_t ticks = (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                         info.ftLastWriteTime.dwLowDateTime;
  facts.modifiedNanoseconds = (static_cast<int64_t>(ticks) - 116444736000000000LL) * 100;
  return facts;
}

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
  err->denied = code == ERROR_ACCESS_DENIED;
  err->notRegular = false;
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

// A view of the whole plain file at `system` (a path as SystemFilePath gives it).
std::unique_ptr<MappedFile> MapWideFile(const std::wstring& system, OsError* err);

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
  // Takes over another handle, closing the one held.
  void Reset(HANDLE handle) {
    Close();
    handle_ = handle;
  }
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

// Owns a search handle of FindFirstFileW.
class FindHandle {
 public:
  FindHandle() = default;
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  ~FindHandle() { Reset(); }

  // Starts a search for `pattern` (a path the system takes as it is); false when nothing
  // matches or the folder is unreadable.
  bool First(const std::wstring& pattern, WIN32_FIND_DATAW* data) {
    Reset();
    handle_ = FindFirstFileW(pattern.c_str(), data);
    return handle_ != INVALID_HANDLE_VALUE;
  }
  // Starts a search in `folder` (core path text) for the names `pattern` matches.
  bool FirstIn(const std::string& folder, const wchar_t* pattern, WIN32_FIND_DATAW* data,
               unsigned codePage) {
    Reset();
    std::wstring system;
    // 'C:' lists the root of C:, not the drive's current folder.
    if (!SystemPath(folder + "\\", &system, codePage)) return false;
    if (!system.empty() && system.back() != L'\\') system += L'\\';
    return First(system + pattern, data);
  }
  bool Next(WIN32_FIND_DATAW* data) {
    return handle_ != INVALID_HANDLE_VALUE && FindNextFileW(handle_, data) != 0;
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
bool Enterable(DWORD attributes, DWORD reparseTag) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
  return (reparseTag & kCloudTagFamilyMask) == kCloudTag;
}

bool Replaced(OsError* err) {
  if (err != nullptr) {
    *err = OsError{};
    err->code = ERROR_CANT_ACCESS_FILE;
    err->text = "it was replaced during the walk";
  }
  return false;
}

// Lists a folder through a handle of the folder itself, so that what is listed is the
// object that was opened and checked, and every item comes with its file ID.
class Win32DirSearch : public DirSearch {
 public:
  explicit Win32DirSearch(unsigned codePage) : buffer_(kBufferSize), codePage_(codePage) {}

  bool Start(const std::string& folder) override {
    std::wstring system;
    return SystemPath(folder + "\\", &system, codePage_) &&
           Open(system, FILE_FLAG_BACKUP_SEMANTICS, nullptr, nullptr);
  }

  bool StartOrExplain(const std::string& folder, OsError* err) override {
    *err = OsError{};
    std::wstring system;
    if (!SystemPath(folder + "\\", &system, codePage_)) {
      FillLastError(err);
    } else if (Open(system, FILE_FLAG_BACKUP_SEMANTICS, nullptr, err)) {
      return true;
    }
    if (err->text.empty()) err->text = "it cannot be listed";
    return false;
  }

  // The root was normalised when the walk began; below it, names are joined as listed.
  bool StartBelow(const std::string& root, const std::string& folder, const FileIdentity& expected,
                  OsError* err) override {
    std::wstring system;
    if (!SystemPathBelow(root, folder, &system, codePage_)) {
      FillLastError(err);
      return false;
    }
    return Open(system, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, &expected, err);
  }

  bool Next(DirItem& item) override {
    if (!pending_) return false;
    const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer_.data() + offset_);
    const std::wstring name(info->FileName, info->FileNameLength / sizeof(WCHAR));
    bool lossy = false;
    item.name = StoredName(name, &lossy, codePage_);
    item.pathName = lossy ? PathText(name, codePage_) : std::string();
    item.isFolder = (info->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // With the reparse-point attribute, the listing's EA size holds the reparse tag.
    item.enterable = !item.isFolder || Enterable(info->FileAttributes, info->EaSize);
    FILETIME written;
    written.dwLowDateTime = static_cast<DWORD>(info->LastWriteTime.QuadPart);
    written.dwHighDateTime = static_cast<DWORD>(info->LastWriteTime.QuadPart >> 32);
    item.modified = UnixSeconds(written);
    // The whole size; only a version-5 catalogue clamps it, and from all 64 bits.
    item.size = static_cast<uint64_t>(info->EndOfFile.QuadPart);
    // Folders with other volumes behind them are reparse points and never entered, so the
    // file ID alone names a folder of the walk.
    item.identity.file = static_cast<uint64_t>(info->FileId.QuadPart);
    if (info->NextEntryOffset != 0) {
      offset_ += info->NextEntryOffset;
    } else {
      pending_ = Fill();
    }
    return true;
  }

 private:
  static constexpr size_t kBufferSize = 64 * 1024;

  // Opens and starts listing `system`, a path as SystemPath gives it. With `expected`, the
  // folder must be that very object, and a folder that is not (a link, a junction, another
  // folder in its place) is reported as replaced; one that is but cannot be listed fails
  // with the listing's own error (err->denied for permission).
  bool Open(const std::wstring& system, DWORD flags, const FileIdentity* expected, OsError* err) {
    pending_ = false;
    folder_.Close();
    const HANDLE handle = CreateFileW(system.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      FillLastError(err);
      return false;
    }
    folder_.Reset(handle);
    FILE_ATTRIBUTE_TAG_INFO own{};
    if (expected != nullptr &&
        GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &own, sizeof own) == 0) {
      FillLastError(err);
      folder_.Close();
      return false;
    }
    if (expected != nullptr && ((own.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
                                !Enterable(own.FileAttributes, own.ReparseTag))) {
      // A link or junction where the listing saw a folder to enter.
      folder_.Close();
      return Replaced(err);
    }
    pending_ = Fill();
    const DWORD listingError = pending_ ? ERROR_SUCCESS : GetLastError();
    // A folder that refuses its listing (no permission to read it) lists nothing of
    // another folder either: it fails with its own error, which for permission the walk
    // passes over in silence. Only a folder listed is checked for being the one expected.
    if (expected != nullptr && pending_) {
      if (OwnId() != expected->file) {
        pending_ = false;
        folder_.Close();
        return Replaced(err);
      }
    }
    if (!pending_ && err != nullptr) {
      if (listingError == ERROR_NO_MORE_FILES || listingError == ERROR_SUCCESS) {
        *err = OsError{};
      } else {
        FillError(listingError, err);
      }
    }
    return pending_;
  }

  // The file ID of the open folder itself: its '.' item, which leads its listing, costs
  // nothing more; otherwise the system is asked (which under Wine costs a volume query).
  uint64_t OwnId() {
    const auto* first = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer_.data());
    if (pending_ && first->FileNameLength == sizeof(WCHAR) && first->FileName[0] == L'.') {
      return static_cast<uint64_t>(first->FileId.QuadPart);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!folder_.Valid() || GetFileInformationByHandle(folder_.Get(), &info) == 0) return 0;
    return (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  }

  // Fetches the next batch of items; false at the end of the listing or on an error, with
  // GetLastError telling which.
  bool Fill() {
    offset_ = 0;
    if (!folder_.Valid()) {
      SetLastError(ERROR_NO_MORE_FILES);
      return false;
    }
    if (GetFileInformationByHandleEx(folder_.Get(), FileIdBothDirectoryInfo, buffer_.data(),
                                     static_cast<DWORD>(buffer_.size())) == 0) {
      const DWORD code = GetLastError();
      folder_.Close();
      SetLastError(code);
      return false;
    }
    return true;
  }

  FileHandle folder_{INVALID_HANDLE_VALUE};
  std::vector<char> buffer_;  // heap memory: aligned as the system's records need
  size_t offset_ = 0;
  bool pending_ = false;  // buffer_ holds an item at offset_ not yet handed out
  unsigned codePage_;
};

class Win32File : public File {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}
  HANDLE handle() const { return handle_.Get(); }

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

class Win32FolderLock : public FolderLock {
 public:
  explicit Win32FolderLock(HANDLE handle) : handle_(handle) {}

 private:
  FileHandle handle_;
};

// Calls a Win32 function of the form `DWORD f(DWORD size, wchar_t* buffer)` that answers
// the length it needs when the buffer is too small, until the whole text fits.
template <typename Call>
bool ReadSizedText(Call call, std::wstring* text) {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
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

  // UTF-8 paths have no byte of '\\' inside a character.
  LeadByteTest LeadBytes() const override {
    return codePage_ == kUtf8CodePage ? NoLeadBytes : IsAnsiLeadByte;
  }

  void UseUtf8Paths() override { codePage_ = kUtf8CodePage; }

  std::string PathFromUtf8(const std::string& text) override {
    return codePage_ == kUtf8CodePage ? text : PathText(FromUtf8(text), codePage_);
  }

  std::string NameFromUtf8(const std::string& text) override {
    return codePage_ == kUtf8CodePage ? text : StoredName(FromUtf8(text));
  }

  bool CurrentFolder(std::string* folder) override {
    std::wstring current;
    if (!ReadSizedText(
            [](DWORD size, wchar_t* buffer) { return GetCurrentDirectoryW(size, buffer); },
            &current)) {
      return false;
    }
    *folder = PathText(current, codePage_);
    return true;
  }

  bool ChangeFolder(const std::string& folder) override {
    return !folder.empty() && SetCurrentDirectoryW(WidePath(folder, codePage_).c_str()) != 0;
  }

  bool AbsolutePath(const std::string& path, std::string* absolute) override {
    std::wstring full;
    if (!FullWidePath(WidePath(path, codePage_), &full)) return false;
    *absolute = PathText(full, codePage_);
    return true;
  }

  bool SplitVolumeRoot(const std::string& devicePath, std::string* root,
                       std::string* remainder) override {
    std::string foundRoot;
    std::string foundRemainder;
    // '\\?\D:\x' lies on D:\ and '\\?\UNC\srv\share\x' on \\srv\share\, named as
    // those roots are.
    SplitRoot(WithoutLongPathPrefix(Resolved(devicePath)), &foundRoot, &foundRemainder,
              LeadBytes());
    if (foundRoot.empty()) return false;
    *root = foundRoot;
    *remainder = foundRemainder;
    return true;
  }

  std::string PathBelowVolumeRoot(const std::string& normalisedRoot) override {
    // Stored in the catalogue: a name the code page lacks has its '?', as listed names do.
    return StoredPath(RootPathRule(
        WithoutTrailingSeparator(WithoutLongPathPrefix(Resolved(normalisedRoot))), LeadBytes()));
  }

  bool HasDriveLetters() const override { return true; }

  std::unique_ptr<DirSearch> NewDirSearch() override {
    return std::make_unique<Win32DirSearch>(codePage_);
  }

  std::vector<std::string> FindCatalogFiles(const std::string& folder) override {
    std::vector<std::string> paths;
    FindHandle find;
    WIN32_FIND_DATAW data{};
    if (!find.FirstIn(folder, L"*.kvl", &data, codePage_)) return paths;
    do {
      paths.push_back(folder + '\\' + PathText(data.cFileName, codePage_));
    } while (find.Next(&data));
    return paths;
  }

  // By the \\?\ form, so that 'CON.kvl' is looked for as a file of that name.
  bool NameExists(const std::string& name) override {
    std::wstring system;
    if (name.empty() || !SystemFilePath(name, &system, codePage_)) return false;
    FindHandle find;
    WIN32_FIND_DATAW data{};
    return find.First(system, &data);
  }

  bool ListFolder(const std::string& folder, std::vector<FolderName>* names) override {
    names->clear();
    FindHandle find;
    WIN32_FIND_DATAW data{};
    if (!find.FirstIn(folder, L"*", &data, codePage_))
      return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
      const std::string name = PathText(data.cFileName, codePage_);
      if (name == "." || name == "..") continue;
      const DWORD notPlain =
          FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
      names->push_back(FolderName{name, (data.dwFileAttributes & notPlain) == 0});
    } while (find.Next(&data));
    return true;
  }

  bool VolumeInformation(const std::string& root, const std::string& /*devicePath*/,
                         std::string* label, uint32_t* serial) override {
    wchar_t labelBuffer[MAX_PATH + 1] = {};
    wchar_t fileSystem[MAX_PATH + 1] = {};
    DWORD serialNumber = 0;
    DWORD maxComponent = 0;
    DWORD flags = 0;
    if (GetVolumeInformationW(WidePath(root, codePage_).c_str(), labelBuffer, MAX_PATH + 1,
                              &serialNumber, &maxComponent, &flags, fileSystem,
                              MAX_PATH + 1) == 0) {
      return false;
    }
    // A catalogue keeps 31 bytes of a label, as on Linux: NTFS allows 32 characters, and
    // 16 Japanese ones already take 32 bytes. Refusing the label would leave the volume
    // unrecognised from run to run.
    *label = CutAtCharacter(StoredName(labelBuffer), kLabelLimit, LeadBytes());
    *serial = serialNumber;
    return true;
  }

  DriveType DriveTypeOf(const std::string& root) override {
    const UINT type = GetDriveTypeW(WidePath(root, codePage_).c_str());
    if (type > static_cast<UINT>(DriveType::RamDisk)) return DriveType::Unknown;
    return static_cast<DriveType>(type);
  }

  bool ListingsWait(const std::string& root) override {
    std::string volumeRoot;
    std::string remainder;
    return SplitVolumeRoot(root, &volumeRoot, &remainder) &&
           DriveTypeOf(volumeRoot) == DriveType::Remote;
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

  // By the \\?\ form, so that 'COM1.kvl' or 'NUL.kvl' name no device; a reparse point
  // is opened as itself, and only what the system calls a disk file is read.
  std::unique_ptr<File> OpenForReading(const std::string& path, OsError* err) override {
    std::wstring full;
    if (!SystemFilePath(path, &full, codePage_)) {
      FillLastError(err);
      return nullptr;
    }
    const DWORD attributes = GetFileAttributesW(full.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
      NotRegular(err);
      return nullptr;
    }
    std::unique_ptr<Win32File> file =
        Open(full, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
             OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, err);
    if (file && GetFileType(file->handle()) != FILE_TYPE_DISK) {
      NotRegular(err);
      return nullptr;
    }
    return file;
  }

  std::unique_ptr<MappedFile> MapForReading(const std::string& path, OsError* err) override {
    std::wstring system;
    if (!SystemFilePath(path, &system, codePage_)) {
      FillLastError(err);
      return nullptr;
    }
    return MapWideFile(system, err);
  }

  std::unique_ptr<File> OpenParameterFile(const std::string& path, OsError* err) override {
    return Open(WidePath(path, codePage_), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                OPEN_EXISTING, 0, err);
  }

  // CREATE_NEW: never an existing file, nor whatever a link of that name points to.
  std::unique_ptr<File> CreateForWriting(const std::string& path, OsError* err) override {
    std::wstring system;
    if (!SystemFilePath(path, &system, codePage_)) {
      FillLastError(err);
      return nullptr;
    }
    return Open(system, GENERIC_WRITE, 0, CREATE_NEW, 0, err);
  }

  // As the C library's "wb": an existing file is emptied, a link followed, and a device name
  // ('NUL', 'CON') names the device.
  bool Remove(const std::string& path, OsError* err) override {
    std::wstring system;
    if (!SystemFilePath(path, &system, codePage_) || DeleteFileW(system.c_str()) == 0) {
      FillLastError(err);
      return false;
    }
    return true;
  }

  // A catalogue that a reader holds open may refuse to be replaced for a moment.
  bool Rename(const std::string& from, const std::string& to, OsError* err) override {
    std::wstring source;
    std::wstring target;
    if (!SystemFilePath(from, &source, codePage_) || !SystemFilePath(to, &target, codePage_)) {
      FillLastError(err);
      return false;
    }
    for (int attempt = 1;; ++attempt) {
      if (MoveFileExW(source.c_str(), target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
        return true;
      }
      const DWORD code = GetLastError();
      const DWORD targetAttributes = GetFileAttributesW(target.c_str());
      const bool held = (code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED) &&
                        (targetAttributes == INVALID_FILE_ATTRIBUTES ||
                         (targetAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0);
      if (!held || attempt == kRenameAttempts) {
        FillError(code, err);
        return false;
      }
      Sleep(kRenamePauseMilliseconds);
    }
  }

  bool Link(const std::string& existing, const std::string& link, OsError* err) override {
    std::wstring existingPath;
    std::wstring linkPath;
    if (!SystemFilePath(existing, &existingPath, codePage_) ||
        !SystemFilePath(link, &linkPath, codePage_) ||
        CreateHardLinkW(linkPath.c_str(), existingPath.c_str(), nullptr) == 0) {
      FillLastError(err);
      return false;
    }
    return true;
  }

  // MOVEFILE_WRITE_THROUGH has already put each rename on the disk.
  bool SyncFolder(const std::string&, OsError*) override { return true; }

  // A lock file that no other run may open and that goes with the last handle to it, so
  // that a killed run's lock goes with its process.
  LockOutcome TryLockFolder(const std::string& folder, std::unique_ptr<FolderLock>* lock,
                            OsError* err) override {
    std::wstring path;
    const HANDLE handle =
        SystemFilePath(folder + "\\" + kLockFileName, &path, codePage_)
            ? CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr)
            : INVALID_HANDLE_VALUE;
    if (handle != INVALID_HANDLE_VALUE) {
      *lock = std::make_unique<Win32FolderLock>(handle);
      return LockOutcome::Held;
    }
    const DWORD code = GetLastError();
    FillError(code, err);
    // Access is also refused while the lock file of a run that just ended is deleted.
    if (code == ERROR_SHARING_VIOLATION ||
        (code == ERROR_ACCESS_DENIED &&
         GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)) {
      return LockOutcome::Busy;
    }
    return LockOutcome::Unsupported;
  }

  // The current folder holds an open handle that refuses renaming and removal while the
  // run lasts, so the folder entered is the folder used.
  bool EnterWorkingFolder(const std::string& folder, std::string* why) override {
    if (!folder.empty() && SetCurrentDirectoryW(WidePath(folder, codePage_).c_str()) != 0) {
      return true;
    }
    OsError err;
    FillLastError(&err);
    *why = "cannot open the folder '" + EscapeControls(folder) + "': " + err.text;
    return false;
  }

  int32_t Now() override {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return UnixSeconds(now);
  }

  void Pause(int milliseconds) override { Sleep(static_cast<DWORD>(milliseconds)); }

  // _isatty is true for NUL as well; only a console answers GetConsoleMode.
  bool ErrorStreamIsTerminal(int* columns) override {
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    if (!IsConsole(handle)) return false;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    *columns = GetConsoleScreenBufferInfo(handle, &info) != 0
                   ? info.srWindow.Right - info.srWindow.Left + 1
                   : 0;
    return true;
  }

  bool OutputStreamIsTerminal() override { return IsConsole(GetStdHandle(STD_OUTPUT_HANDLE)); }

  // Binary mode: the C library would otherwise write each '\n' as CRLF, and CSV already
  // ends its lines in CRLF.
  std::unique_ptr<StandardOutput> OpenStandardOutput() override {
    _setmode(_fileno(stdout), _O_BINARY);
    return NewStdioOutput();
  }

  std::unique_ptr<NameDecoder> NewCodePageDecoder(const std::string& codePage,
                                                  std::string* error) override {
    return NewSystemCodePageDecoder(codePage, error);
  }

  bool FactsOf(const std::string& path, FileFacts* facts, OsError* err) override {
    std::wstring system;
    if (!SystemFilePath(path, &system, codePage_)) {
      FillLastError(err);
      return false;
    }
    const HANDLE handle =
        CreateFileW(system.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      FillLastError(err);
      return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    const DWORD type = GetFileType(handle);
    if (!known) FillLastError(err);
    CloseHandle(handle);
    if (!known) return false;
    if (type != FILE_TYPE_DISK || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return NotRegular(err);
    }
    *facts = FactsFromInformation(info);
    return true;
  }

  bool MakeFolder(const std::string& path, OsError* err) override {
    std::wstring system;
    if (!SystemFilePath(path, &system, codePage_)) {
      FillLastError(err);
      return false;
    }
    if (CreateDirectoryW(system.c_str(), nullptr) != 0) return true;
    const DWORD code = GetLastError();
    const DWORD attributes = GetFileAttributesW(system.c_str());
    if (code == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return true;
    }
    FillError(code, err);
    return false;
  }

  bool EnvironmentValue(const std::string& name, std::string* value) override {
    if (codePage_ == kUtf8CodePage) {
      const std::wstring wideName = FromUtf8(name);
      std::wstring text;
      if (!ReadSizedText(
              [&wideName](DWORD size, wchar_t* buffer) {
                return GetEnvironmentVariableW(wideName.c_str(), buffer, size);
              },
              &text)) {
        // An empty value is a value; nothing set is none.
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
        text.clear();
      }
      *value = PathText(text, codePage_);
      return true;
    }
    const DWORD needed = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
    if (needed == 0) return false;
    std::string text(needed, '\0');
    const DWORD got = GetEnvironmentVariableA(name.c_str(), &text[0], needed);
    if (got == 0 || got >= needed) return false;
    text.resize(got);
    *value = text;
    return true;
  }

  bool UserCacheFolder(std::string* folder) override {
    std::string value;
    if (!EnvironmentValue("LOCALAPPDATA", &value) || value.empty()) return false;
    *folder = WithoutTrailingSeparator(value);
    return true;
  }

  // Attributes name a link as itself; what it points to is what an open handle reaches.
  // By the \\?\ form, so that 'CON.kvl' is a file and a path of any length is found.
  PathKind KindOf(const std::string& path, bool followLinks) override {
    std::wstring wide;
    if (!SystemFilePath(path, &wide, codePage_)) return PathKind::Missing;
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      if (!followLinks) return PathKind::Other;
      const HANDLE handle =
          CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      if (handle == INVALID_HANDLE_VALUE) return PathKind::Missing;
      BY_HANDLE_FILE_INFORMATION info{};
      const bool known = GetFileInformationByHandle(handle, &info) != 0;
      CloseHandle(handle);
      if (!known) return PathKind::Missing;
      attributes = info.dwFileAttributes;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::Folder;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return PathKind::Other;
    return PathKind::File;
  }

 private:
  static bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetConsoleMode(handle, &mode) != 0;
  }

  // A relative device path ('x', '.\\x', '\\x', 'D:x') as the full path it names, so that
  // its volume is found and named as if the line had given that path.
  static std::string Resolved(const std::string& devicePath) {
    if (!IsRelativeWindowsPath(devicePath)) return devicePath;
    std::wstring full;
    if (!FullWidePath(WidePath(devicePath), &full)) return devicePath;
    return PathText(full);
  }

  // Module names are compared as Windows does, without regard to ASCII case.
  static std::string ModuleKey(const std::string& module) { return ToLowerAscii(module); }

  static constexpr int kRenameAttempts = 10;
  static constexpr DWORD kRenamePauseMilliseconds = 100;
  static constexpr const char* kLockFileName = "LedraCmd.lock";

  static bool NotRegular(OsError* err) {
    FillError(ERROR_INVALID_FUNCTION, err);
    if (err != nullptr) {
      err->notRegular = true;
      err->text = "not a plain file";
    }
    return false;
  }

  // Opens `system`, a path as SystemFilePath gives it.
  static std::unique_ptr<Win32File> Open(const std::wstring& system, DWORD access, DWORD share,
                                         DWORD disposition, DWORD flags, OsError* err) {
    const HANDLE handle = CreateFileW(system.c_str(), access, share, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL | flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      FillLastError(err);
      return nullptr;
    }
    return std::make_unique<Win32File>(handle);
  }

  std::map<std::string, HMODULE> modules_;
  FreeSpaceExCall freeSpaceEx_ = nullptr;
  // The code page of the paths and names this platform takes and hands out.
  unsigned codePage_ = kAnsiCodePage;
};

}  // namespace

std::unique_ptr<Platform> NewRealPlatform(MessageSink& errors) {
  return std::make_unique<Win32Platform>(errors);
}

// Windows names volumes through kernel32, which every program loads anyway.
std::unique_ptr<Platform> NewReaderPlatform(MessageSink& errors) { return NewRealPlatform(errors); }

namespace {

// A view of a whole file. Both handles are closed as soon as the view exists, and the file
// is opened with FILE_SHARE_DELETE: while a view is held LedraCmd can still move the file
// to its backup, and once the view is released nothing of the reader remains.
class Win32MappedFile final : public MappedFile {
 public:
  Win32MappedFile(const void* view, size_t size, const FileFacts& facts)
      : view_(view), size_(size), facts_(facts) {}
  ~Win32MappedFile() override { UnmapViewOfFile(view_); }
  std::string_view Bytes() const override {
    return std::string_view(static_cast<const char*>(view_), size_);
  }
  bool Facts(FileFacts* facts) const override {
    *facts = facts_;
    return true;
  }

 private:
  const void* view_;
  size_t size_;
  FileFacts facts_;
};

std::unique_ptr<MappedFile> MapWideFile(const std::wstring& system, OsError* err) {
  FileHandle file(CreateFileW(
      system.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.Valid()) {
    FillLastError(err);
    return nullptr;
  }
  if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
    FillError(ERROR_INVALID_FUNCTION, err);
    if (err != nullptr) err->text = "not a regular file";
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.Get(), &info)) {
    FillLastError(err);
    return nullptr;
  }
  const FileFacts facts = FactsFromInformation(info);
  if (facts.size == 0) return std::make_unique<HeldFile>(std::string());
  const HANDLE mapping = CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr);
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
  return std::make_unique<Win32MappedFile>(view, static_cast<size_t>(facts.size), facts);
}

// A scratch file: a Win32File that can go back to its start. The system deletes it when its
// handle closes (FILE_FLAG_DELETE_ON_CLOSE), however the process ends.
class Win32ScratchFile final : public ScratchFile {
 public:
  explicit Win32ScratchFile(HANDLE handle) : file_(handle) {}
  bool Write(const void* buffer, size_t n, OsError* err) override {
    return file_.Write(buffer, n, err);
  }
  bool Rewind(OsError* err) override {
    LARGE_INTEGER start;
    start.QuadPart = 0;
    if (SetFilePointerEx(file_.handle(), start, nullptr, FILE_BEGIN) == 0) {
      FillLastError(err);
      return false;
    }
    return true;
  }
  bool Read(void* buffer, size_t n, size_t* got, OsError* err) override {
    return file_.Read(buffer, n, got, err);
  }

 private:
  Win32File file_;
};

}  // namespace

std::unique_ptr<MappedFile> MapRegularFile(const std::string& path, OsError* err) {
  std::wstring system;
  if (!SystemFilePath(path, &system)) {
    FillLastError(err);
    return nullptr;
  }
  return MapWideFile(system, err);
}

std::unique_ptr<ScratchFile> OpenSystemScratchFile(OsError* err) {
  // The user's temporary folder, not the root of the drive, where a user without
  // administrator rights may not create files.
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) {
    FillError(length == 0 ? GetLastError() : ERROR_BUFFER_OVERFLOW, err);
    return nullptr;
  }
  // A name of its own, created only when no item has it (CREATE_NEW), shared with no other
  // opening; names already taken are passed over.
  const DWORD seed = GetCurrentProcessId() * 2654435761u ^ GetTickCount();
  for (DWORD attempt = 0; attempt < 256; ++attempt) {
    const UINT unique = static_cast<UINT>(((seed + attempt * 40503u) & 0xFFFFu) | 1u);
    wchar_t name[MAX_PATH + 1];
    if (GetTempFileNameW(folder, L"ldr", unique, name) == 0) {
      FillLastError(err);
      return nullptr;
    }
    const HANDLE handle =
        CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return std::make_unique<Win32ScratchFile>(handle);
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
      FillError(code, err);
      return nullptr;
    }
  }
  FillError(ERROR_FILE_EXISTS, err);
  return nullptr;
}

}  // namespace ledra
