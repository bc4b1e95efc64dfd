// The one interface between Ledra's core and the operating system. Everything the
// cataloguer asks of a machine (folders, directory listings, volumes, files, the clock)
// goes through a Platform, so that the core stays portable and tests can hand in a fake.
#ifndef LEDRA_PLATFORM_PLATFORM_H_
#define LEDRA_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/mapped_file.h"
#include "platform/message_sink.h"
#include "platform/output_sink.h"
#include "platform/path_text.h"
#include "platform/scratch_file.h"

namespace ledra {

// Why a platform call failed. notFound marks a missing file or folder, which some
// callers pass over silently; text is the operating system's own wording.
struct OsError {
  bool notFound = false;
  long code = 0;
  std::string text;
  // Permission refused: a folder the walk may not read is passed over in silence.
  bool denied = false;
  // The name is not a plain file (a link, a device, a FIFO, a folder): never read as a
  // catalogue, and passed over in silence.
  bool notRegular = false;
};

// What names a file or folder on its machine, whatever it is called: POSIX st_dev and
// st_ino, Win32 the volume serial number and the file ID. Both 0 when not known.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t file = 0;
  bool operator==(const FileIdentity& o) const { return volume == o.volume && file == o.file; }
};

// What the file system tells of a plain file by its name: enough to see that the file
// named is no longer the one seen before (replaced by a rename, rewritten in place).
struct FileFacts {
  FileIdentity identity;
  uint64_t size = 0;
  int64_t modifiedNanoseconds = 0;  // last write, since 1970 UTC
};

// One item of a directory listing.
struct DirItem {
  // As stored in a catalogue: on Win32 the name in the ANSI code page, where a character
  // the code page lacks becomes '?'.
  std::string name;
  // The name to put into a path handed back to the platform (a folder to list) when
  // `name` does not name the item; empty when it does. Win32 fills it for names the ANSI
  // code page cannot hold.
  std::string pathName;
  bool isFolder = false;
  // False for a folder the walk records but does not list: a reparse point on Win32,
  // a folder on another filesystem on POSIX.
  bool enterable = true;
  int32_t modified = 0;   // last write, seconds since 1970 UTC, clamped to 32 bits
  uint64_t size = 0;      // the full byte size
  FileIdentity identity;  // of the item itself, links not followed
};

// Something a listing left out for an error that is not the folder's own doing (not
// "denied", not "gone"): the rest of the listing (`name` empty) or one item whose status
// could not be read.
struct ListingProblem {
  std::string name;
  OsError err;
};

// A directory listing, reused folder after folder by one walk.
class DirSearch {
 public:
  DirSearch() = default;
  DirSearch(const DirSearch&) = delete;
  DirSearch& operator=(const DirSearch&) = delete;
  virtual ~DirSearch() = default;

  // Starts listing `folder` (a path without trailing separator; on POSIX "" is '/').
  // Ends any earlier listing. False when the folder cannot be read, does not exist
  // or yields nothing at all.
  virtual bool Start(const std::string& folder) = 0;
  // Start, saying why a folder cannot be listed: on false, *err (not null) holds the
  // cause in the system's words where the back end knows it. A listing of names: its
  // items need carry only their name and whether they are folders (links not followed),
  // and a back end that would need a call per item for the rest may leave it out.
  virtual bool StartOrExplain(const std::string& folder, OsError* err) {
    if (Start(folder)) return true;
    *err = OsError{};
    err->text = "it cannot be listed";
    return false;
  }
  // Starts listing a folder below a walk's root: `folder` is `root` (which may be a link
  // and is followed) and names after it. No name after the root is followed as a link,
  // and the folder opened must be the object its parent's listing saw as `expected`;
  // a path of any length can be listed. False when the folder cannot be listed, with
  // err->notFound (it went away), err->denied (permission) or another cause to report.
  virtual bool StartBelow(const std::string& root, const std::string& folder,
                          const FileIdentity& expected, OsError* err) = 0;
  // Fetches the next item, '.' and '..' included, in the platform's order. False when
  // the listing is exhausted (a read error ends it too).
  virtual bool Next(DirItem& item) = 0;
  // Moves out what the listing started last left out so far (see ListingProblem); a
  // listing that could not start at all for such an error has it here too.
  virtual void TakeProblems(std::vector<ListingProblem>* problems) { problems->clear(); }
};

// An open file. Read, Write, Sync and Close return false on failure and fill `err`.
class File {
 public:
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  // Closes the file if still open; errors are lost.
  virtual ~File() = default;

