// `ledra unique`: the files of one volume that no other volume holds.
#include "app/ledra_command.h"
#include "query/catalog_encoding.h"
#include "query/copies_report.h"
#include "query/name_text.h"

namespace ledra {

namespace {

struct UniqueArguments : CommandOptions {
  std::string target;
  std::string minSize;
};

std::unique_ptr<CommandOptions> AddUniqueOptions(CLI::App& command, const ReaderContext&) {
  auto a = std::make_unique<UniqueArguments>();
  AddCommonOptions(command, &a->common, OutputOptions::PerRow);
  command.add_option("VOLUME", a->target, "the volume (name, alias, serial or file name)")
      ->required();
  command.add_option("--min-size", a->minSize, "leave out smaller files (default 0)");
  return a;
}

int RunUniqueCommand(CommandRun& run, CommandOptions& options) {
  const UniqueArguments& a = static_cast<const UniqueArguments&>(options);
  int64_t minSize = 0;
  if (!a.minSize.empty() && !ParseMinSize(a.minSize, &minSize)) {
    return run.Error("--min-size takes a byte count with K, M, G or T");
  }
  std::string error;
  // Each catalogue's names are decoded by the rule of its root, so that names of
  // catalogues written in different code pages compare.
  const NameEncoding encoding = run.Encoding();
  if (!CheckEncoding(run.platform(), encoding, &error)) return run.Error(error);
  std::vector<CatalogFile> files = run.Files();
  run.ReadHeaders(&files, false, KeepAllForStreaming(files.size()));
  size_t chosen = 0;
  if (!SelectCatalog(files, a.target, &chosen, &error)) return run.ErrorText(error);
  StreamedCatalogs catalogs(run.platform(), files, encoding);
  for (const std::string& n : catalogs.notices()) run.Notice(n);
  auto report = [&](const std::string& line) { run.Error(line); };
  for (size_t i = 0; i < catalogs.size(); ++i) {
    if (catalogs.FileOf(i) == chosen) {
      bool targetRead = false;
      const uint64_t listed =
          WriteUnique(catalogs, i, minSize, run.Settings(), run.out(), report, &targetRead);
      return targetRead ? run.Finish(listed > 0) : kReaderError;
    }
  }
  for (const std::string& line : catalogs.TakeProblems()) report(line);
  return kReaderError;  // the chosen catalogue itself could not be read: reported now
}

}  // namespace

extern const ReaderCommand kUniqueCommand{"unique",
                                          "the files of one volume that no other volume holds",
                                          AddUniqueOptions, RunUniqueCommand};

}  // namespace ledra
