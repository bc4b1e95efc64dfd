// The program as a person at a terminal and as a scheduler see it: with standard error on
// a pseudo-terminal, a progress line per device and a summary of each catalogue written;
// with standard error on a pipe, the streams exactly as they have always been.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/end_to_end_posix_support.h"
#include "app/end_to_end_support.h"

namespace ledra {
namespace {

struct Streams {
  std::string out;
  std::string err;
  int status = -1;  // the exit status, -1 when the program did not exit
};

// Runs "LedraCmd -f parameterFile" with standard output on a pipe and standard error on a
// pipe (columns < 0) or on a pseudo-terminal that reports `columns` (0: a bare one that
// tells no width). Both streams are read while the program runs.
Streams RunWithStandardError(const std::string& parameterFile, int columns) {
  Streams s;
  int outPipe[2];
  int errPipe[2] = {-1, -1};
  if (pipe(outPipe) != 0) return s;
  int errRead = -1;
  int errWrite = -1;
  if (columns < 0) {
    if (pipe(errPipe) != 0) return s;
    errRead = errPipe[0];
    errWrite = errPipe[1];
  } else {
    errRead = posix_openpt(O_RDWR | O_NOCTTY);
    if (errRead < 0 || grantpt(errRead) != 0 || unlockpt(errRead) != 0) return s;
    errWrite = open(ptsname(errRead), O_RDWR | O_NOCTTY);
    struct termios raw;
    tcgetattr(errWrite, &raw);
    cfmakeraw(&raw);  // bytes as written: no "\n" made into "\r\n"
    tcsetattr(errWrite, TCSANOW, &raw);
    struct winsize size = {};
    size.ws_col = static_cast<unsigned short>(columns);
    ioctl(errRead, TIOCSWINSZ, &size);
  }
  const pid_t child = fork();
  if (child == 0) {
    if (dup2(outPipe[1], 1) < 0 || dup2(errWrite, 2) < 0) _exit(126);
    close(outPipe[0]);
    close(errRead);
    execl(LEDRA_CMD_PATH, LEDRA_CMD_PATH, "-f", parameterFile.c_str(), nullptr);
    _exit(127);
  }
  close(outPipe[1]);
  close(errWrite);
  struct pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errRead, POLLIN, 0}};
  std::string* into[2] = {&s.out, &s.err};
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    if (poll(fds, 2, 10000) <= 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        into[i]->append(buffer, static_cast<size_t>(n));
      } else {  // the end, or EIO from a terminal nobody holds open any more
        close(fds[i].fd);
        fds[i].fd = -1;
      }
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  s.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return s;
}

// The pieces of a terminal's output between carriage returns and line ends.
std::vector<std::string> Pieces(const std::string& text) {
  std::vector<std::string> pieces(1);
  for (const char c : text) {
    if (c == '\r' || c == '\n') {
      pieces.emplace_back();
    } else {
      pieces.back() += c;
    }
  }
  return pieces;
}

TEST(TerminalPosixTest, ProgressOnATerminalOnlyAndStreamsUnchangedOtherwise) {
  e2e::ScratchFolder scratch;
  ASSERT_TRUE(scratch.ok());
  const std::string tree = scratch.Folder("tree");
  const std::string other = scratch.Folder("other\x1b[2J");
  const std::string missing = scratch / "missing";
  e2e::WriteWholeFile(tree + "/a.txt", "0123456789");
  e2e::WriteWholeFile(other + "/b.txt", "abc");
  struct Case {
    int columns;  // -1: a pipe
    const char* name;
  };
  const Case cases[] = {{-1, "a pipe"}, {0, "a bare pseudo-terminal"}, {30, "30 columns"}};
  const std::string expectedOut = "Add: " + tree + "\nAdd: " + missing + "\nAdd: " + other + "\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string cats = scratch.Folder("cats" + std::to_string(c.columns + 1));
    e2e::WriteWholeFile(cats + "/params.txt",
                        "#DEV " + tree + ",A\n#DEV " + missing + "\n#DEV " + other + ",B\n");
    const Streams s = RunWithStandardError(cats + "/params.txt", c.columns);
    EXPECT_EQ(s.status, 5) << "one device failed";
    EXPECT_EQ(s.out, expectedOut);
    const std::string failure = e2e::DeviceFailure(missing, e2e::kNoRoot);
    if (c.columns < 0) {
      EXPECT_EQ(s.err, failure);
      continue;
    }
    // A status line for A, the summary of A.kvl, the failure and its reason, a status line
    // for B, the summary of B.kvl.
    const size_t width = c.columns == 0 ? 80 : static_cast<size_t>(c.columns);
    int statusLines = 0;
    std::vector<std::string> summaries;
    for (const std::string& piece : Pieces(s.err)) {
      if (piece.rfind("Wrote ", 0) == 0) {
        summaries.push_back(piece.substr(0, piece.find(':')));
      } else if (piece.find("folders") != std::string::npos) {
        ++statusLines;
        EXPECT_LT(piece.size(), width) << piece;
        EXPECT_EQ(piece.find('\x1b'), std::string::npos) << "a name moves the cursor";
      }
    }
    EXPECT_GE(statusLines, 2) << s.err;
    EXPECT_EQ(summaries,
              (std::vector<std::string>{"Wrote A.kvl (version 5)", "Wrote B.kvl (version 5)"}))
        << s.err;
    EXPECT_NE(s.err.find("\n" + failure + "\r"), std::string::npos) << s.err;
  }
}

}  // namespace
}  // namespace ledra