  // Reads up to n bytes; *got is 0 at the end of the file.
  virtual bool Read(void* buffer, size_t n, size_t* got, OsError* err) = 0;
  // Writes all n bytes or fails.
  virtual bool Write(const void* buffer, size_t n, OsError* err) = 0;
  // Pushes written bytes to the disk.
  virtual bool Sync(OsError* err) = 0;
  virtual bool Close(OsError* err) = 0;
  // Gives this file, still open, the permission bits and, where the process may, the owner
  // and group of the plain file `earlier` (a link is not followed), through the open file
  // itself: a file once written is never opened again by its name, which someone able to
  // write to its folder could have swapped for a link to another file in the meantime.
  // True, changing nothing, where `earlier` is no plain file or the system has no such
  // notion (Win32: a new file takes the access rules its folder hands down).
  virtual bool TakeOverAccessFrom(const std::string& earlier, OsError* err) {
    (void)earlier;
    (void)err;
    return true;
  }
};

// The exclusive hold of one run on its working folder, let go when destroyed (and by the
// system when the process dies).
class FolderLock {
 public:
  FolderLock() = default;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  virtual ~FolderLock() = default;
};

enum class LockOutcome {
  Held,         // the lock is this run's
  Busy,         // held by another process
  Unsupported,  // the filesystem offers no lock (or no lock file can be made there)
};

// One name of a folder listing, and whether it is a plain file (links not followed).
struct FolderName {
  std::string name;
  bool regularFile = false;
};

// What a path names.
enum class PathKind {
  Missing,  // nothing, or nothing that can be told
  File,     // a plain file
  Folder,
  Other,  // a device, a FIFO, a socket; with links not followed, a link
};

// Answer of the operating-system version test.
struct VersionInfo {
  uint32_t platformId = 0;  // 0 Win32s, 1 Windows 9x, 2 Windows NT
  uint32_t build = 0;
};

// Free-space figures of the extended call, in bytes.
struct FreeBytes {
  uint64_t availableToCaller = 0;
  uint64_t total = 0;
  uint64_t totalFree = 0;
};

// Free-space figures of the classic call.
struct FreeClusters {
  uint32_t sectorsPerCluster = 0;
  uint32_t bytesPerSector = 0;
  uint32_t freeClusters = 0;
  uint32_t totalClusters = 0;
};

// Drive type codes as the system defines them.
enum class DriveType : uint32_t {
  Unknown = 0,
  NoRootFolder = 1,
  Removable = 2,
  Fixed = 3,
  Remote = 4,
  CdRom = 5,
  RamDisk = 6,
};

// The bytes of a volume label a catalogue keeps.
constexpr size_t kLabelLimit = 31;

class Platform {
 public:
  // `errors` receives the reports of ReportError; it must outlive the platform.
  explicit Platform(MessageSink& errors) : errors_(errors) {}
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  virtual ~Platform() = default;

  // Prepares the process (on Win32: no system boxes for empty drives). False when the
  // process cannot run at all.
  virtual bool Start() = 0;

  // --- Folders and paths -------------------------------------------------------------
  virtual char Separator() const = 0;
  // The lead-byte test of the code page that names and paths are written in.
  virtual LeadByteTest LeadBytes() const = 0;
  // `path` without one trailing separator (a second byte of that value is no separator).
  std::string WithoutTrailingSeparator(std::string path) const;
  // The folder that holds the file at `fullPath` (FolderOfFile of path_text.h).
  std::string FolderOfFile(const std::string& fullPath) const;
  // The current folder and absolute paths are paths the platform reads back exactly: on
  // Win32 a folder name the ANSI code page cannot hold is written in a form of its own
  // (see pathName above), never as the '?' of a stored name.
  virtual bool CurrentFolder(std::string* folder) = 0;
  virtual bool ChangeFolder(const std::string& folder) = 0;
  // The absolute path of `path` as named (links not resolved).
  virtual bool AbsolutePath(const std::string& path, std::string* absolute) = 0;
  // Splits a device path into the root of the volume that holds it (ending with the
  // separator) and the remainder; a relative path is taken from the current folder first.
  // False when no root can be found.
  virtual bool SplitVolumeRoot(const std::string& devicePath, std::string* root,
                               std::string* remainder) = 0;
  // The path of a walk's root (without trailing separator) below its volume root; a
  // relative root is taken from the current folder first.
  virtual std::string PathBelowVolumeRoot(const std::string& normalisedRoot) = 0;
  // True where volumes have drive letters (the remote-drive name suffix needs one).
  virtual bool HasDriveLetters() const = 0;

