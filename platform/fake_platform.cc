#include "platform/fake_platform.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <random>
#include <thread>

#include "platform/byte_text.h"
#include "platform/path_text.h"

namespace ledra {

struct FakePlatform::Node {
  std::string name;
  bool folder = false;
  bool enterable = true;
  int32_t modified = 0;
  uint64_t size = 0;  // listed size of a file added without content
  bool hasContent = false;
  uint64_t id = 0;  // the file ID a listing reports
  std::string content;
  std::vector<std::string> children;  // keys, in listing order
};

namespace {

bool IsDriveRoot(const std::string& absolute) {
  return absolute.size() == 3 && absolute[1] == ':' && absolute[2] == '\\';
}

// The folder that holds an absolute path; a drive root has none.
std::string ParentOf(const std::string& absolute) {
  if (IsDriveRoot(absolute)) return std::string();
  size_t cut = absolute.rfind('\\');
  if (cut == std::string::npos) return std::string();
  std::string parent = absolute.substr(0, cut);
  if (parent.size() == 2 && parent[1] == ':') parent += '\\';
  return parent;
}

std::string NameOf(const std::string& absolute) {
  if (absolute.size() == 3 && absolute[1] == ':') return absolute.substr(0, 2);
  size_t cut = absolute.rfind('\\');
  return cut == std::string::npos ? absolute : absolute.substr(cut + 1);
}

OsError NotFound(const std::string& what) {
  OsError err;
  err.notFound = true;
  err.code = 2;
  err.text = what + " not found";
  return err;
}
OsError NotFound(const std::string& what);
OsError Denied() {
  OsError err;
  err.denied = true;
  err.code = 5;
  err.text = "Access is denied.";
  return err;
}

}  // namespace

namespace {

OsError IoError() {
  OsError err;
  err.code = 1117;
  err.text = "The request could not be performed because of an I/O device error.";
  return err;
}

}  // namespace

class FakePlatform::Search : public DirSearch {
 public:
  explicit Search(FakePlatform& fake) : fake_(fake) {}
  bool StartBelow(const std::string&, const std::string& folder, const FileIdentity& expected,
                  OsError* err) override {
    const Node* node = fake_.Find(folder);
    if (node == nullptr) {
      *err = NotFound(folder);
      return false;
    }
    if (node->id != expected.file || fake_.Fails(Op::Swap, fake_.Resolve(folder + "\\"))) {
      *err = OsError{};
      err->text = "it was replaced during the walk";
      return false;
    }
    if (fake_.Fails(Op::List, fake_.Resolve(folder + "\\"))) {
      *err = Denied();
      return false;
    }
    *err = OsError{};
    return Start(folder);
  }

  bool Start(const std::string& folder) override {
    items_.clear();
    next_ = 0;
    // Like the Win32 search of folder + "\*": 'C:' lists the root of C:, not the
    // drive's current folder.
    const std::string absolute = fake_.Resolve(folder + "\\");
    const Node* node = fake_.Find(absolute);
    if (fake_.maxListingDelay_ > 0) {
      std::seed_seq seed{fake_.delaySeed_,
                         static_cast<uint32_t>(std::hash<std::string>()(Key(absolute)))};
      std::mt19937 random(seed);
      std::this_thread::sleep_for(std::chrono::microseconds(random() % fake_.maxListingDelay_));
    }
    problems_.clear();
    if (node == nullptr || !node->folder || fake_.Fails(Op::List, absolute)) return false;
    if (!IsDriveRoot(absolute)) {
      items_.push_back(DirItem{".", "", true, true, node->modified, 0, FileIdentity{}});
      items_.push_back(DirItem{"..", "", true, true, node->modified, 0, FileIdentity{}});
    }
    for (const std::string& key : node->children) {
      const Node& child = *fake_.nodes_.at(key);
      DirItem item;
      item.name = child.name;
      item.isFolder = child.folder;
      item.enterable = child.enterable;
      item.modified = child.modified;
      item.size = child.hasContent ? static_cast<uint64_t>(child.content.size()) : child.size;
      item.identity = FileIdentity{1, child.id};
      items_.push_back(item);
    }
    if (fake_.Fails(Op::ListBreaks, absolute)) {
      const size_t kept = IsDriveRoot(absolute) ? 1 : 3;  // the dots and one item
      if (items_.size() > kept) items_.resize(kept);
      problems_.push_back(ListingProblem{std::string(), IoError()});
    }
    return !items_.empty();
  }
  bool Next(DirItem& item) override {
    if (next_ >= items_.size()) return false;
    item = items_[next_++];
    return true;
  }
  void TakeProblems(std::vector<ListingProblem>* problems) override {
    problems->swap(problems_);
    problems_.clear();
  }

