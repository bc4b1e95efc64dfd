// `ledra du`: the totals of one folder of one volume and of its subfolders.
#include "app/ledra_command.h"
#include "query/folder_queries.h"
#include "query/sorted_results.h"

namespace ledra {

namespace {

struct DiskUsageArguments : CommandOptions {
  std::string target;
  FolderQuery query;
  std::string sort;
  bool reverse = false;
};

std::unique_ptr<CommandOptions> AddDiskUsageOptions(CLI::App& command, const ReaderContext&) {
  auto a = std::make_unique<DiskUsageArguments>();
  AddCommonOptions(command, &a->common, OutputOptions::PerResult);
  command.add_option("VOLUME[:PATH]", a->target, "the volume and a folder below its scan root")
      ->required();
  command.add_option("-d,--depth", a->query.depth, "levels below the folder (default 1)")
      ->check(CLI::NonNegativeNumber);
  // Folder totals carry no time: a folder's own time is that of its entry in its parent.
  command
      .add_option("--sort", a->sort,
                  "name, size (largest first) or path; all rows are held in memory "
                  "until the walk ends")
      ->check(CLI::IsMember({"name", "size", "path"}));
  command.add_flag("--reverse", a->reverse, "the rows in the opposite order");
  return a;
}

int RunDiskUsageCommand(CommandRun& run, CommandOptions& options) {
  DiskUsageArguments& a = static_cast<DiskUsageArguments&>(options);
  CatalogFile file;
  if (!run.SelectFolder(a.target, &file, &a.query.components)) return kReaderError;
  a.query.encoding = a.common.encoding;
  a.query.machineCodePage = run.context().ansiCodePage;
  FolderOutcome outcome;
  const OutputSettings settings = run.Settings();
  if (a.sort.empty() && !a.reverse) {
    if (!RunDiskUsage(run.platform(), file, a.query, settings, run.out(), &outcome)) {
      return run.Error(outcome.error);
    }
    return run.Finish(outcome.rows > 0);
  }
  ResultOrder order = ResultOrder::Found;
  ParseResultOrder(a.sort, &order);
  KeptResults kept(settings.exactBytes);
  OutputSettings keeping = settings;
  keeping.keep = &kept;
  if (!RunDiskUsage(run.platform(), file, a.query, keeping, run.out(), &outcome)) {
    return run.Error(outcome.error);
  }
  kept.WriteSorted(order, a.reverse, 0, settings, run.out());
  return run.Finish(outcome.rows > 0);
}

}  // namespace

extern const ReaderCommand kDiskUsageCommand{"du", "folder totals down to a depth",
                                             AddDiskUsageOptions, RunDiskUsageCommand};

}  // namespace ledra
