#include "cataloguing/folder_listing.h"

namespace ledra {

void FolderQueue::Reset(const std::string& root, char separator) {
  root_ = root;
  separator_ = separator;
  folders_.clear();
  names_.Clear();
  folders_.push_back(Queued{0, true, FileIdentity{}, ""});
}

uint32_t FolderQueue::Add(uint32_t parent, const DirItem& item) {
  const std::string& name = item.pathName.empty() ? item.name : item.pathName;
  folders_.push_back(Queued{parent, item.enterable, item.identity, names_.Add(name)});
  return static_cast<uint32_t>(folders_.size() - 1);
}

void FolderQueue::BuildPath(uint32_t folder, std::string* path) const {
  chain_.clear();
  for (uint32_t f = folder; f != 0; f = folders_[f].parent) chain_.push_back(folders_[f].name);
  *path = root_;
  for (auto it = chain_.rbegin(); it != chain_.rend(); ++it) {
    *path += separator_;
    *path += *it;
  }
}

bool StartFolderListing(DirSearch& search, const std::string& root, const std::string& path,
                        bool isRoot, const FileIdentity& expected, OsError* err) {
  return isRoot ? search.Start(path) : search.StartBelow(root, path, expected, err);
}

namespace {

// Lists each folder when the walk reaches it, through one search reused folder after
// folder: nothing is held beyond the item at hand.
class OnTheSpotLister final : public FolderLister {
 public:
  OnTheSpotLister(Platform& platform, const FolderQueue& queue)
      : queue_(queue), search_(platform.NewDirSearch()) {}

  bool Open(uint32_t folder, std::string* path, OsError* err) override {
    *err = OsError{};
    if (!queue_.enterable(folder)) return false;
    queue_.BuildPath(folder, path);
    return StartFolderListing(*search_, queue_.root(), *path, folder == 0, queue_.identity(folder),
                              err);
  }

  bool Next(DirItem& item) override { return search_->Next(item); }

  void TakeProblems(std::vector<ListingProblem>* problems) override {
    search_->TakeProblems(problems);
  }

 private:
  const FolderQueue& queue_;
  std::unique_ptr<DirSearch> search_;
};

}  // namespace

std::unique_ptr<FolderLister> NewFolderLister(Platform& platform, const FolderQueue& queue,
                                              int threads) {
  if (threads > 1) {
    std::unique_ptr<FolderLister> ahead = NewPrefetchingLister(platform, queue, threads);
    if (ahead) return ahead;
  }
  return std::make_unique<OnTheSpotLister>(platform, queue);
}

}  // namespace ledra