 private:
  FakePlatform& fake_;
  std::vector<ListingProblem> problems_;
  std::vector<DirItem> items_;
  size_t next_ = 0;
};

class FakePlatform::OpenFile : public File {
 public:
  OpenFile(FakePlatform& fake, std::string absolute, bool writing)
      : fake_(fake), absolute_(std::move(absolute)), writing_(writing) {}
  bool Read(void* buffer, size_t n, size_t* got, OsError* err) override {
    *got = 0;
    Node* node = fake_.Find(absolute_);
    if (node == nullptr) {
      *err = NotFound(absolute_);
      return false;
    }
    if (node->folder) {
      *err = Denied();
      return false;
    }
    if (fake_.Fails(Op::Read, absolute_)) {
      *err = IoError();
      return false;
    }
    if (offset_ < node->content.size()) {
      *got = std::min(n, node->content.size() - offset_);
      std::memcpy(buffer, node->content.data() + offset_, *got);
      offset_ += *got;
    }
    return true;
  }
  bool Write(const void* buffer, size_t n, OsError* err) override {
    fake_.writes_[Key(absolute_)].push_back(n);
    Node* node = fake_.Find(absolute_);
    if (!writing_ || node == nullptr || fake_.Fails(Op::Write, absolute_)) {
      *err = OsError{false, 29, "The system cannot write to the specified device."};
      return false;
    }
    if (fake_.UsedBytes() + n > fake_.capacity_) {
      *err = OsError{false, 112, "There is not enough space on the disk."};
      return false;
    }
    node->content.append(static_cast<const char*>(buffer), n);
    return true;
  }
  bool Sync(OsError* err) override {
    if (fake_.Fails(Op::Sync, absolute_)) {
      *err = OsError{false, 29, "The system cannot write to the specified device."};
      return false;
    }
    return true;
  }
  bool Close(OsError* err) override {
    if (writing_) fake_.log_.push_back("close " + absolute_);
    if (fake_.Fails(Op::Close, absolute_)) {
      *err = OsError{false, 29, "The system cannot write to the specified device."};
      return false;
    }
    return true;
  }
  bool TakeOverAccessFrom(const std::string& earlier, OsError*) override {
    fake_.log_.push_back("access " + absolute_ + " from " + fake_.Resolve(earlier));
    return true;
  }

 private:
  FakePlatform& fake_;
  std::string absolute_;
  bool writing_;
  size_t offset_ = 0;
};

class FakePlatform::HeldScratchFile final : public ScratchFile {
 public:
  explicit HeldScratchFile(FakePlatform& fake) : fake_(fake) {
    ++fake_.scratchFilesMade;
    ++fake_.scratchFilesOpen;
  }
  ~HeldScratchFile() override { --fake_.scratchFilesOpen; }
  bool Write(const void* buffer, size_t n, OsError* err) override {
    if (fake_.Fails(Op::Write, kScratchFile)) {
      *err = OsError{false, 112, "There is not enough space on the disk."};
      return false;
    }
    content_.append(static_cast<const char*>(buffer), n);
    return true;
  }
  bool Rewind(OsError*) override {
    offset_ = 0;
    return true;
  }
  bool Read(void* buffer, size_t n, size_t* got, OsError* err) override {
    *got = 0;
    if (fake_.Fails(Op::Read, kScratchFile)) {
      *err = IoError();
      return false;
    }
    *got = std::min(n, content_.size() - offset_);
    std::memcpy(buffer, content_.data() + offset_, *got);
    offset_ += *got;
    return true;
  }

