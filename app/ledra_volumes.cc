// `ledra volumes`: one row per catalogue, from its header alone.
#include "app/ledra_command.h"
#include "query/volume_list.h"

namespace ledra {

namespace {

std::unique_ptr<CommandOptions> AddVolumesOptions(CLI::App& command, const ReaderContext&) {
  auto options = std::make_unique<CommandOptions>();
  AddCommonOptions(command, &options->common, OutputOptions::PerResult);
  return options;
}

int RunVolumesCommand(CommandRun& run, CommandOptions&) {
  const std::vector<CatalogFile> files = run.FilesWithHeaders();
  return run.Finish(RunVolumes(files, run.Settings(), run.context().now, run.out()) > 0);
}

}  // namespace

extern const ReaderCommand kVolumesCommand{"volumes", "one row per catalogue", AddVolumesOptions,
                                           RunVolumesCommand};

}  // namespace ledra
