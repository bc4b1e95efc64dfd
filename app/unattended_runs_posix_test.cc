// Whole runs on Linux as a scheduler makes them, often as root, over folders that other
// users can write: overlapping runs, names planted by an attacker, a catalogue that cannot
// be backed up, trees deeper than PATH_MAX, a parameter file from a pipe, permissions of
// replaced catalogues. Every catalogue left behind is read by the strict full reader.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/end_to_end_posix_support.h"
#include "app/end_to_end_support.h"
#include "catalog/tree_check_testing.h"

extern char** environ;

namespace ledra {
namespace {

namespace fs = std::filesystem;
using e2e::NamesIn;
using e2e::ReadBytes;
using e2e::WriteWholeFile;
using Names = std::vector<std::string>;

class UnattendedRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch_.ok());
    tree_ = scratch_.Folder("tree");
    cats_ = scratch_.Folder("cats");
    WriteWholeFile(tree_ + "/a.txt", "0123456789");
    fs::create_directories(tree_ + "/sub/deeper");
    WriteWholeFile(tree_ + "/sub/b.txt", "01234");
    WriteWholeFile(tree_ + "/sub/deeper/c.txt", "c");
  }

  std::string Params(const std::string& text, const std::string& name = "params.txt") {
    const std::string path = cats_ + "/" + name;
    WriteWholeFile(path, text);
    return path;
  }

  // The catalogue at `path` is complete, describes the tree (or the folder below it) and
  // carries `comment`.
  ::testing::AssertionResult Sound(const std::string& path, const std::string& comment,
                                   const std::string& below = "") {
    CatalogContents c;
    std::string why;
    if (!ReadCatalogFile(path, &c, &why))
      return ::testing::AssertionFailure() << path << ": " << why;
    if (c.header.comment != comment) {
      return ::testing::AssertionFailure()
             << path << " has the comment '" << c.header.comment << "'";
    }
    const std::string problems = JoinProblems(CheckCatalogAgainstTree(c, tree_ + below, {}));
    if (!problems.empty()) return ::testing::AssertionFailure() << path << ":\n" << problems;
    return ::testing::AssertionSuccess();
  }

  // Gives the catalogue at `path` a comment, as a user of the reader would.
  void Comment(const std::string& path, const std::string& comment) {
    std::string patched, why;
    ASSERT_TRUE(ReplaceComment(ReadBytes(path), comment, &patched, &why)) << why;
    fs::remove(path);
    WriteWholeFile(path, patched);
  }

  e2e::ScratchFolder scratch_;
  std::string tree_;
  std::string cats_;
};

