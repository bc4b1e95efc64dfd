// A file for bytes a run sets aside and reads back once, too many to keep in memory: made
// in the system's temporary folder for this process alone, and gone once it is destroyed
// or the process ends, however it ends, so that nothing is left behind to clean up.
#ifndef LEDRA_PLATFORM_SCRATCH_FILE_H_
#define LEDRA_PLATFORM_SCRATCH_FILE_H_

#include <cstddef>
#include <memory>

namespace ledra {

struct OsError;

// Write, Rewind and Read return false on failure and fill `err`.
class ScratchFile {
 public:
  ScratchFile() = default;
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  // Closes the file, which removes it.
  virtual ~ScratchFile() = default;

  // Appends all n bytes or fails (a full disk among the causes).
  virtual bool Write(const void* buffer, size_t n, OsError* err) = 0;
  // Makes the next Read start at the first byte.
  virtual bool Rewind(OsError* err) = 0;
  // Reads up to n bytes; *got is 0 at the end of the file.
  virtual bool Read(void* buffer, size_t n, size_t* got, OsError* err) = 0;
};

// A new scratch file of the real machine: on POSIX in $TMPDIR (else /tmp), unnamed or
// removed at once, readable by the owner only; on Win32 in the user's temporary folder
// (GetTempPath), opened exclusively and deleted by the system when closed. Null with *err
// filled when none can be made. (scratch_file_posix.cc, platform_win32.cc)
std::unique_ptr<ScratchFile> OpenSystemScratchFile(OsError* err);

}  // namespace ledra

#endif  // LEDRA_PLATFORM_SCRATCH_FILE_H_