 private:
  FakePlatform& fake_;
  std::string content_;
  size_t offset_ = 0;
};

FakePlatform::FakePlatform(MessageSink& errors) : Platform(errors) {}
FakePlatform::~FakePlatform() = default;

std::string FakePlatform::Key(const std::string& absolute) {
  std::string key = ToLowerAscii(absolute);
  if (IsDriveRoot(key)) key.pop_back();
  return key;
}

std::string FakePlatform::Resolve(const std::string& path) const {
  std::string absolute;
  if (path.size() >= 2 && path[1] == ':') {
    absolute = path;
    if (absolute.size() == 2) {
      auto it = driveCurrent_.find(Key(absolute));
      if (it != driveCurrent_.end()) absolute = it->second;
    } else if (absolute[2] != '\\') {
      // 'C:name' is relative to that drive's current folder.
      auto it = driveCurrent_.find(Key(absolute.substr(0, 2)));
      std::string base = it != driveCurrent_.end() ? it->second : absolute.substr(0, 2);
      absolute = base + "\\" + absolute.substr(2);
    }
  } else if (!path.empty() && path[0] == '\\') {
    absolute = path.size() > 1 && path[1] == '\\' ? path : current_.substr(0, 2) + path;
  } else {
    absolute = current_ + "\\" + path;
  }
  // Collapse doubled backslashes after the start and drop '.' parts and a trailing one.
  std::string out;
  for (size_t i = 0; i < absolute.size(); ++i) {
    if (absolute[i] == '\\' && i >= 2 && !out.empty() && out.back() == '\\') continue;
    out += absolute[i];
  }
  for (size_t dot; (dot = out.find("\\.\\")) != std::string::npos;) out.erase(dot, 2);
  if (out.size() > 2 && out.compare(out.size() - 2, 2, "\\.") == 0) out.resize(out.size() - 2);
  while (out.size() > 3 && out.back() == '\\') out.pop_back();
  // A drive root is 'C:\', with its backslash.
  if (out.size() == 2 && out[1] == ':') out += '\\';
  return out;
}

FakePlatform::Node* FakePlatform::Find(const std::string& path) {
  auto it = nodes_.find(Key(Resolve(path)));
  return it == nodes_.end() ? nullptr : it->second.get();
}

const FakePlatform::Node* FakePlatform::Find(const std::string& path) const {
  auto it = nodes_.find(Key(Resolve(path)));
  return it == nodes_.end() ? nullptr : it->second.get();
}

FakePlatform::Node* FakePlatform::Make(const std::string& absolute, bool folder) {
  const std::string key = Key(absolute);
  auto it = nodes_.find(key);
  if (it != nodes_.end()) return it->second.get();
  const std::string parent = ParentOf(absolute);
  if (!parent.empty()) Make(parent, true)->children.push_back(key);
  auto node = std::make_unique<Node>();
  node->name = NameOf(absolute);
  node->folder = folder;
  node->id = nextId_++;
  Node* made = node.get();
  nodes_[key] = std::move(node);
  return made;
}

void FakePlatform::AddFolder(const std::string& path, int32_t modified) {
  Node* node = Make(Resolve(path), true);
  node->folder = true;
  node->modified = modified;
}

void FakePlatform::AddFile(const std::string& path, uint64_t size, int32_t modified) {
  Node* node = Make(Resolve(path), false);
  node->size = size;
  node->modified = modified;
}

void FakePlatform::AddFileWithContent(const std::string& path, const std::string& content,
                                      int32_t modified) {
  Node* node = Make(Resolve(path), false);
  node->hasContent = true;
  node->content = content;
  node->modified = modified;
}

void FakePlatform::AddVolume(const std::string& root, const Volume& volume) {
  std::string absolute = root;
  while (absolute.size() > 2 && absolute.back() == '\\') absolute.pop_back();
  volumes_[Key(absolute)] = volume;
  Make(Resolve(root), true);
}

void FakePlatform::SetListingOrder(const std::string& folder,
                                   const std::vector<std::string>& names) {
  Node* node = Find(folder);
  if (node == nullptr) return;
  std::vector<std::string> ordered;
  const std::string base = Key(Resolve(folder)) + "\\";
  for (const std::string& name : names) {
    auto it = std::find(node->children.begin(), node->children.end(), base + ToLowerAscii(name));
    if (it != node->children.end()) {
      ordered.push_back(*it);
      node->children.erase(it);
    }
  }
  ordered.insert(ordered.end(), node->children.begin(), node->children.end());
  node->children = ordered;
}

void FakePlatform::SetEnterable(const std::string& folder, bool enterable) {
  if (Node* node = Find(folder)) node->enterable = enterable;
}

void FakePlatform::SetDriveCurrentFolder(const std::string& drive, const std::string& folder) {
  driveCurrent_[Key(drive.substr(0, 2))] = folder;
}

// 'X:' names the drive's root here, not the drive's current folder.
static std::string FailurePath(const std::string& path) {
  return path.size() == 2 && path[1] == ':' ? path + "\\" : path;
}

void FakePlatform::Fail(Op op, const std::string& path, int fromCall) {
  std::string key = Key(Resolve(FailurePath(path)));
  if (!path.empty() && path.back() == '*') key = Key(path);  // a prefix, taken as given
  failFrom_[std::make_pair(static_cast<int>(op), key)] = fromCall;
  calls_[std::make_pair(static_cast<int>(op), key)] = 0;
}

bool FakePlatform::Fails(Op op, const std::string& path) {
  const std::string key = Key(Resolve(FailurePath(path)));
  std::lock_guard<std::mutex> lock(callsMutex_);
  for (auto& [failure, fromCall] : failFrom_) {
    if (failure.first != static_cast<int>(op)) continue;
    const std::string& pattern = failure.second;
    const bool prefix = !pattern.empty() && pattern.back() == '*' &&
                        key.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
    if (pattern == key || prefix) return ++calls_[failure] >= fromCall;
  }
  return false;
}

uint64_t FakePlatform::UsedBytes() const {
  uint64_t used = 0;
  for (const auto& entry : nodes_) used += entry.second->content.size();
  return used;
}

bool FakePlatform::Exists(const std::string& path) const { return Find(path) != nullptr; }

bool FakePlatform::IsFolder(const std::string& path) const {
  const Node* node = Find(path);
  return node != nullptr && node->folder;
}

std::string FakePlatform::Content(const std::string& path) const {
  const Node* node = Find(path);
  return node == nullptr ? std::string() : node->content;
}

std::vector<std::string> FakePlatform::List(const std::string& folder) const {
  std::vector<std::string> names;
  if (const Node* node = Find(folder)) {
    for (const std::string& key : node->children) names.push_back(nodes_.at(key)->name);
  }
  return names;
}

std::vector<size_t> FakePlatform::Writes(const std::string& path) const {
  auto it = writes_.find(Key(Resolve(path)));
  return it == writes_.end() ? std::vector<size_t>() : it->second;
}

bool FakePlatform::CurrentFolder(std::string* folder) {
  *folder = current_;
  return true;
}

bool FakePlatform::ChangeFolder(const std::string& folder) {
  const std::string absolute = Resolve(folder);
  const Node* node = Find(absolute);
  if (node == nullptr || !node->folder) return false;
  current_ = absolute;
  driveCurrent_[Key(absolute.substr(0, 2))] = absolute;
  return true;
}

bool FakePlatform::EnterWorkingFolder(const std::string& folder, std::string* why) {
  if (ChangeFolder(folder)) return true;
  *why = "cannot open the folder '" + folder + "': The system cannot find the path specified.";
  return false;
}

bool FakePlatform::AbsolutePath(const std::string& path, std::string* absolute) {
  *absolute = Resolve(path);
  return true;
}

bool FakePlatform::SplitVolumeRoot(const std::string& devicePath, std::string* root,
                                   std::string* remainder) {
  // A relative device path is taken from the current folder, as Win32 takes it.
  SplitRoot(IsRelativeWindowsPath(devicePath) ? Resolve(devicePath) : devicePath, root, remainder,
            NoLeadBytes);
  return !root->empty();
}

std::string FakePlatform::PathBelowVolumeRoot(const std::string& normalisedRoot) {
  std::string root = normalisedRoot;
  if (IsRelativeWindowsPath(root)) root = WithoutTrailingSeparator(Resolve(root));
  return RootPathRule(root, NoLeadBytes);
}

std::unique_ptr<DirSearch> FakePlatform::NewDirSearch() { return std::make_unique<Search>(*this); }

std::vector<std::string> FakePlatform::FindCatalogFiles(const std::string& folder) {
  std::vector<std::string> paths;
  const Node* node = Find(folder);
  if (node == nullptr || !node->folder) return paths;
  for (const std::string& key : node->children) {
    const std::string& name = nodes_.at(key)->name;
    if (name.size() >= 4 && ToLowerAscii(name.substr(name.size() - 4)) == ".kvl") {
      paths.push_back(folder + "\\" + name);
    }
  }
  return paths;
}

bool FakePlatform::NameExists(const std::string& name) {
  ++folderReads;
  return Find(name) != nullptr;
}

const FakePlatform::Volume* FakePlatform::VolumeAt(std::string root, Op op) {
  while (root.size() > 2 && root.back() == '\\') root.pop_back();
  auto it = volumes_.find(Key(root));
  if (it == volumes_.end() || Fails(op, root)) return nullptr;
  return &it->second;
}

bool FakePlatform::VolumeInformation(const std::string& root, const std::string&,
                                     std::string* label, uint32_t* serial) {
  const Volume* volume = VolumeAt(root, Op::Volume);
  if (volume == nullptr) return false;
  *label = volume->label.substr(0, 31);
  *serial = volume->serial;
  return true;
}

DriveType FakePlatform::DriveTypeOf(const std::string& root) {
  const Volume* volume = VolumeAt(root, Op::DriveType);
  return volume == nullptr ? DriveType::NoRootFolder : volume->type;
}

bool FakePlatform::ListingsWait(const std::string& root) {
  std::string volumeRoot, rest;
  SplitRoot(root, &volumeRoot, &rest, NoLeadBytes);
  while (volumeRoot.size() > 2 && volumeRoot.back() == '\\') volumeRoot.pop_back();
  auto it = volumes_.find(Key(volumeRoot));
  return it != volumes_.end() && it->second.type == DriveType::Remote;
}

bool FakePlatform::Version(VersionInfo* info) {
  if (versionFails) return false;
  *info = version;
  return true;
}

bool FakePlatform::LoadSystemModule(const std::string&) { return moduleLoads; }

bool FakePlatform::HasProcedure(const std::string&, const std::string& name) {
  return procedures.count(name) != 0;
}

// Free space is asked for with the device path; it is the figure of the volume holding it.
const FakePlatform::Volume* FakePlatform::VolumeOfPath(const std::string& path) {
  std::string root, rest;
  SplitRoot(path, &root, &rest, NoLeadBytes);
  return VolumeAt(root, Op::FreeSpace);
}

bool FakePlatform::FreeSpaceExtended(const std::string& path, FreeBytes* bytes) {
  lastFreeSpaceCall = 'E';
  const Volume* volume = VolumeOfPath(path);
  if (volume == nullptr) return false;
  *bytes = volume->bytes;
  return true;
}

bool FakePlatform::FreeSpaceClassic(const std::string& path, FreeClusters* clusters) {
  lastFreeSpaceCall = 'C';
  const Volume* volume = VolumeOfPath(path);
  if (volume == nullptr) return false;
  *clusters = volume->clusters;
  return true;
}

std::unique_ptr<File> FakePlatform::OpenForReading(const std::string& path, OsError* err) {
  const std::string absolute = Resolve(path);
  const Node* node = Find(absolute);
  if (node == nullptr) {
    *err = NotFound(path);
    return nullptr;
  }
  if (Fails(Op::Open, absolute)) {
    *err = Denied();
    return nullptr;
  }
  if (node->folder) {
    *err = Denied();
    err->notRegular = true;
    return nullptr;
  }
  return std::make_unique<OpenFile>(*this, absolute, false);
}

std::unique_ptr<MappedFile> FakePlatform::MapForReading(const std::string& path, OsError* err) {
  const std::string absolute = Resolve(path);
  const Node* node = Find(absolute);
  if (node == nullptr) {
    *err = NotFound(path);
    return nullptr;
  }
  if (node->folder || Fails(Op::Open, absolute)) {
    *err = Denied();
    return nullptr;
  }
  return std::make_unique<HeldFile>(Content(absolute));
}

std::unique_ptr<ScratchFile> FakePlatform::OpenScratchFile(OsError* err) {
  if (Fails(Op::Create, kScratchFile)) {
    *err = Denied();
    return nullptr;
  }
  return std::make_unique<HeldScratchFile>(*this);
}

// A folder opens and then fails on reading, as on POSIX.
std::unique_ptr<File> FakePlatform::OpenParameterFile(const std::string& path, OsError* err) {
  const std::string absolute = Resolve(path);
  if (Find(absolute) == nullptr || Fails(Op::Open, absolute)) {
    *err = NotFound(path);
    return nullptr;
  }
  return std::make_unique<OpenFile>(*this, absolute, false);
}

bool FakePlatform::ListFolder(const std::string& folder, std::vector<FolderName>* names) {
  ++folderReads;
  names->clear();
  const Node* node = Find(folder);
  if (node == nullptr || !node->folder) return false;
  for (const std::string& key : node->children) {
    const Node& child = *nodes_.at(key);
    names->push_back(FolderName{child.name, !child.folder});
  }
  return true;
}

bool FakePlatform::Link(const std::string& existing, const std::string& link, OsError* err) {
  const std::string source = Resolve(existing);
  const std::string target = Resolve(link);
  const Node* node = Find(source);
  if (node == nullptr) {
    *err = NotFound(existing);
    return false;
  }
  if (node->folder || Find(target) != nullptr || Fails(Op::Link, source)) {
    *err = Denied();
    return false;
  }
  // The second name shares the content; nothing in a run writes to it afterwards.
  Node* made = Make(target, false);
  made->hasContent = node->hasContent;
  made->content = node->content;
  made->size = node->size;
  made->modified = node->modified;
  log_.push_back("link " + source + " -> " + target);
  return true;
}

LockOutcome FakePlatform::TryLockFolder(const std::string&, std::unique_ptr<FolderLock>* lock,
                                        OsError* err) {
  ++lockAttempts;
  if (lockUnsupported) {
    *err = OsError{false, 1, "Incorrect function."};
    return LockOutcome::Unsupported;
  }
  if (lockBusyAttempts > 0) {
    --lockBusyAttempts;
    return LockOutcome::Busy;
  }
  *lock = std::make_unique<FolderLock>();
  return LockOutcome::Held;
}

void FakePlatform::Pause(int milliseconds) {
  pausedMilliseconds_ += milliseconds;
  now += pausedMilliseconds_ / 1000;
  pausedMilliseconds_ %= 1000;
}

std::unique_ptr<File> FakePlatform::CreateForWriting(const std::string& path, OsError* err) {
  const std::string absolute = Resolve(path);
  const Node* existing = Find(absolute);
  const Node* parent = Find(ParentOf(absolute));
  if (parent == nullptr || !parent->folder) {
    *err = NotFound(path);
    return nullptr;
  }
  if (existing != nullptr) {
    *err = OsError{false, 80, "The file exists."};
    return nullptr;
  }
  if (Fails(Op::Create, absolute)) {
    *err = Denied();
    return nullptr;
  }
  Node* node = Make(absolute, false);
  node->hasContent = true;
  node->content.clear();
  node->modified = now;
  log_.push_back("create " + absolute);
  return std::make_unique<OpenFile>(*this, absolute, true);
}

bool FakePlatform::FactsOf(const std::string& path, FileFacts* facts, OsError* err) {
  const Node* node = Find(Resolve(path));
  if (node == nullptr) {
    *err = NotFound(path);
    return false;
  }
  if (node->folder) {
    *err = OsError();
    err->notRegular = true;
    err->text = "not a plain file";
    return false;
  }
  facts->identity.volume = 1;
  facts->identity.file = node->id;
  facts->size = node->hasContent ? node->content.size() : node->size;
  facts->modifiedNanoseconds = int64_t{node->modified} * 1000000000;
  return true;
}

bool FakePlatform::MakeFolder(const std::string& path, OsError* err) {
  const std::string absolute = Resolve(path);
  if (const Node* node = Find(absolute)) {
    if (node->folder) return true;
    *err = Denied();
    return false;
  }
  if (Fails(Op::Create, absolute) || Find(ParentOf(absolute)) == nullptr) {
    *err = Find(ParentOf(absolute)) == nullptr ? NotFound(path) : Denied();
    return false;
  }
  Make(absolute, true);
  return true;
}

bool FakePlatform::EnvironmentValue(const std::string& name, std::string* value) {
  auto it = environment.find(name);
  if (it == environment.end()) return false;
  *value = it->second;
  return true;
}

bool FakePlatform::UserCacheFolder(std::string* folder) {
  return EnvironmentValue("LOCALAPPDATA", folder) && !folder->empty();
}

PathKind FakePlatform::KindOf(const std::string& path, bool) {
  const Node* node = Find(Resolve(path));
  if (node == nullptr) return PathKind::Missing;
  return node->folder ? PathKind::Folder : PathKind::File;
}

namespace {

class FakeStandardOutput final : public StandardOutput {
 public:
  explicit FakeStandardOutput(std::string& text) : text_(text) {}
  void Write(std::string_view bytes) override { text_.append(bytes.data(), bytes.size()); }
  bool Flush() override { return true; }