pid_t Spawn(const std::vector<std::string>& argv, const std::string& errorFile) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int WaitFor(pid_t pid) {
  int status = 0;
  if (pid <= 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Ends the process it holds when it goes out of scope, however the test ends.
class KilledAtEnd {
 public:
  explicit KilledAtEnd(pid_t pid) : pid_(pid) {}
  ~KilledAtEnd() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  KilledAtEnd(const KilledAtEnd&) = delete;
  KilledAtEnd& operator=(const KilledAtEnd&) = delete;

 private:
  pid_t pid_;
};

// Fault 1: overlapping runs on one folder, from two parameter files, over and over. The
// folder lock makes them take turns: every catalogue and backup is whole, the comment
// survives, and nothing else is left in the folder.
TEST_F(UnattendedRunTest, OverlappingRunsTakeTurns) {
  const std::string one = Params("#DEV " + tree_ + ",A\n", "one.txt");
  const std::string two = Params("#DEV " + tree_ + ",A\n#DEV " + tree_ + ",A\n", "two.txt");
  ASSERT_EQ(WaitFor(Spawn({LEDRA_CMD_PATH, "-f", one}, scratch_ / "err0")), 0);
  Comment(cats_ + "/A.kvl", "kept");
  constexpr int kRounds = 12;
  constexpr int kProcesses = 4;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE(round);
    std::vector<pid_t> runs;
    for (int p = 0; p < kProcesses; ++p) {
      runs.push_back(Spawn({LEDRA_CMD_PATH, "-f", p % 2 == 0 ? one : two},
                           scratch_ / ("err" + std::to_string(p))));
    }
    for (pid_t pid : runs) EXPECT_EQ(WaitFor(pid), 0);
    for (int p = 0; p < kProcesses; ++p) {
      const std::string err = ReadBytes(scratch_ / ("err" + std::to_string(p)));
      EXPECT_TRUE(err.empty() || err.find("waiting for the lock") == 10) << err;
    }
    ASSERT_EQ(NamesIn(cats_), (Names{"A.kvl", "A.kvl.bak", "one.txt", "two.txt"}));
    ASSERT_TRUE(Sound(cats_ + "/A.kvl", "kept"));
    ASSERT_TRUE(Sound(cats_ + "/A.kvl.bak", "kept"));
  }
}

// Fault 1: a second run says once that it waits and goes on when the first lets go.
TEST_F(UnattendedRunTest, SecondRunWaitsForTheLock) {
  const std::string params = Params("#DEV " + tree_ + ",A\n");
  const int held = open((cats_ + "/.ledra.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  const pid_t run = Spawn({LEDRA_CMD_PATH, "-f", params}, scratch_ / "err");
  usleep(700000);
  EXPECT_EQ(NamesIn(cats_), Names{"params.txt"}) << "nothing is read or written meanwhile";
  close(held);  // lets go of the lock
  EXPECT_EQ(WaitFor(run), 0);
  EXPECT_EQ(ReadBytes(scratch_ / "err"),
            "LedraCmd: waiting for the lock of the folder '" + cats_ + "' (at most 5 minutes)\n");
  EXPECT_TRUE(Sound(cats_ + "/A.kvl", ""));
  struct stat lockFile;
  ASSERT_EQ(lstat((cats_ + "/.ledra.lock").c_str(), &lockFile), 0);
  EXPECT_TRUE(S_ISREG(lockFile.st_mode));
  EXPECT_EQ(lockFile.st_mode & 07777, 0600u);
  EXPECT_EQ(lockFile.st_uid, geteuid());
}

// Whoever may read the folder may lock the folder itself: an ordinary user's lock on root's
// working folder, or a lock file planted by a user who may write there, never keeps the
// run waiting. A planted lock file is told and the run goes on without the lock.
TEST_F(UnattendedRunTest, OtherUsersCannotHoldTheRunsLock) {
  if (geteuid() != 0) GTEST_SKIP() << "another user's lock needs root to start that user";
  const std::string params = Params("#DEV " + tree_ + ",A\n");
  ASSERT_EQ(e2e::RunLedraCmd(params).status, 0);  // the lock file is there from now on
  struct Case {
    const char* name;
    bool plantLockFile;  // the folder is the other user's, who made a lock file of their own
    std::string err;
  };
  const Case cases[] = {
      {"the folder locked", false, ""},
      {"a lock file of another user", true,
       "LedraCmd: the folder '" + cats_ +
           "' cannot be locked ('.ledra.lock' is not a plain file of this user); going on "
           "without the lock\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.plantLockFile) {
      fs::remove(cats_ + "/.ledra.lock");
      ASSERT_EQ(chown(cats_.c_str(), 65534, 65534), 0);
    }
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(1);
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      const int folder = open(cats_.c_str(), O_RDONLY | O_DIRECTORY);
      if (folder < 0 || flock(folder, LOCK_EX) != 0) _exit(1);
      if (c.plantLockFile) {
        const int planted = open((cats_ + "/.ledra.lock").c_str(), O_RDWR | O_CREAT, 0666);
        if (planted < 0 || fchmod(planted, 0666) != 0 || flock(planted, LOCK_EX) != 0) _exit(1);
      }
      if (write(ready[1], "r", 1) != 1) _exit(1);
      pause();
      _exit(0);
    }
    ASSERT_GT(holder, 0);
    const KilledAtEnd holderEnds(holder);
    close(ready[1]);
    char got = 0;
    const bool holding = read(ready[0], &got, 1) == 1;
    close(ready[0]);
    ASSERT_TRUE(holding) << "user nobody could not lock the folder";

    const e2e::ProcessResult p = e2e::RunLedraCmd(params, {"timeout", "20"});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.err, c.err);
    EXPECT_TRUE(Sound(cats_ + "/A.kvl", ""));
  }
}

// Faults 2 and 8: names planted in the working folder by another user. Nothing is
// written through a link, nothing planted is read as a catalogue or blocks the run, and
// leftovers of killed runs (plain files of the run's own naming) are removed.
TEST_F(UnattendedRunTest, PlantedNamesDoNoHarm) {
  const std::string victim = scratch_ / "victim";
  WriteWholeFile(victim, "precious");
  ASSERT_TRUE(e2e::MakeSymlink(victim, cats_ + "/A.kvl.tmp"));
  ASSERT_TRUE(e2e::MakeSymlink(victim, cats_ + "/A.kvl.tmp.0123abcd"));
  ASSERT_TRUE(e2e::MakeSymlink(scratch_ / "nowhere", cats_ + "/B.kvl.tmp"));
  ASSERT_TRUE(e2e::MakeSymlink("/dev/zero", cats_ + "/dev.kvl"));
  ASSERT_TRUE(e2e::MakeSymlink(victim, cats_ + "/link.kvl"));
  ASSERT_EQ(mkfifo((cats_ + "/fifo.kvl").c_str(), 0644), 0);
  ASSERT_EQ(mkdir((cats_ + "/C.kvl.tmp").c_str(), 0755), 0);
  WriteWholeFile(cats_ + "/A.kvl.tmp.89abcdef", "left by a killed run");
  WriteWholeFile(cats_ + "/A.kvl.bak.tmp.00ff00ff", "left by a killed run");
  WriteWholeFile(cats_ + "/A.kvl.tmp.notmine", "someone else's");
  const std::string params =
      Params("#DEV " + tree_ + ",A\n#DEV " + tree_ + "/sub,B\n#DEV " + tree_ + "/sub/deeper,C\n");

  const e2e::ProcessResult p = e2e::RunLedraCmd(params, {"timeout", "30"});
  ASSERT_TRUE(p.exited);
  EXPECT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.err, "");
  EXPECT_EQ(ReadBytes(victim), "precious");
  EXPECT_FALSE(fs::exists(scratch_ / "nowhere"));
  for (const auto& [name, below] : {std::pair<std::string, std::string>{"A.kvl", ""},
                                    {"B.kvl", "/sub"},
                                    {"C.kvl", "/sub/deeper"}}) {
    EXPECT_FALSE(fs::is_symlink(cats_ + "/" + name)) << name;
    EXPECT_TRUE(Sound(cats_ + "/" + name, "", below)) << name;
  }
  EXPECT_EQ(NamesIn(cats_), (Names{"A.kvl", "A.kvl.tmp", "A.kvl.tmp.0123abcd", "A.kvl.tmp.notmine",
                                   "B.kvl", "B.kvl.tmp", "C.kvl", "C.kvl.tmp", "dev.kvl",
                                   "fifo.kvl", "link.kvl", "params.txt"}));
}