  // --- Directory search ----------------------------------------------------------------
  // A new search; searches may be used at the same time on different threads.
  virtual std::unique_ptr<DirSearch> NewDirSearch() = 0;
  // Whether listing the folders below `root` mostly waits, on a server or on another
  // process (a network drive, a FUSE filesystem), so that a walk gains by reading several
  // folders at once. False where it cannot be told.
  virtual bool ListingsWait(const std::string& root) = 0;
  // Full paths of the items of `folder` whose names end in ".kvl", in listing order.
  virtual std::vector<std::string> FindCatalogFiles(const std::string& folder) = 0;
  // Whether an item of this name, file or folder, exists in the current folder.
  virtual bool NameExists(const std::string& name) = 0;
  // Every name in `folder` but the dots, in listing order. False when it cannot be read.
  virtual bool ListFolder(const std::string& folder, std::vector<FolderName>* names) = 0;
  // What `path` names, a link taken for what it points to when `followLinks`. Missing too
  // when the system cannot tell (a folder on the way may not be searched).
  virtual PathKind KindOf(const std::string& path, bool followLinks) = 0;

  // The facts of the plain file at `path`, a link followed. False with *err filled when it
  // cannot be told (err->notFound when nothing is there, err->notRegular for a folder or a
  // device).
  virtual bool FactsOf(const std::string& path, FileFacts* facts, OsError* err) = 0;
  // Creates the folder `path`, whose parent must exist. True too when a folder of that name
  // is already there; false with *err filled otherwise.
  virtual bool MakeFolder(const std::string& path, OsError* err) = 0;

  // --- The user's environment ----------------------------------------------------------
  // The value of the environment variable `name`; false when it is not set.
  virtual bool EnvironmentValue(const std::string& name, std::string* value) = 0;
  // The folder this user's programs keep caches in: on POSIX $XDG_CACHE_HOME when it is an
  // absolute path, else $HOME/.cache; on Win32 %LOCALAPPDATA%. False when none is known.
  virtual bool UserCacheFolder(std::string* folder) = 0;

  // --- Volumes -------------------------------------------------------------------------
  // Label and serial number of the volume at `root`; `devicePath` is the path the volume
  // was named by. A longer label is cut to kLabelLimit bytes on a character boundary.
  // False when not identified.
  virtual bool VolumeInformation(const std::string& root, const std::string& devicePath,
                                 std::string* label, uint32_t* serial) = 0;
  virtual DriveType DriveTypeOf(const std::string& root) = 0;
  // The deepest mount point of the system's list of filesystems to mount (/etc/fstab)
  // that holds `devicePath`, whether mounted now or not; empty where there is none.
  virtual std::string ListedMountPoint(const std::string& devicePath) {
    (void)devicePath;
    return std::string();
  }
  virtual bool Version(VersionInfo* info) = 0;
  // Loads a system module by name; false when it cannot be loaded.
  virtual bool LoadSystemModule(const std::string& module) = 0;
  // Whether a loaded module exports the named procedure.
  virtual bool HasProcedure(const std::string& module, const std::string& name) = 0;
  // The extended free-space call (found by HasProcedure) and the classic one.
  virtual bool FreeSpaceExtended(const std::string& path, FreeBytes* bytes) = 0;
  virtual bool FreeSpaceClassic(const std::string& path, FreeClusters* clusters) = 0;

  // --- Files ---------------------------------------------------------------------------
  // Opens an existing plain file for reading, never through a link and never a device
  // (err->notRegular otherwise); other programs may go on reading and writing it.
  virtual std::unique_ptr<File> OpenForReading(const std::string& path, OsError* err) = 0;
  // Opens the parameter file, which may also be a link, a pipe or a FIFO; its reads
  // wait for a slow writer.
  virtual std::unique_ptr<File> OpenParameterFile(const std::string& path, OsError* err) = 0;
  // Creates a new file for writing (on POSIX with the permission bits of the folder it is
  // made in, execute bits dropped, less the umask). Fails when any
  // item of that name exists, a link included: nothing is truncated or followed.
  virtual std::unique_ptr<File> CreateForWriting(const std::string& path, OsError* err) = 0;
  virtual bool Remove(const std::string& path, OsError* err) = 0;
  // Renames in one step, replacing an existing file of the new name.
  virtual bool Rename(const std::string& from, const std::string& to, OsError* err) = 0;
  // A read-only view of a whole regular file (MapRegularFile on a real machine).
  virtual std::unique_ptr<MappedFile> MapForReading(const std::string& path, OsError* err);
  // A file read through MappedFile::ReadUpTo alone, by a reader that checks its size and
  // each record itself; where the platform can, it opens the file without asking for its
  // facts (OpenForPositionalReads), else as MapForReading does.
  virtual std::unique_ptr<MappedFile> OpenForPositionalReads(const std::string& path,
                                                             OsError* err) {
    return MapForReading(path, err);
  }
  // Gives the file `existing` the second name `link` (a hard link). Fails where the
  // filesystem or the system's rules refuse it.
  virtual bool Link(const std::string& existing, const std::string& link, OsError* err) = 0;
  // Makes the renames done in `folder` survive a power cut.
  virtual bool SyncFolder(const std::string& folder, OsError* err) = 0;
  // A new scratch file, gone once destroyed (OpenSystemScratchFile on a real machine).
  virtual std::unique_ptr<ScratchFile> OpenScratchFile(OsError* err);

