// One subcommand of `ledra`, and what every subcommand shares: the options that say where the
// catalogues are and how results are written, the catalogues those options choose, the
// lines on standard error and the exit status. The subcommands themselves are listed once,
// in the table of app/ledra_cli.cc; each lives in a file of its own (app/ledra_find.cc, ...).
#ifndef LEDRA_APP_LEDRA_COMMAND_H_
#define LEDRA_APP_LEDRA_COMMAND_H_

#include <CLI/CLI.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/ledra_cli.h"
#include "query/catalog_encoding.h"
#include "query/catalog_selection.h"
#include "query/entry_output.h"
#include "query/loaded_catalog.h"

namespace ledra {

// Options every subcommand takes (export only the first three and --encoding).
struct CommonOptions {
  std::vector<std::string> in;
  bool backups = false;
  bool json = false;
  bool csv = false;
  bool bytes = false;
  bool crlf = false;
  std::string encoding;
};

// Which of the output options a subcommand offers, and where in its help they stand.
enum class OutputOptions {
  PerResult,  // --json, --csv, --bytes before --encoding: one JSON object per result
  PerRow,     // --json, --csv, --bytes after --encoding: one JSON object per row
  None,       // the subcommand chooses its form otherwise (export)
};

void AddCommonOptions(CLI::App& command, CommonOptions* options, OutputOptions outputs);

// The values of one subcommand's options once parsed; each subcommand extends it.
struct CommandOptions {
  virtual ~CommandOptions() = default;
  CommonOptions common;
};

// One run of a subcommand: its catalogues, its reports and its exit status, which is 2 once
// any error was reported, else 0 when something was found and 1 when nothing was.
class CommandRun {
 public:
  CommandRun(ReaderContext& context, const CommonOptions& common)
      : context_(context), common_(common) {
    holding_.platform = &context.platform;
    holding_.memoryBytes = context.textHoldingBytes;
  }

  ReaderContext& context() const { return context_; }
  Platform& platform() const { return context_.platform; }
  OutputSink& out() const { return context_.out; }
  const CommonOptions& common() const { return common_; }

  // Reports `line`; the run will end in status 2. Returns that status.
  int Error(const std::string& line);
  // Reports `text` of several lines, its names escaped already (a selection's error); the
  // run will end in status 2. Returns that status.
  int ErrorText(const std::string& text);
  // Reports `line` without changing the status.
  void Notice(const std::string& line) { context_.Message(line); }
  bool failed() const { return failed_; }

  // The catalogue files of the folders --in, LEDRA_CATALOGS or the current folder names;
  // every folder that cannot be listed is an error.
  std::vector<CatalogFile> Files();
  // Reads the headers of `files`; every one that cannot be read is an error, or with
  // `selecting` (only the volumes chosen are read further) a notice: a damaged catalogue
  // makes the run fail only where it is read. The files `keepOpen` names stay open for
  // the reading that follows (CatalogFile::reader).
  void ReadHeaders(std::vector<CatalogFile>* files, bool selecting = false,
                   const KeepOpen& keepOpen = nullptr);
  // Narrows *files (headers not read yet) to the volumes `selectors` name (--volume, each
  // naming one), in their listed order, each left open for its reading; false, reported,
  // when a selector names none or several.
  bool SelectVolumes(const std::vector<std::string>& selectors, std::vector<CatalogFile>* files);
  // Files() with their headers read (ReadHeaders).
  std::vector<CatalogFile> FilesWithHeaders(bool selecting = false,
                                            const KeepOpen& keepOpen = nullptr);

  // The catalogue and the folder below its scan root that a VOLUME[:PATH] argument names
  // (ls, du); false, reported, when it names no one catalogue.
  bool SelectFolder(const std::string& argument, CatalogFile* file,
                    std::vector<std::string>* components);

  // What decides each catalogue's code page (query/catalog_encoding.h): --encoding and the
  // machine's ANSI code page.
  NameEncoding Encoding() const { return NameEncoding{common_.encoding, context_.ansiCodePage}; }

  // The form --json, --csv and --bytes ask for; `nul` for find's -0.
  OutputSettings Settings(bool nul = false) const;
  // The exit status of a run that found something or not.
  int Finish(bool found) const;
  // Why text could not set aside the rows it held to align (reported by RunReader, which
  // ends the run in status 2 then); empty while it could.
  const std::string& holdingProblem() const { return holding_.problem; }

 private:
  ReaderContext& context_;
  const CommonOptions& common_;
  bool failed_ = false;
  // Shared by the text writers of the run (Settings).
  mutable TextHolding holding_;
};

// A row of the table of subcommands: the name and one-line help shown by `ledra --help`,
// what adds the subcommand's options to its part of the command line (returning where
// their values go), and what runs it once the command line is parsed, returning the exit
// status.
struct ReaderCommand {
  const char* name;
  const char* description;
  std::unique_ptr<CommandOptions> (*addOptions)(CLI::App& command, const ReaderContext& context);
  int (*run)(CommandRun& run, CommandOptions& options);
};

// A catalogue named on the command line: a file when a plain file of that name exists, else
// the volume a selector names among `files` (with their headers). False with *error filled.
bool ResolveCatalog(Platform& platform, const std::string& argument,
                    const std::vector<CatalogFile>& files, CatalogFile* chosen, std::string* error);
// Whether `argument` names a plain file (links followed) rather than a volume.
bool NamesCatalogFile(Platform& platform, const std::string& argument);
// Keeps open the files any of `selectors` names, for the reading that follows their
// selection.
KeepOpen KeepSelected(const std::vector<std::string>& selectors);
// Keeps every file open where the analyses that stream them keep that many open between
// their passes (StreamedCatalogs::kOpenAtOnce).
KeepOpen KeepAllForStreaming(size_t files);

// --min-size: "1M", "512K", "0", a byte count with an optional 1024-based suffix.
bool ParseMinSize(const std::string& text, int64_t* bytes);

}  // namespace ledra

#endif  // LEDRA_APP_LEDRA_COMMAND_H_