// Fault 3: the replaced catalogue keeps its name (compared without regard to case) and
// its backup is the very file, a second link to it.
TEST_F(UnattendedRunTest, ReplacementKeepsTheNameAndLinksTheBackup) {
  const std::string params = Params("#DEV " + tree_ + ",Data\n");
  ASSERT_EQ(e2e::RunLedraCmd(params).err, "");
  fs::rename(cats_ + "/Data.kvl", cats_ + "/data.KVL");
  Comment(cats_ + "/data.KVL", "mine");
  struct stat before;
  ASSERT_EQ(stat((cats_ + "/data.KVL").c_str(), &before), 0);
  ASSERT_EQ(e2e::RunLedraCmd(params).err, "");
  EXPECT_EQ(NamesIn(cats_), (Names{"data.KVL", "data.KVL.bak", "params.txt"}));
  struct stat backup;
  ASSERT_EQ(stat((cats_ + "/data.KVL.bak").c_str(), &backup), 0);
  EXPECT_EQ(backup.st_ino, before.st_ino);
  EXPECT_TRUE(Sound(cats_ + "/data.KVL", "mine"));
}

// Fault 4: a backup that cannot be made is reported and given up; no duplicate piles up.
TEST_F(UnattendedRunTest, BackupThatCannotBeMadeAddsNoDuplicate) {
  const std::string params = Params("#DEV " + tree_ + ",A\n");
  ASSERT_EQ(e2e::RunLedraCmd(params).err, "");
  ASSERT_EQ(mkdir((cats_ + "/A.kvl.bak").c_str(), 0755), 0);
  for (int run = 0; run < 3; ++run) {
    const e2e::ProcessResult p = e2e::RunLedraCmd(params);
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.err.rfind("LedraCmd: cannot back up 'A.kvl': ", 0), 0u) << p.err;
    EXPECT_EQ(std::count(p.err.begin(), p.err.end(), '\n'), 1) << p.err;
  }
  EXPECT_EQ(NamesIn(cats_), (Names{"A.kvl", "A.kvl.bak", "params.txt"}));
  EXPECT_TRUE(Sound(cats_ + "/A.kvl", ""));
}

