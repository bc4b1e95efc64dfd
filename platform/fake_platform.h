// An in-memory machine with Windows-style paths, for tests of what a real machine cannot
// produce on demand: a chosen listing order, a failing call, an operating-system version,
// a drive type that changes nothing in a catalogue. Paths compare without regard to case.
// Directory searches may run on several threads while the machine is not changed.
#ifndef LEDRA_PLATFORM_FAKE_PLATFORM_H_
#define LEDRA_PLATFORM_FAKE_PLATFORM_H_

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace ledra {

class FakePlatform : public Platform {
 public:
  // Calls that tests can make fail, per path.
  enum class Op {
    Open,
    Create,
    Write,
    Sync,
    Close,
    Remove,
    Rename,
    Link,
    List,
    Volume,
    DriveType,
    FreeSpace,
    Swap,        // a folder is replaced between its parent's listing and its own
    ListBreaks,  // a folder's listing gives its first item, then fails on an I/O error
    Read,        // reading a file fails on an I/O error
  };

  struct Volume {
    std::string label;
    uint32_t serial = 0;
    DriveType type = DriveType::Fixed;
    FreeBytes bytes;
    FreeClusters clusters;
  };

  explicit FakePlatform(MessageSink& errors);
  ~FakePlatform() override;

  // --- Building the machine --------------------------------------------------------------
  // Folders and files are created with their missing parent folders. A drive root ('C:\')
  // exists once a volume or anything below it is added.
  void AddFolder(const std::string& path, int32_t modified = 0);
  void AddFile(const std::string& path, uint64_t size, int32_t modified = 0);
  void AddFileWithContent(const std::string& path, const std::string& content,
                          int32_t modified = 0);
  void AddVolume(const std::string& root, const Volume& volume);
  // Lists the named items of a folder first, in this order, then the others.
  void SetListingOrder(const std::string& folder, const std::vector<std::string>& names);
  void SetEnterable(const std::string& folder, bool enterable);
  // The current folder a drive keeps for itself ('C:' alone changes to it).
  void SetDriveCurrentFolder(const std::string& drive, const std::string& folder);
  // Makes every call of `op` on `path` fail, only from the n-th call on (1 = the first),
  // counting calls on that path from now (the second opening of a file, the third write). A `path`
  // ending in '*' names every path it begins (a run's temporary files: 'C:\\cats\\DATA.kvl.tmp*').
  void Fail(Op op, const std::string& path, int fromCall = 1);
  // Every call succeeds again.
  void ClearFailures() {
    failFrom_.clear();
    calls_.clear();
  }
  // Makes every folder listing wait, as over a network: each folder its own number of
  // microseconds below `maxMicroseconds`, drawn from `seed` and the folder's path.
  void SetListingDelays(uint32_t maxMicroseconds, uint32_t seed) {
    maxListingDelay_ = maxMicroseconds;
    delaySeed_ = seed;
  }
  // A volume with room for this many bytes of file content in all.
  void SetDiskCapacity(uint64_t bytes) { capacity_ = bytes; }

  // --- Looking at it ---------------------------------------------------------------------
  bool Exists(const std::string& path) const;
  bool IsFolder(const std::string& path) const;
  std::string Content(const std::string& path) const;
  // Names of a folder's items in listing order.
  std::vector<std::string> List(const std::string& folder) const;
  // "create X", "access X from Y" (TakeOverAccessFrom), "close X" (of a file created or
  // overwritten), "link X -> Y", "rename X -> Y", "remove X", in order.
  const std::vector<std::string>& log() const { return log_; }
  // Number of Write calls made on a path, and the byte count of each.
  std::vector<size_t> Writes(const std::string& path) const;

  VersionInfo version{2, 1381};
  bool versionFails = false;
  bool moduleLoads = true;
  std::set<std::string> procedures{"GetDiskFreeSpaceExA"};
  int32_t now = 0x40000000;
  // Which free-space call was last used: 'E' extended, 'C' classic.
  char lastFreeSpaceCall = 0;
  // The working-folder lock: busy for this many attempts, or never offered.
  int lockBusyAttempts = 0;
  bool lockUnsupported = false;
  int lockAttempts = 0;
  // How often a folder was read whole for names (ListFolder, NameExists).
  int folderReads = 0;
  // Scratch files are held in memory, outside the tree. Failures named for this path make
  // their making (Op::Create), writing (Op::Write, as a full disk) or reading (Op::Read)
  // fail.
  static constexpr const char* kScratchFile = "C:\\Temp\\scratch";
  int scratchFilesMade = 0;
  int scratchFilesOpen = 0;  // made and not destroyed yet
  // What was written to standard output, and whether it is a terminal.
  std::string standardOutput;
  bool outputIsTerminal = false;

  // --- Platform ----------------------------------------------------------------------------
  bool Start() override { return startSucceeds; }
  bool startSucceeds = true;
  char Separator() const override { return '\\'; }
  LeadByteTest LeadBytes() const override { return NoLeadBytes; }
  bool CurrentFolder(std::string* folder) override;
  bool ChangeFolder(const std::string& folder) override;
  bool AbsolutePath(const std::string& path, std::string* absolute) override;
  bool SplitVolumeRoot(const std::string& devicePath, std::string* root,
                       std::string* remainder) override;
  std::string PathBelowVolumeRoot(const std::string& normalisedRoot) override;
  bool HasDriveLetters() const override { return true; }
  std::unique_ptr<DirSearch> NewDirSearch() override;
  std::vector<std::string> FindCatalogFiles(const std::string& folder) override;
  bool NameExists(const std::string& name) override;
  bool VolumeInformation(const std::string& root, const std::string& devicePath, std::string* label,
                         uint32_t* serial) override;
  DriveType DriveTypeOf(const std::string& root) override;
  // True on a volume of type Remote.
  bool ListingsWait(const std::string& root) override;
  bool Version(VersionInfo* info) override;
  bool LoadSystemModule(const std::string& module) override;
  bool HasProcedure(const std::string& module, const std::string& name) override;
  bool FreeSpaceExtended(const std::string& path, FreeBytes* bytes) override;
  bool FreeSpaceClassic(const std::string& path, FreeClusters* clusters) override;
  bool ListFolder(const std::string& folder, std::vector<FolderName>* names) override;
  // The fake has no links: followLinks changes nothing.
  PathKind KindOf(const std::string& path, bool followLinks) override;
  // The identity is the file's own number, its time the seconds of `modified`.
  bool FactsOf(const std::string& path, FileFacts* facts, OsError* err) override;
  bool MakeFolder(const std::string& path, OsError* err) override;
  // From `environment`; the cache folder is LOCALAPPDATA's, as on Win32.
  bool EnvironmentValue(const std::string& name, std::string* value) override;
  bool UserCacheFolder(std::string* folder) override;
  std::map<std::string, std::string> environment;
  std::unique_ptr<File> OpenForReading(const std::string& path, OsError* err) override;
  std::unique_ptr<MappedFile> MapForReading(const std::string& path, OsError* err) override;
  std::unique_ptr<File> OpenParameterFile(const std::string& path, OsError* err) override;
  std::unique_ptr<ScratchFile> OpenScratchFile(OsError* err) override;
  std::unique_ptr<File> CreateForWriting(const std::string& path, OsError* err) override;
  bool Remove(const std::string& path, OsError* err) override;
  bool Rename(const std::string& from, const std::string& to, OsError* err) override;
  bool Link(const std::string& existing, const std::string& link, OsError* err) override;
  bool SyncFolder(const std::string&, OsError*) override { return true; }
  LockOutcome TryLockFolder(const std::string& folder, std::unique_ptr<FolderLock>* lock,
                            OsError* err) override;
  bool EnterWorkingFolder(const std::string& folder, std::string* why) override;
  int32_t Now() override { return now; }
  // Advances `now` instead of waiting.
  void Pause(int milliseconds) override;
  // Tests hand a sink marked as a terminal to the code under test instead.
  bool ErrorStreamIsTerminal(int*) override { return false; }
  bool OutputStreamIsTerminal() override { return outputIsTerminal; }
  // Into `standardOutput`.
  std::unique_ptr<StandardOutput> OpenStandardOutput() override;
  // Knows "latin1" (or "iso-8859-1") and "cp1252" (or "windows-1252"), in any case; the
  // five bytes cp1252 leaves unassigned become U+FFFD, as iconv has them.
  std::unique_ptr<NameDecoder> NewCodePageDecoder(const std::string& codePage,
                                                  std::string* error) override;

 private:
  struct Node;
  class Search;
  class OpenFile;
  class HeldScratchFile;
  friend class Search;
  friend class OpenFile;
  friend class HeldScratchFile;

  // Absolute form of a path without trailing backslash, but 'C:\' for a drive root.
  std::string Resolve(const std::string& path) const;
  static std::string Key(const std::string& absolute);
  Node* Find(const std::string& path);
  const Node* Find(const std::string& path) const;
  Node* Make(const std::string& absolute, bool folder);
  bool Fails(Op op, const std::string& path);
  // The volume whose root is `root`, or null (also when `op` is made to fail there).
  const Volume* VolumeAt(std::string root, Op op);
  const Volume* VolumeOfPath(const std::string& path);
  uint64_t UsedBytes() const;

  std::map<std::string, std::unique_ptr<Node>> nodes_;  // by Key of the absolute path
  std::map<std::string, Volume> volumes_;               // by Key of the root
  std::map<std::string, std::string> driveCurrent_;     // drive key -> folder
  std::map<std::pair<int, std::string>, int> failFrom_;
  std::map<std::pair<int, std::string>, int> calls_;
  // Directory searches run on several threads at once; they share calls_ through Fails.
  std::mutex callsMutex_;
  uint32_t maxListingDelay_ = 0;
  uint32_t delaySeed_ = 0;
  std::map<std::string, std::vector<size_t>> writes_;
  std::vector<std::string> log_;
  std::string current_ = "C:\\";
  uint64_t nextId_ = 1;
  int pausedMilliseconds_ = 0;
  uint64_t capacity_ = UINT64_MAX;
};

}  // namespace ledra

#endif  // LEDRA_PLATFORM_FAKE_PLATFORM_H_
