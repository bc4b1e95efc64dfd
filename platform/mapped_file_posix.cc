// Catalogue and index files, read with pread and mapped with mmap only when asked for their
// bytes. Both keep reading the file opened even when it is replaced meanwhile.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

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
  PosixMappedFile(int fd, const struct stat& status) : fd_(fd) {
    Take(status);
    factsTaken_.store(true, std::memory_order_relaxed);
  }
  // For OpenForPositionalReads: the facts are taken on first asking.
  explicit PosixMappedFile(int fd) : fd_(fd) {}
  ~PosixMappedFile() override {
    if (data_ != nullptr) munmap(data_, size_);
    close(fd_);
  }
  // The pages are mapped on first asking: the readers of catalogues and indexes read
  // through ReadAt alone, and for them a mapping would only cost two calls and a lock of
  // the address space that every other thread then waits for.
  std::string_view Bytes() const override {
    TakeFacts();
    std::call_once(mapped_, [this] {
      void* data = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd_, 0);
      // Without address space left the view is empty: Size() still tells the size, and
      // ReadAt still reads.
      if (data != MAP_FAILED) data_ = data;
    });
    if (data_ == nullptr) return std::string_view();
    return std::string_view(static_cast<const char*>(data_), size_);
  }
  uint64_t Size() const override {
    TakeFacts();
    return size_;
  }
  bool Facts(FileFacts* facts) const override {
    TakeFacts();
    *facts = facts_;
    return true;
  }
  bool ReadAt(uint64_t offset, size_t size, char* out, std::string* error) const override {
    size_t got = 0;
    if (!ReadUpTo(offset, size, out, &got, error)) return false;
    if (got != size) {
      *error = "the file ends early (changed while read)";
      return false;
    }
    return true;
  }
  bool ReadUpTo(uint64_t offset, size_t size, char* out, size_t* got,
                std::string* error) const override {
    *got = 0;
    while (*got < size) {
      const ssize_t n = pread(fd_, out + *got, size - *got, static_cast<off_t>(offset + *got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        *error = std::strerror(errno);
        return false;
      }
      if (n == 0) break;
      *got += static_cast<size_t>(n);
    }
    return true;
  }

 private:
  void Take(const struct stat& status) const {
    size_ = static_cast<size_t>(status.st_size);
    facts_.identity.volume = static_cast<uint64_t>(status.st_dev);
    facts_.identity.file = static_cast<uint64_t>(status.st_ino);
    facts_.size = static_cast<uint64_t>(status.st_size);
    facts_.modifiedNanoseconds =
        static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
  }
  // Where the status cannot be taken the file reads as empty. (Not std::call_once: glibc
  // wakes waiters with a system call after every first call, waiting or not.)
  void TakeFacts() const {
    if (factsTaken_.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(factsMutex_);
    if (factsTaken_.load(std::memory_order_relaxed)) return;
    struct stat status;
    if (fstat(fd_, &status) == 0) Take(status);
    factsTaken_.store(true, std::memory_order_release);
  }

  int fd_;  // it refers to the file opened even once that is replaced
  mutable std::atomic<bool> factsTaken_{false};
  mutable std::mutex factsMutex_;
  mutable size_t size_ = 0;
  mutable FileFacts facts_;
  mutable std::once_flag mapped_;
  mutable void* data_ = nullptr;
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
  return std::make_unique<PosixMappedFile>(fd, status);
}

std::unique_ptr<MappedFile> OpenForPositionalReads(const std::string& path, OsError* err) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    FillErrno(errno, err);
    return nullptr;
  }
  return std::make_unique<PosixMappedFile>(fd);
}

}  // namespace ledra
