// Maps catalogue files with a file mapping. Both handles are closed as soon as the view
// exists, and the file is opened with FILE_SHARE_DELETE: while a view is held LedraCmd can
// still rename the file away, and once the view is released nothing of the reader remains.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "platform/mapped_file.h"
#include "platform/platform.h"

namespace ledra {

namespace {

void FillWin32Error(DWORD code, OsError* err) {
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
  while (!err->text.empty() &&
         (err->text.back() == '\r' || err->text.back() == '\n' || err->text.back() == ' ' ||
          err->text.back() == '.')) {
    err->text.pop_back();
  }
  if (err->text.empty()) err->text = "system error " + std::to_string(code);
}

class HandleCloser {
 public:
  explicit HandleCloser(HANDLE handle) : handle_(handle) {}
  ~HandleCloser() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HandleCloser(const HandleCloser&) = delete;
  HandleCloser& operator=(const HandleCloser&) = delete;

 private:
  HANDLE handle_;
};

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
  const HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    FillWin32Error(GetLastError(), err);
    return nullptr;
  }
  HandleCloser fileCloser(file);
  if (GetFileType(file) != FILE_TYPE_DISK) {
    FillWin32Error(ERROR_INVALID_FUNCTION, err);
    if (err != nullptr) err->text = "not a regular file";
    return nullptr;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    FillWin32Error(GetLastError(), err);
    return nullptr;
  }
  if (size.QuadPart == 0) return std::make_unique<HeldFile>(std::string());
  const HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) {
    FillWin32Error(GetLastError(), err);
    return nullptr;
  }
  HandleCloser mappingCloser(mapping);
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) {
    FillWin32Error(GetLastError(), err);
    return nullptr;
  }
  return std::make_unique<Win32MappedFile>(view, static_cast<size_t>(size.QuadPart));
}

}  // namespace ledra
