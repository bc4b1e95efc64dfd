// `ledra diff`: what changed between two catalogues, or between one and its backup.
#include "app/ledra_command.h"
#include "query/catalog_encoding.h"
#include "query/diff_report.h"
#include "query/loaded_catalog.h"
#include "query/name_text.h"
#include "query/streamed_catalogs.h"

namespace ledra {

namespace {

struct DiffArguments : CommandOptions {
  std::vector<std::string> catalogs;
  size_t top = 20;
};

std::unique_ptr<CommandOptions> AddDiffOptions(CLI::App& command, const ReaderContext&) {
  auto a = std::make_unique<DiffArguments>();
  AddCommonOptions(command, &a->common, OutputOptions::PerRow);
  command
      .add_option("CATALOG", a->catalogs,
                  "[OLD] NEW: files or volumes; NEW alone is compared with its .bak")
      ->expected(1, 2)
      ->required();
  command.add_option("--top", a->top, "folders with the largest change in total (default 20)");
  return a;
}

int RunDiffCommand(CommandRun& run, CommandOptions& options) {
  const DiffArguments& a = static_cast<const DiffArguments&>(options);
  std::string error;
  // Each catalogue's names are decoded by the rule of its root, so that names of
  // catalogues written in different code pages compare.
  const NameEncoding encoding = run.Encoding();
  if (!CheckEncoding(run.platform(), encoding, &error)) return run.Error(error);
  // Files named directly need no listing; selectors do, and the catalogues they name stay
  // open from the reading of their headers.
  std::vector<std::string> selectors;
  for (const std::string& argument : a.catalogs) {
    if (!NamesCatalogFile(run.platform(), argument)) selectors.push_back(argument);
  }
  std::vector<CatalogFile> files;
  if (!selectors.empty()) files = run.FilesWithHeaders(true, KeepSelected(selectors));
  CatalogFile chosen[2];
  const size_t count = a.catalogs.size();
  for (size_t i = 0; i < count; ++i) {
    if (!ResolveCatalog(run.platform(), a.catalogs[i], files, &chosen[2 - count + i], &error)) {
      return run.ErrorText(error);
    }
  }
  if (count == 1) {
    chosen[0].path = chosen[1].path + ".bak";
    chosen[0].fileName = chosen[1].fileName + ".bak";
  }
  StreamedCatalogs catalogs;
  if (!catalogs.Add(run.platform(), chosen[0], encoding, &error)) return run.Error(error);
  if (!catalogs.Add(run.platform(), chosen[1], encoding, &error)) {
    // The older catalogue is read in full before the newer one: its damage comes first.
    if (!catalogs.Walk(0, [](uint32_t, const CatalogEntry&) { return true; })) {
      return run.Error(catalogs.TakeProblems().front());
    }
    return run.Error(error);
  }
  bool read = false;
  const uint64_t rows = WriteDiff(catalogs, a.top, run.Settings(), run.out(), &read);
  // The first damage found ends the comparison; only it is reported.
  const std::vector<std::string> problems = catalogs.TakeProblems();
  if (!read) return problems.empty() ? kReaderError : run.Error(problems.front());
  return run.Finish(rows > 0);
}

}  // namespace

extern const ReaderCommand kDiffCommand{
    "diff",
    "what changed: added, removed, changed and moved entries, then the folders whose total "
    "changed most",
    AddDiffOptions, RunDiffCommand};

}  // namespace ledra