// Fault 6: a tree deeper than PATH_MAX is catalogued to its bottom.
TEST_F(UnattendedRunTest, TreeDeeperThanPathMax) {
  const std::string deep = scratch_.Folder("deep");
  const std::string name(200, 'd');
  int at = open(deep.c_str(), O_RDONLY | O_DIRECTORY);
  constexpr int kLevels = 30;  // more than 6,000 bytes of path
  for (int level = 0; level < kLevels && at >= 0; ++level) {
    ASSERT_EQ(mkdirat(at, name.c_str(), 0755), 0);
    const int next = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY);
    close(at);
    at = next;
  }
  ASSERT_GE(at, 0);
  const int file = openat(at, "bottom.txt", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(write(file, "xyz", 3), 3);
  close(file);
  close(at);

  const e2e::ProcessResult p = e2e::RunLedraCmd(Params("#DEV " + deep + ",Deep\n"));
  EXPECT_EQ(p.err, "");
  CatalogContents c;
  std::string why;
  ASSERT_TRUE(ReadCatalogFile(cats_ + "/Deep.kvl", &c, &why)) << why;
  ASSERT_EQ(c.entries.size(), static_cast<size_t>(kLevels + 1));
  EXPECT_EQ(c.entries.back().name, "bottom.txt");
  EXPECT_EQ(c.entries.back().folderIndex, kLevels);
  EXPECT_EQ(c.folders.at(0).fileCount, 1);
}

// Fault 7: a FIFO whose writer is slow is read to its end; a parameter file in /dev (a
// pipe as /dev/stdin) is refused, so that no catalogue is ever written there.
TEST_F(UnattendedRunTest, ParameterFileFromAPipe) {
  const std::string fifo = cats_ + "/params.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const std::string writer =
      "(echo '#DEV " + tree_ + ",A'; sleep 1; echo '#DEV " + tree_ + "/sub,B') > " + fifo;
  const pid_t feeding = Spawn({"sh", "-c", writer}, scratch_ / "writer-err");
  const e2e::ProcessResult p = e2e::RunLedraCmd(fifo);
  WaitFor(feeding);
  EXPECT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.out, "Add: " + tree_ + "\nAdd: " + tree_ + "/sub\n");
  EXPECT_TRUE(Sound(cats_ + "/A.kvl", ""));
  EXPECT_TRUE(Sound(cats_ + "/B.kvl", "", "/sub"));

  const e2e::ProcessResult piped = e2e::RunProcess(
      {"sh", "-c", "echo '#DEV " + tree_ + ",P' | " LEDRA_CMD_PATH " -f /dev/stdin"}, "/");
  EXPECT_EQ(piped.status, 3);
  EXPECT_EQ(piped.err,
            "Fatal Error: Cannot read the parameter file '/dev/stdin'\n"
            "LedraCmd: catalogues are never written into the system folder '/dev'\n");
  EXPECT_FALSE(fs::exists("/dev/P.kvl"));
}

