// A read-only view of one whole regular file, for readers that walk a catalogue from end to
// end without copying it: the operating system pages the bytes in and drops them again, so
// memory does not grow with the file.
#ifndef LEDRA_PLATFORM_MAPPED_FILE_H_
#define LEDRA_PLATFORM_MAPPED_FILE_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace ledra {

struct FileFacts;
struct OsError;

// The view stays valid until the object is destroyed; destroying it releases the mapping
// (and on Windows every handle), so that a writer may replace the file again.
class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  virtual ~MappedFile() = default;

  virtual std::string_view Bytes() const = 0;
  // The file's size when it was opened. Readers that only read through ReadAt take the size
  // from here, which leaves the pages unmapped where the platform maps them on demand.
  virtual uint64_t Size() const { return Bytes().size(); }
  // Facts of the file this object opened (not of whatever its path names by now), where
  // the platform took them on opening; false where it did not.
  virtual bool Facts(FileFacts* facts) const {
    static_cast<void>(facts);
    return false;
  }
  // Copies bytes [offset, offset + size) of the file into `out`; the range must lie within
  // Bytes(). A reader that passes over a large file once does better with this than with
  // the mapped pages: each page it touches costs a fault and a translation entry, while a
  // read copies from the system's cache into a buffer that stays in the processor's cache.
  // False with *error set when the read fails (the file shrank, an I/O error).
  virtual bool ReadAt(uint64_t offset, size_t size, char* out, std::string* error) const {
    static_cast<void>(error);
    std::memcpy(out, Bytes().data() + offset, size);
    return true;
  }
  // Copies up to `size` bytes at `offset` into `out`, fewer only where the file ends first;
  // *got tells how many. For a reader that does not take the size beforehand.
  virtual bool ReadUpTo(uint64_t offset, size_t size, char* out, size_t* got,
                        std::string* error) const {
    const uint64_t end = Size();
    *got = offset < end ? static_cast<size_t>(std::min<uint64_t>(size, end - offset)) : 0;
    return ReadAt(offset, *got, out, error);
  }
};

// A view of bytes held in memory (an empty file, the fake platform, tests).
class HeldFile final : public MappedFile {
 public:
  explicit HeldFile(std::string bytes) : bytes_(std::move(bytes)) {}
  std::string_view Bytes() const override { return bytes_; }

 private:
  std::string bytes_;
};

// A view of bytes that the caller keeps alive.
class ViewedFile final : public MappedFile {
 public:
  explicit ViewedFile(std::string_view bytes) : bytes_(bytes) {}
  std::string_view Bytes() const override { return bytes_; }

 private:
  std::string_view bytes_;
};

// Maps the regular file at `path` for reading. Other programs may go on reading, writing,
// renaming and deleting it (Win32: FILE_SHARE_DELETE). Links are followed, but anything
// that is not a regular file (a folder, a FIFO, a device) is refused. Null with `err`
// filled on failure.
std::unique_ptr<MappedFile> MapRegularFile(const std::string& path, OsError* err);

// POSIX: opens the file at `path` for ReadUpTo without asking the system about it: its
// size, kind and facts are taken only when asked for. For a file that states its own size
// and checks every record read from it (an index), where that question would cost a call
// per file. Nothing refuses a folder or a FIFO here; reading one fails.
std::unique_ptr<MappedFile> OpenForPositionalReads(const std::string& path, OsError* err);

}  // namespace ledra

#endif  // LEDRA_PLATFORM_MAPPED_FILE_H_