  // --- The run's hold on its working folder ------------------------------------------
  // Tries once to lock `folder` for this run; `lock` holds it on Held. Failed attempts
  // other than Busy come back as Unsupported with the cause in `err`.
  virtual LockOutcome TryLockFolder(const std::string& folder, std::unique_ptr<FolderLock>* lock,
                                    OsError* err) = 0;
  // Makes `folder` the current folder of the run, so that every later name is taken in the
  // very folder opened now, whatever is renamed or linked in its place afterwards. False,
  // with the reason, when it cannot be entered or is a system folder (devices, processes)
  // by what was opened, not by the name given.
  virtual bool EnterWorkingFolder(const std::string& folder, std::string* why) = 0;

  // --- Clock ---------------------------------------------------------------------------
  // Seconds since 1970 UTC, clamped to 32 bits.
  virtual int32_t Now() = 0;
  // Waits that many milliseconds.
  virtual void Pause(int milliseconds) = 0;

  // --- Console -------------------------------------------------------------------------
  // Whether standard error is an interactive terminal (a console on Win32, where a file,
  // a pipe or NUL is not one); if so, *columns receives its width, 0 when it tells none.
  // Only main() asks, and marks its error sink (MessageSink::SetTerminal).
  virtual bool ErrorStreamIsTerminal(int* columns) = 0;
  // Whether standard output is an interactive terminal (on Win32 a console), where names
  // that hold terminal commands must be shown escaped.
  virtual bool OutputStreamIsTerminal() = 0;
  // Standard output for results, which are bytes: written as given, never translated.
  // Called once, by main(), before anything is written to standard output.
  virtual std::unique_ptr<StandardOutput> OpenStandardOutput() = 0;

  // --- Text ----------------------------------------------------------------------------
  // A decoder from the code page `codePage` ("cp1252", "cp932", "latin1", ...) to UTF-8.
  // Null with *error "unknown encoding 'NAME'" when the system does not know it.
  virtual std::unique_ptr<NameDecoder> NewCodePageDecoder(const std::string& codePage,
                                                          std::string* error) = 0;

  // Text that came as UTF-8 (a parameter file saved in a Unicode encoding, the arguments
  // of a program that reads them as UTF-8) in the platform's own terms. As a path, it names
  // the real file or folder: on Win32 in the ANSI code page, with a component the code page
  // cannot hold in the form of a listed name's pathName. As a name to store or to match
  // against stored names: on Win32 in the ANSI code page with '?' for each character it
  // lacks, as listed names are stored. POSIX names are bytes, taken as they come.
  virtual std::string PathFromUtf8(const std::string& text) { return text; }
  virtual std::string NameFromUtf8(const std::string& text) { return text; }
  // From now on, every path this platform takes and hands out, and the names of its
  // listings, are UTF-8 (ledra, whose arguments are UTF-8 and which walks no tree). On Win32
  // this replaces the ANSI code page, so that a path names any file whatever the code
  // page holds; POSIX paths are bytes either way.
  virtual void UseUtf8Paths() {}

  // --- Error report --------------------------------------------------------------------
  // Tells the user, in one line on standard error, what could not be done to which file
  // and why: "LedraCmd: cannot create 'DATA.kvl': Permission denied". Control
  // characters of the path are escaped.
  void ReportError(const std::string& action, const std::string& path, const OsError& err);
  // One line of its own on standard error: "LedraCmd: " and the text.
  void Report(const std::string& text);

 private:
  MessageSink& errors_;
};

// The platform of the machine the program runs on. Only main() calls it.
std::unique_ptr<Platform> NewRealPlatform(MessageSink& errors);
// The same for a program that only reads catalogues and never identifies a volume: on
// Linux it leaves the volume libraries unloaded, which shortens every start.
std::unique_ptr<Platform> NewReaderPlatform(MessageSink& errors);

// Clamps a 64-bit count of seconds since 1970 to the signed 32-bit range.
int32_t ClampTime(int64_t seconds);

}  // namespace ledra

#endif  // LEDRA_PLATFORM_PLATFORM_H_
