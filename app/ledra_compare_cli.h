// The subcommands of `ledra` that compare catalogues and take them elsewhere: diff, dupes,
// unique and export. Registered on the program's command line beside the others; exit
// statuses as for find: 0 something listed (or exported), 1 nothing, 2 an error.
#ifndef LEDRA_APP_LEDRA_COMPARE_CLI_H_
#define LEDRA_APP_LEDRA_COMPARE_CLI_H_

#include <CLI/CLI.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/ledra_cli.h"
#include "query/dupes.h"
#include "query/entry_output.h"
#include "query/export_command.h"
#include "query/loaded_catalog.h"

namespace ledra {

class CompareCommands {
 public:
  // Adds the four subcommands to `app`; both must outlive this object.
  CompareCommands(CLI::App& app, ReaderContext& context);

  // After parsing: the exit status of the chosen subcommand, or -1 when it is none of these.
  int RunParsed();

 private:
  CLI::App* Add(CLI::App& app, const char* name, const char* description, bool formats);
  // The catalogue files of the chosen folders with their headers; problems are reported.
  std::vector<CatalogFile> Files();
  // Every catalogue of Files() read in full; the ones that cannot be are reported.
  std::vector<std::unique_ptr<LoadedCatalog>> LoadEvery(NameDecoder& names);
  OutputSettings Settings() const;
  int Finish(uint64_t rows) const;
  int Diff();
  int Dupes();
  int Unique();
  int Export();
  int Error(const std::string& line);

  ReaderContext& context_;
  CommonOptions shared_;  // where the catalogues are, how results are written
  CLI::App* diff_;
  CLI::App* dupes_;
  CLI::App* unique_;
  CLI::App* export_;
  std::vector<std::string> diffCatalogs_;
  size_t top_ = 20;
  std::string by_ = "name";
  bool sameTime_ = false;
  std::string minSize_;
  std::string target_;
  std::string format_;
  ExportOptions exportOptions_;
  bool failed_ = false;
};

}  // namespace ledra

#endif  // LEDRA_APP_LEDRA_COMPARE_CLI_H_