// Fault 10: names from the file system reach standard error with control characters
// escaped; a forged line or a terminal command cannot get through.
TEST_F(UnattendedRunTest, NamesInMessagesAreEscaped) {
  const std::string evil = "x\nFatal Error: forged\x1b[2J.kvl";
  WriteWholeFile(cats_ + "/" + evil, "whatever");
  ASSERT_EQ(chmod((cats_ + "/" + evil).c_str(), 0), 0);
  const e2e::ProcessResult p =
      e2e::RunLedraCmd(Params("#DEV " + tree_ + ",A\n"), e2e::kWithoutPermissionOverride);
  if (p.out.empty()) GTEST_SKIP() << "cannot drop the permission override: " << p.err;
  EXPECT_EQ(p.err,
            "LedraCmd: cannot open 'x\\nFatal Error: forged\\x1b[2J.kvl': Permission denied\n");
}

// Fault 11: a replacement takes the permissions and owner of the catalogue it replaces,
// whatever the umask of the root run; a new one follows its folder.
TEST_F(UnattendedRunTest, ReplacementKeepsPermissionsAndOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "changing the owner needs root";
  const std::string params = Params("#DEV " + tree_ + ",A\n");
  ASSERT_EQ(chmod(cats_.c_str(), 0777), 0);
  const std::string run = "umask 000; exec " LEDRA_CMD_PATH " -f " + params;
  ASSERT_EQ(e2e::RunProcess({"sh", "-c", run}, "/").err, "");
  struct stat made;
  ASSERT_EQ(stat((cats_ + "/A.kvl").c_str(), &made), 0);
  EXPECT_EQ(made.st_mode & 0777, 0666u);
  ASSERT_EQ(chown((cats_ + "/A.kvl").c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod((cats_ + "/A.kvl").c_str(), 0600), 0);
  ASSERT_EQ(e2e::RunProcess({"sh", "-c", run}, "/").err, "");
  struct stat replaced;
  ASSERT_EQ(stat((cats_ + "/A.kvl").c_str(), &replaced), 0);
  EXPECT_EQ(replaced.st_mode & 0777, 0600u);
  EXPECT_EQ(replaced.st_uid, 65534u);
  EXPECT_EQ(replaced.st_gid, 65534u);
  EXPECT_TRUE(Sound(cats_ + "/A.kvl", ""));
}

// Swaps every catalogue being written in `folder` for a hard link to `victim` as soon as
// it is created, as user nobody, until killed. Returns its process, or -1.
pid_t StartNameSwapper(const std::string& folder, const std::string& victim) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t child = fork();
  if (child != 0) {
    close(ready[1]);
    char c = 0;
    const bool started = read(ready[0], &c, 1) == 1;
    close(ready[0]);
    if (!started && child > 0) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
      return -1;
    }
    return child;
  }
  close(ready[0]);
  if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(1);
  // Set after the change of user, which clears it: the swapper never outlives the test.
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() == 1) _exit(1);
  const int watch = inotify_init1(IN_CLOEXEC);
  if (watch < 0 || inotify_add_watch(watch, folder.c_str(), IN_CREATE) < 0) _exit(1);
  if (write(ready[1], "r", 1) != 1) _exit(1);
  alignas(inotify_event) char buffer[8192];
  for (int n = 0;; ++n) {
    const ssize_t got = read(watch, buffer, sizeof buffer);
    if (got <= 0) continue;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      const std::string name = event->len > 0 ? event->name : "";
      if (name.find(".kvl.tmp.") == std::string::npos) continue;
      const std::string swap = folder + "/swap" + std::to_string(n);
      if (link(victim.c_str(), swap.c_str()) == 0 &&
          rename(swap.c_str(), (folder + "/" + name).c_str()) != 0) {
        unlink(swap.c_str());
      }
    }
  }
}

