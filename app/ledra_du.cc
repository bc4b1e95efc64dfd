// `ledra du`: the totals of one folder of one volume and of its subfolders.
#include "app/ledra_command.h"
#include "query/folder_queries.h"

namespace ledra {

namespace {

struct DiskUsageArguments : CommandOptions {
  std::string target;
  FolderQuery query;
};

std::unique_ptr<CommandOptions> AddDiskUsageOptions(CLI::App& command, const ReaderContext&) {
  auto a = std::make_unique<DiskUsageArguments>();
  AddCommonOptions(command, &a->common, OutputOptions::PerResult);
  command.add_option("VOLUME[:PATH]", a->target, "the volume and a folder below its scan root")
      ->required();
  command.add_option("-d,--depth", a->query.depth, "levels below the folder (default 1)")
      ->check(CLI::NonNegativeNumber);
  return a;
}

int RunDiskUsageCommand(CommandRun& run, CommandOptions& options) {
  DiskUsageArguments& a = static_cast<DiskUsageArguments&>(options);
  CatalogFile file;
  if (!run.SelectFolder(a.target, &file, &a.query.components)) return kReaderError;
  a.query.encoding = a.common.encoding;
  FolderOutcome outcome;
  if (!RunDiskUsage(run.platform(), file, a.query, run.Settings(), run.out(), &outcome)) {
    return run.Error(outcome.error);
  }
  return run.Finish(outcome.rows > 0);
}

}  // namespace

extern const ReaderCommand kDiskUsageCommand{"du", "folder totals down to a depth",
                                             AddDiskUsageOptions, RunDiskUsageCommand};

}  // namespace ledra