 private:
  std::string& text_;
};

void AppendUtf8(uint32_t codePoint, std::string* out) {
  if (codePoint < 0x80) {
    out->push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

// Latin-1, and cp1252 where 0x80 to 0x9F hold other characters (0: unassigned).
class FakeCodePage final : public NameDecoder {
 public:
  explicit FakeCodePage(bool cp1252) : cp1252_(cp1252) {}
  bool Decode(std::string_view bytes, std::string* out) override {
    static const uint16_t kCp1252High[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    out->clear();
    bool valid = true;
    for (const char c : bytes) {
      uint32_t codePoint = static_cast<unsigned char>(c);
      if (cp1252_ && codePoint >= 0x80 && codePoint < 0xA0)
        codePoint = kCp1252High[codePoint - 0x80];
      if (codePoint == 0 && c != 0) {
        codePoint = 0xFFFD;
        valid = false;
      }
      AppendUtf8(codePoint, out);
    }
    return valid;
  }

 private:
  bool cp1252_;
};

}  // namespace

std::unique_ptr<StandardOutput> FakePlatform::OpenStandardOutput() {
  return std::make_unique<FakeStandardOutput>(standardOutput);
}

std::unique_ptr<NameDecoder> FakePlatform::NewCodePageDecoder(const std::string& codePage,
                                                              std::string* error) {
  const std::string name = ToLowerAscii(codePage);
  if (name == "latin1" || name == "iso-8859-1") return std::make_unique<FakeCodePage>(false);
  if (name == "cp1252" || name == "windows-1252") return std::make_unique<FakeCodePage>(true);
  *error = "unknown encoding '" + codePage + "'";
  return nullptr;
}

bool FakePlatform::Remove(const std::string& path, OsError* err) {
  const std::string absolute = Resolve(path);
  const std::string key = Key(absolute);
  auto it = nodes_.find(key);
  if (it == nodes_.end()) {
    *err = NotFound(path);
    return false;
  }
  if (it->second->folder || Fails(Op::Remove, absolute)) {
    *err = Denied();
    return false;
  }
  Node* parent = Find(ParentOf(absolute));
  if (parent != nullptr) {
    auto& list = parent->children;
    list.erase(std::remove(list.begin(), list.end(), key), list.end());
  }
  nodes_.erase(it);
  log_.push_back("remove " + absolute);
  return true;
}

bool FakePlatform::Rename(const std::string& from, const std::string& to, OsError* err) {
  const std::string source = Resolve(from);
  const std::string target = Resolve(to);
  Node* node = Find(source);
  if (node == nullptr) {
    *err = NotFound(from);
    return false;
  }
  const Node* existing = Find(target);
  if (node->folder || (existing != nullptr && existing->folder) || Fails(Op::Rename, source)) {
    *err = Denied();
    return false;
  }
  std::unique_ptr<Node> moved = std::move(nodes_[Key(source)]);
  nodes_.erase(Key(source));
  Node* sourceParent = Find(ParentOf(source));
  if (sourceParent != nullptr) {
    auto& list = sourceParent->children;
    list.erase(std::remove(list.begin(), list.end(), Key(source)), list.end());
  }
  if (existing != nullptr) {
    Node* targetParent = Find(ParentOf(target));
    auto& list = targetParent->children;
    list.erase(std::remove(list.begin(), list.end(), Key(target)), list.end());
    nodes_.erase(Key(target));
  }
  Node* placed = Make(target, false);
  placed->hasContent = moved->hasContent;
  placed->content = std::move(moved->content);
  placed->size = moved->size;
  placed->modified = moved->modified;
  log_.push_back("rename " + source + " -> " + target);
  return true;
}

}  // namespace ledra
