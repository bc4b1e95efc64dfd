// One catalogue file, opened for reading, writing or removal, and accessed byte by byte
// through an owned 128 KiB buffer: reads fetch up to 131072 bytes at a time and writes go
// out in blocks of exactly 131072 bytes, whatever the format above does.
#ifndef LEDRA_CATALOG_CATALOG_STREAM_H_
#define LEDRA_CATALOG_CATALOG_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace ledra {

class CatalogStream {
 public:
  static constexpr size_t kBufferSize = 131072;
  enum Mode : int32_t { kRead = 0, kWrite = 1, kRemove = 2 };

  CatalogStream(Platform& platform, const std::string& path, int32_t mode)
      : platform_(platform), path_(path), mode_(mode) {}
  CatalogStream(const CatalogStream&) = delete;
  CatalogStream& operator=(const CatalogStream&) = delete;
  // A file still open is closed without writing out what is buffered.
  ~CatalogStream() = default;

  // Read and write mode. 1: opened; 0: failed (reported), or any other mode (silent).
  int Open();

  // Reading. Past the end of the file (a read error counts as the end) every byte is 0
  // and atEnd() turns true.
  uint8_t ReadByte() {
    if (position_ >= filled_) Refill();
    if (position_ >= filled_) return 0;
    return buffer_[position_++];
  }
  // Returns how many of the n bytes came from the file; the rest are 0.
  size_t ReadBytes(void* destination, size_t n);
  // A length byte L, then L bytes. `destination` holds at least 256 bytes; it receives
  // the bytes and a NUL.
  char* ReadCountedString(char* destination);
  // Bytes up to and including the first NUL into `destination`, which holds `capacity`
  // bytes and always ends with a NUL. False when the file ends first or the string does
  // not fit (the rest of it is left unread).
  bool ReadTerminatedString(char* destination, size_t capacity);
  bool atEnd() const { return atEnd_; }
  // Whether the end came from a failed read rather than the file's end; its cause in *err.
  bool readFailed(OsError* err) const {
    if (readFailed_ && err != nullptr) *err = readError_;
    return readFailed_;
  }

  // Writing. A failed block write is reported once; the stream then drops what is
  // buffered and everything after it, and writeFailed() turns true.
  void WriteByte(uint8_t b) {
    buffer_[position_++] = b;
    if (position_ == kBufferSize) FlushBlock();
  }
  void WriteBytes(const void* source, size_t n) {
    if (n < kBufferSize - position_) {
      std::memcpy(buffer_.get() + position_, source, n);
      position_ += n;
      return;
    }
    WriteSlow(static_cast<const uint8_t*>(source), n);
  }
  void WriteTerminatedString(const char* text) { WriteBytes(text, std::strlen(text) + 1); }
  void WriteTerminatedString(const std::string& text) { WriteBytes(text.c_str(), text.size() + 1); }
  bool writeFailed() const { return writeFailed_; }
  // Write mode, before Close: the file takes the permissions (and, where the process may,
  // the owner) of the plain file `earlier` through the open file (File::TakeOverAccessFrom).
  // A failure is reported and changes nothing else: the catalogue is still good.
  void TakeOverAccessFrom(const std::string& earlier);

  // Writes out what is buffered (write mode) and closes the file. With `sync`, the
  // written bytes are pushed to the disk first. False when writing, syncing or closing
  // failed (reported).
  bool Close(bool sync = false);

  // Removal mode. `backup` false deletes the file: 1 done, 0 failed (reported).
  // `backup` true renames the file to its path + ".bak" in one step, replacing an earlier
  // backup; a missing file is passed over silently and the result is 1 either way;
  // `moved`, when given, tells whether the file was moved. Other modes: 1, nothing touched.
  int RemoveFile(bool backup, bool* moved = nullptr);

 private:
  void Refill();
  void FlushBlock();
  void WriteSlow(const uint8_t* source, size_t n);

  Platform& platform_;
  std::string path_;
  int32_t mode_;
  std::unique_ptr<File> file_;
  std::unique_ptr<uint8_t[]> buffer_;
  uint32_t position_ = 0;
  uint32_t filled_ = 0;
  bool atEnd_ = false;
  bool readFailed_ = false;
  OsError readError_;
  bool writeFailed_ = false;
};

}  // namespace ledra

#endif  // LEDRA_CATALOG_CATALOG_STREAM_H_
