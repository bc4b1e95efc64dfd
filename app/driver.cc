#include "app/driver.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "cataloguing/cataloger.h"
#include "platform/byte_text.h"
#include "platform/path_text.h"
#include "platform/text_lines.h"

namespace ledra {

namespace {

constexpr const char* kVersion = "LedraCmd 1.0";

constexpr const char* kUsage =
    "*** LedraCmd 1.0 *** Ledra, 7 December 2026\n"
    "to catalogize fixed disks by System Agent/Task Scheduler/At. Use\n"
    ">LedraCmd -f parameter_file\n"
    "Parameter file directives:\n"
    "#IGN list         - (opt) list of file names and/or directories (see Ledra)\n"
    "#DEV root[,alias] - root and (opt) alias (See Ledra)\n"
    "...\n"
    "#IGN list         - (opt) list of file names and/or directories (see Ledra)\n"
    "#DEV root[,alias] - root and (opt) alias (See Ledra)\n"
    "...\n";

// A parameter-file piece is at most this long, its line feed included.
constexpr size_t kLinePieceLength = 255;
// How much of a line too long to catalogue its message shows.
constexpr size_t kShownLineStart = 60;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsWhiteSpace(text[begin])) ++begin;
  while (end > begin && IsWhiteSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

constexpr int kLockPollMilliseconds = 200;

// Takes the working folder (the current one) for this run, waiting while its lock is held.
// False when the wait ran out (reported as fatal). Where the folder offers no lock,
// `unlocked` receives the line that says so, told only once the run goes on.
bool HoldWorkingFolder(Platform& platform, MessageSink& errors, const std::string& folder,
                       std::unique_ptr<FolderLock>* lock, std::string* unlocked) {
  const int32_t deadline = platform.Now() + kLockWaitSeconds;
  const std::string shown = EscapeControls(folder);
  for (bool told = false;; platform.Pause(kLockPollMilliseconds)) {
    OsError err;
    switch (platform.TryLockFolder(".", lock, &err)) {
      case LockOutcome::Held:
        return true;
      case LockOutcome::Unsupported:
        *unlocked = "the folder '" + shown + "' cannot be locked (" + err.text +
                    "); going on without the lock";
        return true;
      case LockOutcome::Busy:
        break;
    }
    if (platform.Now() >= deadline) {
      errors.StartLine();
      // Whoever holds the lock is not known: another run, or anyone else able to.
      errors.WriteLine("Fatal Error: the lock of the folder '" + shown + "' was held for " +
                       std::to_string(kLockWaitSeconds / 60) + " minutes");
      return false;
    }
    if (!told) {
      platform.Report("waiting for the lock of the folder '" + shown + "' (at most " +
                      std::to_string(kLockWaitSeconds / 60) + " minutes)");
      told = true;
    }
  }
}

// Builds the run's Cataloger in the working folder (the current one) and makes sure that
// the folder takes new files before any device is walked: a run that could store nothing
// would otherwise walk every device first. False when it does not (reported as fatal).
bool CanStore(Platform& platform, MessageSink& errors, const std::string& folder,
              std::unique_ptr<Cataloger>* cataloger) {
  *cataloger = std::make_unique<Cataloger>(platform, errors);
  OsError err;
  if ((*cataloger)->CanStoreCatalogues(&err)) return true;
  errors.StartLine();
  errors.WriteLine("Fatal Error: Cannot create files in the folder '" + EscapeControls(folder) +
                   "': " + err.text);
  return false;
}

// Handles one piece of the parameter file: "#IGN" replaces the ignore text, "#DEV" is
// echoed and catalogued, anything else is passed over. False when a device line was
// catalogued and failed. A piece decoded from a Unicode file (`unicode`) is UTF-8: its root
// names the real folder, while its alias and patterns are stored and matched as listed
// names are.
bool ProcessLine(std::string line, bool unicode, std::string* ignoreText, Cataloger& cataloger,
                 Platform& platform, MessageSink& out) {
  // The line is text: a NUL byte ends it.
  const size_t nul = line.find('\0');
  if (nul != std::string::npos) line.resize(nul);

  size_t argument = 0;
  while (argument < line.size() && !IsBlank(line[argument])) ++argument;
  while (argument < line.size() && IsBlank(line[argument])) ++argument;
  const size_t lineFeed = line.find('\n', argument);
  if (lineFeed != std::string::npos) line.resize(lineFeed);
  if (argument > line.size()) argument = line.size();

  if (StartsWithIgnoringAsciiCase(line, "#IGN")) {
    *ignoreText = line.substr(argument);
    if (unicode) *ignoreText = platform.NameFromUtf8(*ignoreText);
    return true;
  }
  if (!StartsWithIgnoringAsciiCase(line, "#DEV")) return true;

  size_t pos = argument;
  while (pos < line.size() && line[pos] != ',') ++pos;
  const std::string root = line.substr(argument, pos - argument);
  while (pos < line.size() && (line[pos] == ',' || IsBlank(line[pos]))) ++pos;
  const std::string alias = line.substr(pos);
  if (root.empty()) return true;

  if (!unicode) {
    out.WriteLine("Add: " + root);
    return cataloger.CatalogDevice(Trim(root), *ignoreText, alias);
  }
  out.WriteLine("Add: " + platform.NameFromUtf8(root));
  return cataloger.CatalogDevice(Trim(platform.PathFromUtf8(root)), *ignoreText,
                                 platform.NameFromUtf8(alias));
}

// The start of a line too long to catalogue, as its message shows it: whole characters,
// in the platform's terms.
std::string Shown(const std::string& piece, bool unicode, Platform& platform) {
  if (!unicode) return CutAtCharacter(piece, kShownLineStart, platform.LeadBytes());
  return platform.NameFromUtf8(CutAtCharacter(piece, kShownLineStart, NoLeadBytes));
}

// LEDRA_WALK_THREADS fixes how many folders a walk reads at a time, 1 to 64; 0 when it is
// not set. Any other value is told once and left to the walk's own choice.
int WalkThreadsFromEnvironment(Platform& platform) {
  const char* text = std::getenv("LEDRA_WALK_THREADS");
  if (text == nullptr || *text == '\0') return 0;
  char* end = nullptr;
  const long threads = std::strtol(text, &end, 10);
  if (*end == '\0' && threads >= 1 && threads <= 64) return static_cast<int>(threads);
  platform.Report("LEDRA_WALK_THREADS is not a number from 1 to 64 and is ignored");
  return 0;
}

}  // namespace

int FindOption(int argc, const char* const* argv, const char* name, std::string* value,
               const std::string& defaultValue) {
  for (int i = 1; i < argc - 1; ++i) {
    const char* arg = argv[i];
    if ((arg[0] == '-' || arg[0] == '/') && EqualsIgnoringAsciiCase(arg + 1, name)) {
      *value = argv[i + 1];
      return 1;
    }
  }
  *value = defaultValue;
  return 0;
}

int RunDriver(int argc, const char* const* argv, Platform& platform, MessageSink& out,
              MessageSink& errors) {
  if (!platform.Start()) {
    errors.WriteLine("Fatal Error: MFC initialization failed");
    return kExitStartFailed;
  }
  if (argc == 2 && EqualsIgnoringAsciiCase(argv[1], "--version")) {
    out.WriteLine(kVersion);
    return kExitOk;
  }
  std::string parameterFile;
  FindOption(argc, argv, "f", &parameterFile, "");
  if (parameterFile.empty()) {
    // Run bare, the program only shows how to use it; given arguments it cannot use, it
    // says so in its status too, so that a scheduler's mistyped line shows up.
    errors.Write(kUsage);
    return argc > 1 ? kExitUsage : kExitOk;
  }

  const std::string cannotRead =
      "Fatal Error: Cannot read the parameter file '" + parameterFile + "'";
  std::string fullPath;
  if (!platform.AbsolutePath(parameterFile, &fullPath)) fullPath = parameterFile;
  const std::string workingFolder = platform.FolderOfFile(fullPath);
  // The folder is entered before the parameter file is opened, which may block (a pipe)
  // for as long as its writer likes: from here on, every catalogue name is taken in the
  // folder entered now, even if another is put in its place under the same name.
  std::string savedFolder;
  const bool haveSavedFolder = platform.CurrentFolder(&savedFolder);
  std::string why;
  if (!platform.EnterWorkingFolder(workingFolder, &why)) {
    errors.WriteLine(cannotRead);
    platform.Report(why);
    if (haveSavedFolder) platform.ChangeFolder(savedFolder);
    return kExitCannotReadParameters;
  }

  OsError err;
  // The name after the folder's, as FolderOfFile cut it.
  const size_t cut = LastSeparator(fullPath, platform.Separator(), platform.LeadBytes());
  const std::string fileName = cut == std::string::npos ? fullPath : fullPath.substr(cut + 1);
  TextLineReader lines(platform.OpenParameterFile(fileName, &err));
  // A folder opens as a file on POSIX and only fails when read: the first piece is read
  // now, so that it is refused like a file that cannot be opened.
  std::string piece;
  const bool havePiece = lines.ReadPiece(&piece, kLinePieceLength);
  if (lines.readFailed()) {
    errors.WriteLine(cannotRead);
    if (haveSavedFolder) platform.ChangeFolder(savedFolder);
    return kExitCannotReadParameters;
  }

  // One run per folder, from before the catalogue headers are read until the last
  // catalogue is stored: overlapping runs would write over each other's files.
  std::unique_ptr<FolderLock> lock;
  std::unique_ptr<Cataloger> run;
  std::string unlocked;
  int status = kExitOk;
  if (!HoldWorkingFolder(platform, errors, workingFolder, &lock, &unlocked)) {
    status = kExitFolderBusy;
  } else if (!CanStore(platform, errors, workingFolder, &run)) {
    // A folder that takes no file takes no lock file either: the fatal line says it all.
    status = kExitCannotReadParameters;
  } else {
    if (!unlocked.empty()) platform.Report(unlocked);
    Cataloger& cataloger = *run;
    cataloger.SetWalkThreads(WalkThreadsFromEnvironment(platform));
    std::string ignoreText;
    bool pieceEndedLine = true;
    size_t lineNumber = 0;
    for (bool more = havePiece; more; more = lines.ReadPiece(&piece, kLinePieceLength)) {
      // A line cut at the piece limit goes on as a line of its own; an ignore list cut
      // that way loses its tail, which the user is told once.
      const bool cut =
          pieceEndedLine && lines.pieceLength() == kLinePieceLength && piece.back() != '\n';
      if (pieceEndedLine) ++lineNumber;
      if (cut && StartsWithIgnoringAsciiCase(piece, "#IGN")) {
        platform.Report("the ignore list is longer than " + std::to_string(kLinePieceLength - 1) +
                        " characters; the rest was read as a line of its own");
      }
      pieceEndedLine = !piece.empty() && piece.back() == '\n';
      // A root cut short may name another folder that exists ('Photos 2023' for 'Photos
      // 2023 backup'): catalogued, it would pass for the folder the line meant.
      if (cut && StartsWithIgnoringAsciiCase(piece, "#DEV")) {
        platform.Report("line " + std::to_string(lineNumber) + " is longer than " +
                        std::to_string(kLinePieceLength - 1) +
                        " characters and is not catalogued: '" +
                        EscapeControls(Shown(piece, lines.unicode(), platform)) + "...'");
        status = kExitDeviceFailed;
        continue;
      }
      // A scheduler learns from the status alone that a device was not catalogued; the
      // other devices are catalogued all the same.
      if (!ProcessLine(piece, lines.unicode(), &ignoreText, cataloger, platform, out)) {
        status = kExitDeviceFailed;
      }
    }
  }
  run.reset();
  lock.reset();
  if (haveSavedFolder) platform.ChangeFolder(savedFolder);
  return status;
}

}  // namespace ledra
