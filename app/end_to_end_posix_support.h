// What the Linux end-to-end tests need beyond plain folders: the scratch folders and real
// volumes of platform/posix_testing.h, the program started as a separate process with its
// two streams caught byte for byte, and the filesystem facts the catalogue checker asks of
// the native system.
#ifndef LEDRA_APP_END_TO_END_POSIX_SUPPORT_H_
#define LEDRA_APP_END_TO_END_POSIX_SUPPORT_H_

#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "catalog/tree_check_testing.h"
#include "platform/posix_testing.h"

namespace ledra {
namespace e2e {

using test::MountStack;
using test::ScratchFolder;

// What a separate process left: how it ended and its two streams, byte for byte.
struct ProcessResult {
  bool exited = false;
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string ReadAllFrom(int fd) {
  std::string text;
  lseek(fd, 0, SEEK_SET);
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}

// Starts `argv` (argv[0] looked up on the path) in `folder`, its standard output and error
// caught in memory files, and waits for it.
inline ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& folder) {
  ProcessResult result;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const int out = memfd_create("ledra-stdout", MFD_CLOEXEC);
  const int err = memfd_create("ledra-stderr", MFD_CLOEXEC);
  if (out < 0 || err < 0) {
    result.err = std::string("memfd_create: ") + std::strerror(errno);
    return result;
  }
  const pid_t child = fork();
  if (child == 0) {
    if (dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(folder.c_str()) != 0) _exit(126);
    execvp(args[0], args.data());
    const std::string why = "exec " + argv[0] + ": " + std::strerror(errno) + "\n";
    if (write(2, why.data(), why.size()) < 0) _exit(127);
    _exit(127);
  }
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    result.exited = true;
    result.status = WEXITSTATUS(status);
  }
  result.out = ReadAllFrom(out);
  result.err = ReadAllFrom(err);
  close(out);
  close(err);
  return result;
}

// The program itself, "LedraCmd -f <parameterFile>", after the given command prefix (such
// as setpriv with its options).
inline ProcessResult RunLedraCmd(const std::string& parameterFile,
                                 const std::vector<std::string>& prefix = {}) {
  std::vector<std::string> argv = prefix;
  argv.insert(argv.end(), {LEDRA_CMD_PATH, "-f", parameterFile});
  return RunProcess(argv, "/");
}

// As user and group 65534 (nobody), without supplementary groups.
inline const std::vector<std::string> kAsNobody = {"setpriv", "--reuid=65534", "--regid=65534",
                                                   "--clear-groups"};
// As root without the capabilities that override file and folder permissions.
inline const std::vector<std::string> kWithoutPermissionOverride = {
    "setpriv", "--bounding-set=-dac_override,-dac_read_search",
    "--inh-caps=-dac_override,-dac_read_search"};

// The checker's questions answered by lstat: the filesystem an item lies on, and its
// last-write time.
inline TreeCheckOptions NativeCheckOptions() {
  TreeCheckOptions options;
  options.deviceOf = [](const std::string& path, uint64_t* device) {
    struct stat s;
    if (lstat(path.c_str(), &s) != 0) return false;
    *device = static_cast<uint64_t>(s.st_dev);
    return true;
  };
  options.modifiedOf = [](const std::string& path, int64_t* seconds) {
    struct stat s;
    if (lstat(path.c_str(), &s) != 0) return false;
    *seconds = static_cast<int64_t>(s.st_mtime);
    return true;
  };
  return options;
}

inline bool MakeSymlink(const std::string& target, const std::string& link) {
  return symlink(target.c_str(), link.c_str()) == 0;
}

}  // namespace e2e
}  // namespace ledra

#endif  // LEDRA_APP_END_TO_END_POSIX_SUPPORT_H_
