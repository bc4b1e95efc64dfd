// `ledra dupes`: the files held more than once across the volumes.
#include "app/ledra_command.h"
#include "query/catalog_encoding.h"
#include "query/copies_report.h"
#include "query/name_text.h"

namespace ledra {

namespace {

struct DupesArguments : CommandOptions {
  std::string by = "name";
  bool sameTime = false;
  std::string minSize;
  std::vector<std::string> volumes;
};

std::unique_ptr<CommandOptions> AddDupesOptions(CLI::App& command, const ReaderContext&) {
  auto a = std::make_unique<DupesArguments>();
  AddCommonOptions(command, &a->common, OutputOptions::PerRow);
  command.add_option("--by", a->by, "name (name and size, the default) or size")
      ->check(CLI::IsMember({"name", "size"}));
  command.add_flag("--mtime", a->sameTime, "copies must have the same time too");
  command.add_option("--min-size", a->minSize, "leave out smaller files (default 1M)");
  command
      .add_option("--volume", a->volumes,
                  "only this volume (repeatable: copies across the volumes named)")
      ->allow_extra_args(false);
  return a;
}

int RunDupesCommand(CommandRun& run, CommandOptions& options) {
  const DupesArguments& a = static_cast<const DupesArguments&>(options);
  DupesOptions dupes;
  dupes.sizeOnly = a.by == "size";
  dupes.sameTime = a.sameTime;
  if (!a.minSize.empty() && !ParseMinSize(a.minSize, &dupes.minSize)) {
    return run.Error("--min-size takes a byte count with K, M, G or T");
  }
  std::string error;
  // Each catalogue's names are decoded by the rule of its root, so that names of
  // catalogues written in different code pages compare.
  const NameEncoding encoding = run.Encoding();
  if (!CheckEncoding(run.platform(), encoding, &error)) return run.Error(error);
  std::vector<CatalogFile> files = run.Files();
  if (a.volumes.empty()) {
    run.ReadHeaders(&files, false, KeepAllForStreaming(files.size()));
  } else if (!run.SelectVolumes(a.volumes, &files)) {
    return kReaderError;
  }
  StreamedCatalogs catalogs(run.platform(), files, encoding);
  for (const std::string& n : catalogs.notices()) run.Notice(n);
  const uint64_t groups = WriteDupes(catalogs, dupes, run.Settings(), run.out(),
                                     [&](const std::string& line) { run.Error(line); });
  return run.Finish(groups > 0);
}

}  // namespace

extern const ReaderCommand kDupesCommand{"dupes", "files held more than once across the volumes",
                                         AddDupesOptions, RunDupesCommand};

}  // namespace ledra
