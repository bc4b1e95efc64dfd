#include "catalog/catalog_stream.h"

#include <algorithm>

namespace ledra {

int CatalogStream::Open() {
  position_ = 0;
  filled_ = 0;
  atEnd_ = false;
  writeFailed_ = false;
  if (mode_ != kRead && mode_ != kWrite) return 0;
  OsError err;
  if (mode_ == kRead) {
    file_ = platform_.OpenForReading(path_, &err);
  } else {
    file_ = platform_.CreateForWriting(path_, &err);
  }
  if (!file_) {
    // A link, device or FIFO under a catalogue's name is no catalogue: passed over.
    if (mode_ == kRead && err.notRegular) return 0;
    platform_.ReportError(mode_ == kRead ? "open" : "create", path_, err);
    return 0;
  }
  buffer_ = std::make_unique<uint8_t[]>(kBufferSize);  // zero-filled
  return 1;
}

void CatalogStream::Refill() {
  position_ = 0;
  filled_ = 0;
  if (atEnd_ || !file_) {
    atEnd_ = true;
    return;
  }
  size_t got = 0;
  OsError err;
  if (!file_->Read(buffer_.get(), kBufferSize, &got, &err)) {
    atEnd_ = true;
    readFailed_ = true;
    readError_ = err;
    return;
  }
  if (got == 0) {
    atEnd_ = true;
    return;
  }
  filled_ = static_cast<uint32_t>(got);
}

size_t CatalogStream::ReadBytes(void* destination, size_t n) {
  uint8_t* out = static_cast<uint8_t*>(destination);
  const size_t wanted = n;
  while (n > 0) {
    if (position_ >= filled_) {
      Refill();
      if (position_ >= filled_) {
        std::memset(out, 0, n);
        return wanted - n;
      }
    }
    const size_t take = std::min<size_t>(n, filled_ - position_);
    std::memcpy(out, buffer_.get() + position_, take);
    position_ += static_cast<uint32_t>(take);
    out += take;
    n -= take;
  }
  return wanted;
}

char* CatalogStream::ReadCountedString(char* destination) {
  const uint8_t length = ReadByte();
  ReadBytes(destination, length);
  destination[length] = '\0';
  return destination;
}

bool CatalogStream::ReadTerminatedString(char* destination, size_t capacity) {
  size_t stored = 0;
  for (;;) {
    const uint8_t b = ReadByte();
    if (atEnd_) break;
    if (stored + 1 == capacity) {
      destination[stored] = '\0';
      return b == 0;
    }
    destination[stored++] = static_cast<char>(b);
    if (b == 0) return true;
  }
  destination[stored] = '\0';
  return false;
}

void CatalogStream::FlushBlock() {
  const uint32_t count = position_;
  position_ = 0;
  if (writeFailed_ || count == 0) return;
  OsError err;
  if (!file_->Write(buffer_.get(), count, &err)) {
    writeFailed_ = true;
    platform_.ReportError("write", path_, err);
  }
}

void CatalogStream::WriteSlow(const uint8_t* source, size_t n) {
  while (n > 0) {
    const size_t take = std::min<size_t>(n, kBufferSize - position_);
    std::memcpy(buffer_.get() + position_, source, take);
    position_ += static_cast<uint32_t>(take);
    source += take;
    n -= take;
    if (position_ == kBufferSize) FlushBlock();
  }
}

void CatalogStream::TakeOverAccessFrom(const std::string& earlier) {
  if (!file_ || mode_ != kWrite || earlier.empty()) return;
  OsError err;
  if (!file_->TakeOverAccessFrom(earlier, &err)) {
    platform_.ReportError("give the permissions of '" + EscapeControls(earlier) + "' to", path_,
                          err);
  }
}

bool CatalogStream::Close(bool sync) {
  if (!file_) return !writeFailed_;
  OsError err;
  if (mode_ == kWrite) {
    FlushBlock();
    if (sync && !writeFailed_ && !file_->Sync(&err)) {
      writeFailed_ = true;
      platform_.ReportError("write", path_, err);
    }
  }
  const bool closed = file_->Close(&err);
  if (!closed && mode_ == kWrite && !writeFailed_) {
    writeFailed_ = true;
    platform_.ReportError("close", path_, err);
  }
  file_.reset();
  return !writeFailed_;
}

int CatalogStream::RemoveFile(bool backup, bool* moved) {
  if (moved != nullptr) *moved = false;
  if (mode_ != kRemove) return 1;
  OsError err;
  if (!backup) {
    if (!platform_.Remove(path_, &err)) {
      platform_.ReportError("delete", path_, err);
      return 0;
    }
    return 1;
  }
  const std::string backupPath = path_ + ".bak";
  if (platform_.Rename(path_, backupPath, &err)) {
    if (moved != nullptr) *moved = true;
  } else if (!err.notFound) {
    platform_.ReportError("back up", path_, err);
  }
  return 1;
}

}  // namespace ledra
