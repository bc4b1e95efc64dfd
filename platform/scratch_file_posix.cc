// Scratch files on POSIX: an unnamed file of the temporary folder where the filesystem
// offers one (Linux's O_TMPFILE), else a file made exclusively under a unique name and
// removed at once; either way only the open descriptor reaches it.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/scratch_file.h"

namespace ledra {

namespace {

bool FailWith(int code, OsError* err) {
  if (err != nullptr) {
    err->notFound = code == ENOENT || code == ENOTDIR;
    err->denied = code == EACCES || code == EPERM;
    err->code = code;
    err->text = std::strerror(code);
  }
  return false;
}

class PosixScratchFile final : public ScratchFile {
 public:
  explicit PosixScratchFile(int fd) : fd_(fd) {}
  ~PosixScratchFile() override { close(fd_); }

  bool Write(const void* buffer, size_t n, OsError* err) override {
    const char* at = static_cast<const char*>(buffer);
    while (n > 0) {
      const ssize_t put = write(fd_, at, n);
      if (put < 0) {
        if (errno == EINTR) continue;
        return FailWith(errno, err);
      }
      if (put == 0) return FailWith(ENOSPC, err);
      at += put;
      n -= static_cast<size_t>(put);
    }
    return true;
  }

  bool Rewind(OsError* err) override {
    return lseek(fd_, 0, SEEK_SET) == 0 || FailWith(errno, err);
  }

  bool Read(void* buffer, size_t n, size_t* got, OsError* err) override {
    *got = 0;
    while (true) {
      const ssize_t r = read(fd_, buffer, n);
      if (r >= 0) {
        *got = static_cast<size_t>(r);
        return true;
      }
      if (errno != EINTR) return FailWith(errno, err);
    }
  }

 private:
  const int fd_;
};

}  // namespace

std::unique_ptr<ScratchFile> OpenSystemScratchFile(OsError* err) {
  const char* variable = std::getenv("TMPDIR");
  std::string folder = variable != nullptr && variable[0] != '\0' ? variable : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  int fd = -1;
#ifdef O_TMPFILE
  fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
  if (fd < 0) {
    // mkstemp opens exclusively (O_EXCL) with the bits 0600.
    std::string name = folder + "/ledra-XXXXXX";
    fd = mkstemp(&name[0]);
    if (fd < 0) {
      FailWith(errno, err);
      return nullptr;
    }
    if (unlink(name.c_str()) != 0 || fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
      const int code = errno;
      unlink(name.c_str());
      close(fd);
      FailWith(code, err);
      return nullptr;
    }
  }
  return std::make_unique<PosixScratchFile>(fd);
}

}  // namespace ledra
