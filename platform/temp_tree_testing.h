// Real folders for tests: a private folder below the system's temporary folder, filled
// with folders and (sparse) files, and removed again with everything in it. Works
// natively and under Wine, so the same tests exercise both real back ends.
#ifndef LEDRA_PLATFORM_TEMP_TREE_TESTING_H_
#define LEDRA_PLATFORM_TEMP_TREE_TESTING_H_

#include <cstdint>
#include <string>

namespace ledra {

// Where a TempTree lives. Memory: in /dev/shm where it exists (natively and under Wine),
// else natively on a tmpfs mounted for the tree (root only), else on the disk. Trees of
// tens of thousands of folders take a minute on a disk and a fraction of a second there.
enum class TempTreeStorage { Disk, Memory };

class TempTree {
 public:
  explicit TempTree(TempTreeStorage storage = TempTreeStorage::Disk);
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  // The tree's root, without trailing separator.
  const std::string& root() const { return root_; }
  // Whether the tree lies in memory (/dev/shm or a tmpfs of its own), not on the disk.
  bool inMemory() const { return inMemory_; }
  // `relative` uses '/'; the result uses the platform's separator.
  std::string Path(const std::string& relative) const;

  void MakeFolder(const std::string& relative);
  // A file of `size` bytes that takes no room on the disk.
  void MakeSparseFile(const std::string& relative, uint64_t size);
  void MakeFile(const std::string& relative, const std::string& content);
  // Folders named first, first + 1, ..., last directly in the tree's root. Under Wine they
  // are made by the Unix side: Wine looks every new name up without regard to case, which
  // makes filling one folder with tens of thousands of names take quadratic time.
  void MakeNumberedFolders(int first, int last);
  // Takes every permission away from a folder (restored before removal).
  void MakeUnreadable(const std::string& relative);

 private:
  std::string root_;
  std::string unreadable_;
  bool mounted_ = false;  // root_ is a tmpfs mounted for the tree
  bool inMemory_ = false;
};

// The platform's path separator.
char NativeSeparator();

// Natively and as root, runs the given tests of this executable again in a child process
// that lacks the capabilities overriding folder permissions, and returns its exit status.
// Returns -1 where that is not possible (not root, or already such a child, or on Win32).
int RerunWithoutPermissionOverride(const std::string& gtestFilter);

}  // namespace ledra

#endif  // LEDRA_PLATFORM_TEMP_TREE_TESTING_H_
