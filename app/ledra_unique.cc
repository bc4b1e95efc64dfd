// `ledra unique`: the files of one volume that no other volume holds.
#include "app/ledra_command.h"
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
  if (!CheckEncoding(run.platform(), run.Encoding(), &error)) return run.Error(error);
  // Each catalogue's names are decoded as it is read; what is shown is taken as it stands.
  std::unique_ptr<NameDecoder> names = NewStoredUtf8Decoder();
  const std::vector<CatalogFile> files = run.FilesWithHeaders();
  size_t chosen = 0;
  if (!SelectCatalog(files, a.target, &chosen, &error)) return run.ErrorText(error);
  const LoadedCatalogs catalogs = LoadEvery(run, run.FilesWithHeaders());
  for (size_t i = 0; i < catalogs.size(); ++i) {
    if (catalogs[i]->file.path == files[chosen].path) {
      return run.Finish(WriteUnique(catalogs, i, minSize, *names, run.Settings(), run.out()) > 0);
    }
  }
  return kReaderError;  // the chosen catalogue itself could not be read: reported already
}

}  // namespace

extern const ReaderCommand kUniqueCommand{"unique",
                                          "the files of one volume that no other volume holds",
                                          AddUniqueOptions, RunUniqueCommand};

}  // namespace ledra
