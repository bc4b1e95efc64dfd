// `ledra export`: every entry of one volume in a form other tools read.
#include "app/ledra_command.h"
#include "query/export_command.h"

namespace ledra {

namespace {

struct ExportArguments : CommandOptions {
  std::string target;
  std::string format;
  ExportOptions exportOptions;
};

std::unique_ptr<CommandOptions> AddExportOptions(CLI::App& command, const ReaderContext&) {
  auto a = std::make_unique<ExportArguments>();
  AddCommonOptions(command, &a->common, OutputOptions::None);
  command.add_option("VOLUME", a->target, "the volume (name, alias, serial or file name)")
      ->required();
  command.add_option("--format", a->format, "csv, jsonl, ncdu (ncdu -f FILE) or sqlite")
      ->required()
      ->check(CLI::IsMember({"csv", "jsonl", "ncdu", "sqlite"}));
  command.add_option("-o,--output", a->exportOptions.output, "the file (default: standard output)");
  command.add_flag("--append", a->exportOptions.append,
                   "sqlite: add to an existing database (a volume it holds is replaced)");
  command.add_flag("--crlf", a->exportOptions.crlf, "csv: end lines in CR LF (default: LF)");
  return a;
}

int RunExportCommand(CommandRun& run, CommandOptions& options) {
  ExportArguments& a = static_cast<ExportArguments&>(options);
  ParseExportFormat(a.format, &a.exportOptions.format);
  a.exportOptions.encoding = a.common.encoding;
  std::string error;
  CatalogFile chosen;
  const bool direct = NamesCatalogFile(run.platform(), a.target);
  if (!ResolveCatalog(run.platform(), a.target,
                      direct ? std::vector<CatalogFile>() : run.FilesWithHeaders(true), &chosen,
                      &error)) {
    return run.ErrorText(error);
  }
  if (!RunExport(run.platform(), chosen, a.exportOptions, run.out(), &error)) {
    return run.Error(error);
  }
  // An export is written even when it holds no entry.
  return run.Finish(true);
}

}  // namespace

extern const ReaderCommand kExportCommand{"export",
                                          "every entry of one volume as csv, jsonl, ncdu or sqlite",
                                          AddExportOptions, RunExportCommand};

}  // namespace ledra
