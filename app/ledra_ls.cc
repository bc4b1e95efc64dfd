// `ledra ls`: the entries of one folder of one volume.
#include "app/ledra_command.h"
#include "query/folder_queries.h"

namespace ledra {

namespace {

struct ListArguments : CommandOptions {
  std::string target;
  std::string sort = "name";
};

std::unique_ptr<CommandOptions> AddListOptions(CLI::App& command, const ReaderContext&) {
  auto a = std::make_unique<ListArguments>();
  AddCommonOptions(command, &a->common, OutputOptions::PerResult);
  command.add_option("VOLUME[:PATH]", a->target, "the volume and a folder below its scan root")
      ->required();
  command.add_option("--sort", a->sort, "name, size or time")
      ->check(CLI::IsMember({"name", "size", "time"}));
  return a;
}

int RunListCommand(CommandRun& run, CommandOptions& options) {
  const ListArguments& a = static_cast<const ListArguments&>(options);
  FolderQuery query;
  query.sort = a.sort == "size"   ? SortOrder::Size
               : a.sort == "time" ? SortOrder::Time
                                  : SortOrder::Name;
  CatalogFile file;
  if (!run.SelectFolder(a.target, &file, &query.components)) return kReaderError;
  query.encoding = a.common.encoding;
  query.machineCodePage = run.context().ansiCodePage;
  FolderOutcome outcome;
  if (!RunList(run.platform(), file, query, run.Settings(), run.out(), &outcome)) {
    return run.Error(outcome.error);
  }
  return run.Finish(outcome.rows > 0);
}

}  // namespace

extern const ReaderCommand kListCommand{"ls", "the entries of one folder", AddListOptions,
                                        RunListCommand};

}  // namespace ledra
