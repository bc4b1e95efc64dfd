// `ledra index`: builds or refreshes the index of each chosen catalogue in the user's
// cache folder (what a scheduled job runs after LedraCmd), tells their state with
// --status, and removes the indexes of catalogues that are gone with --prune.
#include "app/ledra_command.h"
#include "catalog/catalog_reader.h"
#include "index/index_builder.h"
#include "index/index_store.h"
#include "platform/platform.h"

namespace ledra {

namespace {

struct IndexArguments : CommandOptions {
  std::string volume;
  bool status = false;
  bool prune = false;
};

std::unique_ptr<CommandOptions> AddIndexOptions(CLI::App& command, const ReaderContext&) {
  auto a = std::make_unique<IndexArguments>();
  AddCommonOptions(command, &a->common, OutputOptions::None);
  command.add_option("--volume", a->volume, "only this volume (name, alias, serial or file name)");
  auto* status = command.add_flag("--status", a->status,
                                  "list each catalogue's index: current, stale, missing or "
                                  "unreadable, and its size");
  command.add_flag("--prune", a->prune, "remove the indexes of catalogues that no longer exist")
      ->excludes(status);
  return a;
}

int RunIndexCommand(CommandRun& run, CommandOptions& options) {
  IndexArguments& a = static_cast<IndexArguments&>(options);
  Platform& platform = run.platform();
  IndexStore store(platform);
  std::string why;
  if (!store.Locate(&why)) return run.Error(why);
  if (a.prune) {
    std::vector<std::string> removed;
    std::vector<std::string> problems;
    store.Prune(&removed, &problems);
    for (const std::string& path : removed) run.out().Write("removed " + path + "\n");
    for (const std::string& p : problems) run.Error(p);
    return run.failed() ? kReaderError : kReaderFound;
  }
  std::vector<CatalogFile> files = run.Files();
  if (!a.volume.empty()) {
    run.ReadHeaders(&files);
    size_t chosen = 0;
    std::string error;
    if (!SelectCatalog(files, a.volume, &chosen, &error)) return run.Error(error);
    files = {files[chosen]};
  }
  MessageSink& progress = run.context().errors;
  bool unwritable = false;
  for (size_t i = 0; i < files.size(); ++i) {
    const CatalogFile& file = files[i];
    CatalogReader reader;
    ReadProblem problem;
    if (!reader.Open(platform, file.path, &problem)) {
      if (a.status) run.out().Write("unreadable\t-\t" + file.path + "\n");
      run.Error(file.path + ": " + problem.Text());
      continue;
    }
    if (!reader.header().HasTables()) {
      if (a.status) run.out().Write("none\t-\t" + file.path + "\n");
      run.Notice(file.path + ": version " + std::to_string(reader.header().version) +
                 " catalogues hold no tables; passed over");
      continue;
    }
    std::string absolute;
    CatalogIdentity identity;
    if (!platform.AbsolutePath(file.path, &absolute) ||
        !store.Identify(absolute, reader, &identity, &why)) {
      run.Error(file.path + ": " + why);
      continue;
    }
    std::unique_ptr<IndexFile> index;
    uint64_t bytes = 0;
    const IndexState state = store.Open(identity, &index, &bytes, &why);
    if (a.status) {
      const bool sized = state != IndexState::Missing;
      run.out().Write(std::string(IndexStateName(state)) + "\t" +
                      (sized ? std::to_string(bytes) : std::string("-")) + "\t" + file.path + "\n");
      continue;
    }
    if (state == IndexState::Current || unwritable) continue;
    if (progress.terminal()) {
      progress.ShowStatus("indexing " + std::to_string(i + 1) + "/" + std::to_string(files.size()) +
                          ": " + file.fileName);
    }
    const std::string indexBytes = BuildIndex(reader, identity);
    std::string what;
    OsError err;
    if (!store.Write(identity, indexBytes, &what, &err)) {
      // One failure says it for the folder: the next catalogue would fail alike.
      run.Error(what + ": " + err.text);
      unwritable = true;
    }
  }
  if (progress.terminal()) progress.ClearStatus();
  return run.failed() ? kReaderError : kReaderFound;
}

}  // namespace

extern const ReaderCommand kIndexCommand{
    "index", "build or refresh the indexes that make find fast (--status, --prune)",
    AddIndexOptions, RunIndexCommand};

}  // namespace ledra