// A new catalogue discloses its names to no one who may not list its folder: it takes the
// folder's permission bits without the execute bits, limited further by the umask.
TEST_F(UnattendedRunTest, NewCataloguesTakeTheModeOfTheirFolder) {
  struct Case {
    mode_t folder;
    const char* umask;
    mode_t file;
  };
  const Case cases[] = {
      {0700, "022", 0600}, {0711, "022", 0600}, {0750, "022", 0640}, {0755, "022", 0644},
      {0775, "002", 0664}, {0777, "022", 0644}, {0777, "000", 0666}, {0755, "077", 0600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.folder) + " umask " + c.umask);
    const std::string cats = scratch_.Folder("cats" + std::to_string(c.folder) + c.umask);
    WriteWholeFile(cats + "/params.txt", "#DEV " + tree_ + ",A\n");
    ASSERT_EQ(chmod(cats.c_str(), c.folder), 0);
    const std::string run =
        std::string("umask ") + c.umask + "; exec " LEDRA_CMD_PATH " -f " + cats + "/params.txt";
    const e2e::ProcessResult p = e2e::RunProcess({"sh", "-c", run}, "/");
    EXPECT_EQ(p.status, 0) << p.err;
    struct stat made;
    ASSERT_EQ(stat((cats + "/A.kvl").c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 07777, c.file);
    // A second run replaces it and keeps the mode, whatever the folder says now.
    ASSERT_EQ(chmod((cats + "/A.kvl").c_str(), 0604), 0);
    ASSERT_EQ(chmod(cats.c_str(), 0700), 0);
    EXPECT_EQ(e2e::RunProcess({"sh", "-c", run}, "/").status, 0);
    ASSERT_EQ(stat((cats + "/A.kvl").c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 07777, 0604u);
  }
}

// Fault 11, continued: a user who can write to the catalogue folder swaps the catalogue
// being written for a hard link to a file of theirs the moment it appears. The new file
// takes the earlier catalogue's owner and mode through the descriptor it was written
// with, so root never changes the owner or mode of whatever the name then points to.
TEST_F(UnattendedRunTest, OwnerAndModeAreNeverGivenToASwappedName) {
  if (geteuid() != 0) GTEST_SKIP() << "the race needs root to run and another user to swap";
  const std::string params = Params("#DEV " + tree_ + ",A\n");
  ASSERT_EQ(e2e::RunLedraCmd(params).err, "");
  const std::string earlier = ReadBytes(cats_ + "/A.kvl");
  ASSERT_EQ(chown(cats_.c_str(), 65534, 65534), 0);
  const std::string victim = scratch_ / "victim";
  WriteWholeFile(victim, "precious");
  ASSERT_EQ(chown(victim.c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(victim.c_str(), 0600), 0);
  struct stat victimBefore;
  ASSERT_EQ(stat(victim.c_str(), &victimBefore), 0);

  const pid_t swapper = StartNameSwapper(cats_, victim);
  if (swapper < 0) GTEST_SKIP() << "cannot start a process of user nobody";
  const KilledAtEnd swapperEnds(swapper);
  constexpr int kRuns = 50;
  int swapsLanded = 0;
  for (int run = 0; run < kRuns; ++run) {
    // The earlier catalogue, root's and of a mode of its own, is what the new one copies.
    fs::remove(cats_ + "/A.kvl");
    WriteWholeFile(cats_ + "/A.kvl", earlier);
    ASSERT_EQ(chown((cats_ + "/A.kvl").c_str(), 0, 0), 0);
    ASSERT_EQ(chmod((cats_ + "/A.kvl").c_str(), 0604), 0);
    e2e::RunLedraCmd(params);
    struct stat now;
    ASSERT_EQ(stat(victim.c_str(), &now), 0);
    ASSERT_EQ(now.st_uid, 65534u) << "run " << run;
    ASSERT_EQ(now.st_gid, 65534u) << "run " << run;
    ASSERT_EQ(now.st_mode & 07777, 0600u) << "run " << run;
    struct stat stored;
    if (stat((cats_ + "/A.kvl").c_str(), &stored) == 0 && stored.st_ino == victimBefore.st_ino) {
      ++swapsLanded;
    }
  }
  EXPECT_EQ(ReadBytes(victim), "precious");
  // The race was run, not missed: the swapped name is what the run renamed into place.
  EXPECT_GT(swapsLanded, 0);
  std::printf("%d of %d runs had their catalogue name swapped\n", swapsLanded, kRuns);
}

// A user who owns the working folder makes the parameter file a pipe and, once root has
// opened it, moves the folder away and puts a link to a folder of root's in its place (or
// nothing) before writing the device lines. The run stays in the folder it entered: its
// catalogue lands in the folder moved away, never behind the link nor in root's own
// current folder.
TEST_F(UnattendedRunTest, WorkingFolderSwappedWhileTheParametersAreRead) {
  if (geteuid() != 0) GTEST_SKIP() << "the swap needs root to run and another user to swap";
  const std::string home = scratch_.Folder("home");
  const std::string secret = scratch_.Folder("secret");
  ASSERT_EQ(chmod(secret.c_str(), 0700), 0);
  ASSERT_EQ(chown(home.c_str(), 65534, 65534), 0);
  struct Case {
    const char* name;
    std::string putInPlace;  // shell command run as the user after the folder is moved
  };
  const Case cases[] = {
      {"a link to root's folder", "ln -s " + secret + " " + home + "/cats"},
      {"nothing in its place", "true"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(home + "/cats");
    fs::remove_all(home + "/away");
    const std::string cats = home + "/cats";
    ASSERT_EQ(mkdir(cats.c_str(), 0755), 0);
    ASSERT_EQ(chown(cats.c_str(), 65534, 65534), 0);
    const std::string fifo = cats + "/params.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(chown(fifo.c_str(), 65534, 65534), 0);

    const pid_t run = Spawn({LEDRA_CMD_PATH, "-f", fifo}, scratch_ / "err");
    ASSERT_GT(run, 0);
    // Opening the pipe for writing waits until the run has opened it for reading.
    std::vector<std::string> attack = e2e::kAsNobody;
    attack.insert(attack.end(), {"sh", "-c",
                                 "exec 3>" + fifo + " && mv " + cats + " " + home + "/away && " +
                                     c.putInPlace + " && echo '#DEV " + tree_ + ",EVIL' >&3"});
    const e2e::ProcessResult attacker = e2e::RunProcess(attack, "/");
    EXPECT_EQ(attacker.status, 0) << attacker.err;
    EXPECT_EQ(WaitFor(run), 0) << ReadBytes(scratch_ / "err");
    EXPECT_EQ(NamesIn(secret), Names{});
    EXPECT_FALSE(fs::exists("/EVIL.kvl"));
    EXPECT_EQ(NamesIn(home + "/away"), (Names{"EVIL.kvl", "params.fifo"}));
    EXPECT_TRUE(Sound(home + "/away/EVIL.kvl", ""));
  }
}

// A working folder that cannot be entered ends the run before anything is read or walked.
TEST_F(UnattendedRunTest, WorkingFolderThatCannotBeEnteredIsFatal) {
  const std::string params = Params("#DEV " + tree_ + ",A\n");
  ASSERT_EQ(chmod(cats_.c_str(), 0600), 0);  // readable names, but no way in
  const e2e::ProcessResult p = e2e::RunLedraCmd(params, e2e::kWithoutPermissionOverride);
  ASSERT_EQ(chmod(cats_.c_str(), 0755), 0);
  if (p.status == 0 && geteuid() == 0) GTEST_SKIP() << "cannot drop the permission override";
  EXPECT_EQ(p.status, 3);
  EXPECT_EQ(p.out, "");
  EXPECT_EQ(p.err, "Fatal Error: Cannot read the parameter file '" + params +
                       "'\nLedraCmd: cannot open the folder '" + cats_ + "': Permission denied\n");
  EXPECT_EQ(NamesIn(cats_), Names{"params.txt"});
}

}  // namespace
}  // namespace ledra
