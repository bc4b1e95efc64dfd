// Reading folders ahead of the walk: a few threads, each with a search of its own, list
// the folders that are already queued (their numbers known) while the walk records the
// folders before them. The walk still takes every listing in folder order, so the
// catalogue is the one a single search gives; only the waiting for each listing (a round
// trip to a server, a seek on a cold disk) overlaps.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "cataloguing/folder_listing.h"

namespace ledra {
namespace {

// How far ahead the threads may read: this many folders per thread, and no new folder
// once the listings waiting to be recorded hold kMaxHeldItems items (one larger folder
// is still read whole). The bounds keep the memory of a walk close to that of its
// catalogue.
constexpr size_t kFoldersPerThread = 8;
constexpr size_t kMaxHeldItems = size_t{1} << 14;
// A listing keeps room for this many items between folders; a larger one gives its room
// back once recorded.
constexpr size_t kKeptItems = 512;

// One item between its listing and its recording; its names are in the listing's text.
struct HeldItem {
  uint64_t size;
  FileIdentity identity;
  int32_t modified;
  uint32_t nameLength;
  uint32_t pathNameLength;
  bool isFolder;
  bool enterable;
};

// The listing of one folder read ahead. The walk fills the request and hands the slot to
// a thread; that thread fills the answer; `done`, under the lister's mutex, passes it back.
struct Slot {
  // Request.
  bool root = false;
  FileIdentity expected;
  std::string path;
  // Answer.
  bool listed = false;
  OsError err;
  std::vector<ListingProblem> problems;
  std::string text;
  std::vector<HeldItem> items;
  bool done = false;
};

class PrefetchingLister final : public FolderLister {
 public:
  PrefetchingLister(const FolderQueue& queue, int threads)
      : queue_(queue), root_(queue.root()), slots_(kFoldersPerThread * threads) {}

  ~PrefetchingLister() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    quit_.store(true, std::memory_order_relaxed);
    work_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  // Starts up to `threads` threads; false when none could be started.
  bool StartThreads(Platform& platform, int threads) {
    for (int i = 0; i < threads; ++i) {
      searches_.push_back(platform.NewDirSearch());
      try {
        threads_.emplace_back(&PrefetchingLister::Run, this, searches_.back().get());
      } catch (const std::system_error&) {
        break;
      }
    }
    return !threads_.empty();
  }

  bool Open(uint32_t folder, std::string* path, OsError* err) override {
    if (open_ != nullptr) Release(*open_);
    open_ = nullptr;
    HandOut(folder);
    Slot& slot = SlotOf(folder);
    {
      std::unique_lock<std::mutex> lock(mutex_);
      listed_.wait(lock, [&slot] { return slot.done; });
    }
    *path = std::move(slot.path);
    *err = std::move(slot.err);
    problems_.swap(slot.problems);
    slot.problems.clear();
    if (!slot.listed) {
      Release(slot);
      return false;
    }
    open_ = &slot;
    nextItem_ = 0;
    nextText_ = 0;
    return true;
  }

  bool Next(DirItem& item) override {
    if (open_ == nullptr || nextItem_ == open_->items.size()) return false;
    const HeldItem& held = open_->items[nextItem_++];
    item.name.assign(open_->text, nextText_, held.nameLength);
    nextText_ += held.nameLength;
    item.pathName.assign(open_->text, nextText_, held.pathNameLength);
    nextText_ += held.pathNameLength;
    item.isFolder = held.isFolder;
    item.enterable = held.enterable;
    item.modified = held.modified;
    item.size = held.size;
    item.identity = held.identity;
    return true;
  }

  void TakeProblems(std::vector<ListingProblem>* problems) override {
    problems->swap(problems_);
    problems_.clear();
  }

 private:
  Slot& SlotOf(uint32_t folder) { return slots_[folder % slots_.size()]; }

  // Hands the queued folders from `current` on to the threads, as far as the bounds allow;
  // `current` itself always, or the walk would wait for ever.
  void HandOut(uint32_t current) {
    while (handedOut_ < queue_.size() && handedOut_ < current + slots_.size()) {
      Slot& slot = SlotOf(handedOut_);
      const bool enterable = queue_.enterable(handedOut_);
      if (enterable) {
        queue_.BuildPath(handedOut_, &slot.path);
        slot.root = handedOut_ == 0;
        slot.expected = queue_.identity(handedOut_);
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (handedOut_ > current && held_ >= kMaxHeldItems) return;
        if (enterable) {
          jobs_.push_back(handedOut_);
        } else {
          // Recorded but never entered: its answer is known without a listing.
          slot.path.clear();
          slot.err = OsError{};
          slot.listed = false;
          slot.done = true;
        }
      }
      if (enterable) work_.notify_one();
      ++handedOut_;
    }
  }

  // Makes a slot whose listing the walk has read free for a later folder.
  void Release(Slot& slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ -= slot.items.size();
    slot.done = false;
    slot.listed = false;
    slot.items.clear();
    slot.text.clear();
    if (slot.items.capacity() > kKeptItems) {
      std::vector<HeldItem>().swap(slot.items);
      std::string().swap(slot.text);
    }
  }

  void Run(DirSearch* search) {
    for (;;) {
      uint32_t folder;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        work_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
        if (stop_) return;
        folder = jobs_.front();
        jobs_.pop_front();
      }
      Slot& slot = SlotOf(folder);
      List(*search, slot);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        slot.done = true;
        held_ += slot.items.size();
      }
      listed_.notify_one();
    }
  }

  // Runs on a thread: reads one folder whole into its slot.
  void List(DirSearch& search, Slot& slot) {
    slot.err = OsError{};
    slot.listed = StartFolderListing(search, root_, slot.path, slot.root, slot.expected, &slot.err);
    if (!slot.listed) {
      search.TakeProblems(&slot.problems);
      return;
    }
    DirItem item;
    while (!quit_.load(std::memory_order_relaxed) && search.Next(item)) {
      slot.text += item.name;
      slot.text += item.pathName;
      slot.items.push_back(
          HeldItem{item.size, item.identity, item.modified, static_cast<uint32_t>(item.name.size()),
                   static_cast<uint32_t>(item.pathName.size()), item.isFolder, item.enterable});
    }
    search.TakeProblems(&slot.problems);
  }

  const FolderQueue& queue_;  // read by the walk's thread only
  const std::string root_;
  std::vector<Slot> slots_;  // folder f in slots_[f % size]
  std::vector<std::unique_ptr<DirSearch>> searches_;
  std::vector<std::thread> threads_;

  std::mutex mutex_;
  std::condition_variable work_;    // a folder to list, or the end
  std::condition_variable listed_;  // a listing is done
  std::deque<uint32_t> jobs_;
  size_t held_ = 0;  // items of done listings not yet released
  bool stop_ = false;
  std::atomic<bool> quit_{false};  // the walk is over: a listing under way may stop

  // The walk's side.
  uint32_t handedOut_ = 0;  // folders 0 .. handedOut_ - 1 are handed out
  Slot* open_ = nullptr;
  std::vector<ListingProblem> problems_;  // of the folder last opened
  size_t nextItem_ = 0;
  size_t nextText_ = 0;
};

}  // namespace

std::unique_ptr<FolderLister> NewPrefetchingLister(Platform& platform, const FolderQueue& queue,
                                                   int threads) {
  auto lister = std::make_unique<PrefetchingLister>(queue, threads);
  if (!lister->StartThreads(platform, threads)) return nullptr;
  return lister;
}

}  // namespace ledra
