// Maps catalogue files with mmap. The descriptor stays open beside the mapping for ReadAt;
// both keep reading the file they opened even when it is replaced meanwhile.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/mapped_file.h"
#include "platform/platform.h"

namespace ledra {

namespace {

void FillErrno(int code, OsError* err) {
  if (err == nullptr) return;
  err->notFound = code == ENOENT || code == ENOTDIR;
  err->code = code;
  err->text = std::strerror(code);
}

class PosixMappedFile final : public MappedFile {
 public:
  PosixMappedFile(int fd, void* data, size_t size) : fd_(fd), data_(data), size_(size) {}
  ~PosixMappedFile() override {
    munmap(data_, size_);
    close(fd_);
  }
  std::string_view Bytes() const override {
    return std::string_view(static_cast<const char*>(data_), size_);
  }
  void WillReadAll() override {
    madvise(data_, size_, MADV_SEQUENTIAL);
    // Filling the page tables in one call costs less than a fault per page; older kernels
    // refuse it and read ahead instead.
    if (madvise(data_, size_, MADV_POPULATE_READ) != 0) madvise(data_, size_, MADV_WILLNEED);
  }
  bool ReadAt(uint64_t offset, size_t size, char* out, std::string* error) const override {
    while (size > 0) {
      const ssize_t got = pread(fd_, out, size, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        *error = got < 0 ? std::strerror(errno) : "the file ends early (changed while read)";
        return false;
      }
      out += got;
      offset += static_cast<uint64_t>(got);
      size -= static_cast<size_t>(got);
    }
    return true;
  }

 private:
  int fd_;  // kept for ReadAt; it refers to the mapped file even once that is replaced
  void* data_;
  size_t size_;
};

}  // namespace

std::unique_ptr<MappedFile> MapRegularFile(const std::string& path, OsError* err) {
  // O_NONBLOCK: a FIFO named like a catalogue must not block the open.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    FillErrno(errno, err);
    return nullptr;
  }
  struct stat status;
  if (fstat(fd, &status) != 0) {
    FillErrno(errno, err);
    close(fd);
    return nullptr;
  }
  if (!S_ISREG(status.st_mode)) {
    close(fd);
    FillErrno(S_ISDIR(status.st_mode) ? EISDIR : EINVAL, err);
    if (err != nullptr && !S_ISDIR(status.st_mode)) err->text = "not a regular file";
    return nullptr;
  }
  const size_t size = static_cast<size_t>(status.st_size);
  if (size == 0) {
    close(fd);
    return std::make_unique<HeldFile>(std::string());
  }
  void* data = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  if (data == MAP_FAILED) {
    FillErrno(errno, err);
    close(fd);
    return nullptr;
  }
  return std::make_unique<PosixMappedFile>(fd, data, size);
}

}  // namespace ledra
