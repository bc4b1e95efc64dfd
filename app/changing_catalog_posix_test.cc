// `ledra` as a separate process over catalogue files that change or lie under it: a file cut
// short or rewritten in place while a command reads it ends in the damage message, never in
// a signal; and a header whose counts the size of a large sparse file allows is refused
// without the file being held in memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "catalog/laid_catalog_testing.h"
#include "platform/posix_testing.h"

namespace ledra {
namespace {

// How a process ended, and the most memory it held.
struct Ended {
  bool signalled = false;
  int signal = 0;
  int status = -1;
  long maxRssKiB = 0;
  std::string err;
};

// Starts ledra with `args`, its output dropped and its errors caught in *errFd.
pid_t StartLedra(const std::vector<std::string>& args, int* errFd) {
  std::vector<char*> argv{const_cast<char*>(LEDRA_READER_PATH)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  *errFd = memfd_create("ledra-stderr", MFD_CLOEXEC);
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, 1) < 0 || dup2(*errFd, 2) < 0) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return child;
}

Ended Wait(pid_t child, int errFd) {
  Ended ended;
  int status = 0;
  struct rusage usage {};
  if (wait4(child, &status, 0, &usage) == child) {
    ended.signalled = WIFSIGNALED(status);
    ended.signal = ended.signalled ? WTERMSIG(status) : 0;
    ended.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ended.maxRssKiB = usage.ru_maxrss;
  }
  lseek(errFd, 0, SEEK_SET);
  char buffer[4096];
  ssize_t n;
  while ((n = read(errFd, buffer, sizeof buffer)) > 0) {
    ended.err.append(buffer, static_cast<size_t>(n));
  }
  close(errFd);
  return ended;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  const bool ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  return close(fd) == 0 && ok;
}

// A catalogue of `count` files of 2 MiB and more in one folder: large enough that reading
// and printing it takes a while, each file a candidate for dupes.
std::string ManyFiles(int count) {
  test::LaidCatalog c;
  c.root = "/mnt/race/";
  c.volumeName = "RACE";
  double total = 0;
  for (int i = 0; i < count; ++i) {
    const int64_t size = (2 << 20) + i % 1000;
    c.entries.push_back({size, 0, "file" + std::to_string(1000000 + i) + ".jpg"});
    total += static_cast<double>(size);
  }
  c.folders = {{count, total}};
  return c.Bytes();
}

TEST(ChangingCatalogTest, FileCutOrRewrittenWhileReadGivesDamageNotASignal) {
  test::ScratchFolder scratch;
  ASSERT_TRUE(scratch.ok());
  const std::string cats = scratch.Folder("cats");
  const std::string path = cats + "/RACE.kvl";
  const std::string bytes = ManyFiles(300000);
  const std::vector<std::vector<std::string>> commands = {{"ls", "--in", cats, "RACE"},
                                                          {"dupes", "--in", cats},
                                                          {"du", "--in", cats, "RACE"},
                                                          {"diff", path, path},
                                                          {"unique", "--in", cats, "RACE"}};
  int damaged = 0;
  for (int run = 0; run < 24; ++run) {
    for (const std::vector<std::string>& command : commands) {
      ASSERT_TRUE(WriteFile(path, bytes));
      int errFd = -1;
      const pid_t child = StartLedra(command, &errFd);
      ASSERT_GT(child, 0);
      // The cut falls somewhere between the start and the end of the reading.
      std::this_thread::sleep_for(std::chrono::microseconds(2000 * run));
      // Rewritten in place as a writer without a temporary file would: cut, then written
      // again, the first time only in part.
      ASSERT_EQ(truncate(path.c_str(), 0), 0);
      ASSERT_TRUE(WriteFile(path, bytes.substr(0, bytes.size() / 3)));
      const Ended ended = Wait(child, errFd);
      const std::string label = command[0] + " after " + std::to_string(2 * run) + " ms";
      EXPECT_FALSE(ended.signalled) << label << ": signal " << ended.signal;
      EXPECT_TRUE(ended.status >= 0 && ended.status <= 2) << label << ": " << ended.status;
      if (ended.status == 2) {
        ++damaged;
        EXPECT_NE(ended.err.find("RACE.kvl: "), std::string::npos) << label << ": " << ended.err;
      }
    }
  }
  // The cut must have met some of the runs while they read, or the test proves nothing.
  EXPECT_GT(damaged, 0);
}

// A sparse file of `size` bytes that starts with `lead`.
bool WriteSparse(const std::string& path, const std::string& lead, off_t size) {
  return WriteFile(path, lead) && truncate(path.c_str(), size) == 0;
}

TEST(ChangingCatalogTest, CountsOverASparseFileAreRefusedWithoutHoldingIt) {
  test::ScratchFolder scratch;
  ASSERT_TRUE(scratch.ok());
  const off_t kSize = off_t{4} << 30;
  // The header, one folder record and no entry count: what both cases begin with.
  test::LaidCatalog laid;
  laid.version = 6;  // whose folder numbers reach every count
  std::string lead = laid.Bytes();
  lead.resize(lead.size() - 4);
  const size_t folderCountAt = lead.size() - 4 - 1 - 12;
  struct Case {
    const char* name;
    std::string lead;
    const char* what;
    std::vector<std::string> commands;
  };
  // A folder count that claims nearly all of the file: the holes read as folder records
  // of nothing, and as an entry count of 0, so that no entry introduces the folders.
  std::string folders = lead;
  const uint32_t manyFolders = static_cast<uint32_t>((kSize - lead.size() - 4) / 12);
  std::memcpy(&folders[folderCountAt], &manyFolders, 4);
  // An entry count that claims nearly all of the file: the holes read as files with empty
  // names, and the file ends in bytes no entry takes. Only a pass over the whole table
  // finds that, so it is made once, and streamed.
  std::string entries = lead;
  const uint32_t manyEntries = static_cast<uint32_t>((kSize - lead.size() - 4) / 17);
  entries.append(reinterpret_cast<const char*>(&manyEntries), 4);
  // The entry case reads 4 GiB once per command: only the two ways of reading a whole
  // catalogue, the loaded one of dupes (unique, diff, export) and the listing of ls (du).
  const Case cases[] = {
      {"folders", folders, "introduces 0 folders", {"dupes", "ls", "du", "unique", "find"}},
      {"entries", entries, "bytes trail the entry table", {"dupes", "ls"}}};
  for (const Case& c : cases) {
    const std::string cats = scratch.Folder(c.name);
    ASSERT_TRUE(WriteSparse(cats + "/DATA.kvl", c.lead, kSize));
    for (const std::string& command : c.commands) {
      std::vector<std::string> args{command, "--in", cats};
      if (command == "ls" || command == "du" || command == "unique") args.push_back("DATA");
      if (command == "find") args.push_back("x");
      int errFd = -1;
      const pid_t child = StartLedra(args, &errFd);
      ASSERT_GT(child, 0);
      const Ended ended = Wait(child, errFd);
      const std::string label = std::string(c.name) + ", " + command;
      EXPECT_FALSE(ended.signalled) << label;
      EXPECT_EQ(ended.status, 2) << label << ": " << ended.err;
      EXPECT_NE(ended.err.find(c.what), std::string::npos) << label << ": " << ended.err;
      // Reading the file into memory, or a record per counted entry, would take gigabytes;
      // the bound leaves room for the sanitizers' own memory (about 70 MB at rest).
      EXPECT_LT(ended.maxRssKiB, 256 * 1024) << label;
    }
  }
}

}  // namespace
}  // namespace ledra
