#include "app/ledra_compare_cli.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "query/copies_report.h"
#include "query/diff_report.h"
#include "query/find_query.h"
#include "query/loaded_catalog.h"
#include "query/name_text.h"

namespace ledra {

namespace {

// A catalogue named on the command line: a file when one of that name exists, else the
// volume a selector names among the catalogues read.
bool Resolve(const std::string& argument, const std::vector<CatalogFile>& files,
             CatalogFile* chosen, std::string* error) {
  std::error_code ec;
  const std::filesystem::path path = std::filesystem::u8path(argument);
  if (std::filesystem::is_regular_file(path, ec)) {
    chosen->path = argument;
    chosen->fileName = path.filename().u8string();
    return true;
  }
  size_t index = 0;
  if (!SelectCatalog(files, argument, &index, error)) return false;
  *chosen = files[index];
  return true;
}

// "1M", "512K", "0": a byte count with an optional 1024-based suffix.
bool ParseMinSize(const std::string& text, int64_t* bytes) {
  SizeFilter filter;
  if (!ParseSizeFilter(text, &filter) || filter.relation != '=') return false;
  *bytes = static_cast<int64_t>(filter.bytes);
  return true;
}

}  // namespace

CLI::App* CompareCommands::Add(CLI::App& app, const char* name, const char* description,
                               bool formats) {
  CLI::App* command = app.add_subcommand(name, description);
  // One folder per --in, so that a positional argument after it stays one.
  command
      ->add_option("--in", shared_.in,
                   "a folder of catalogues (repeatable; default: "
                   "$LEDRA_CATALOGS, else the current folder)")
      ->allow_extra_args(false);
  command->add_flag("--backups", shared_.backups, "read *.kvl.bak files too");
  command->add_option("--encoding", shared_.encoding,
                      "code page of the names (cp1252, cp932, ...); default UTF-8");
  if (formats) {
    auto* json = command->add_flag("--json", shared_.json, "JSON Lines: one object per row");
    command->add_flag("--csv", shared_.csv, "CSV with a header row")->excludes(json);
    command->add_flag("--bytes", shared_.bytes, "exact byte counts instead of human sizes");
  }
  return command;
}

CompareCommands::CompareCommands(CLI::App& app, ReaderContext& context) : context_(context) {
  diff_ = Add(app, "diff",
              "what changed: added, removed, changed and moved entries, then "
              "the folders whose total changed most",
              true);
  diff_
      ->add_option("CATALOG", diffCatalogs_,
                   "[OLD] NEW: files or volumes; NEW alone is compared with its .bak")
      ->expected(1, 2)
      ->required();
  diff_->add_option("--top", top_, "folders with the largest change in total (default 20)");

  dupes_ = Add(app, "dupes", "files held more than once across the volumes", true);
  dupes_->add_option("--by", by_, "name (name and size, the default) or size")
      ->check(CLI::IsMember({"name", "size"}));
  dupes_->add_flag("--mtime", sameTime_, "copies must have the same time too");
  dupes_->add_option("--min-size", minSize_, "leave out smaller files (default 1M)");

  unique_ = Add(app, "unique", "the files of one volume that no other volume holds", true);
  unique_->add_option("VOLUME", target_, "the volume (name, alias, serial or file name)")
      ->required();
  unique_->add_option("--min-size", minSize_, "leave out smaller files (default 0)");

  export_ = Add(app, "export", "every entry of one volume as csv, jsonl, ncdu or sqlite", false);
  export_->add_option("VOLUME", target_, "the volume (name, alias, serial or file name)")
      ->required();
  export_->add_option("--format", format_, "csv, jsonl, ncdu (ncdu -f FILE) or sqlite")
      ->required()
      ->check(CLI::IsMember({"csv", "jsonl", "ncdu", "sqlite"}));
  export_->add_option("-o,--output", exportOptions_.output, "the file (default: standard output)");
  export_->add_flag("--append", exportOptions_.append, "sqlite: add to an existing database");
}

int CompareCommands::Error(const std::string& line) {
  context_.Message(line);
  failed_ = true;
  return kReaderError;
}

int CompareCommands::RunParsed() {
  if (diff_->parsed()) return Diff();
  if (dupes_->parsed()) return Dupes();
  if (unique_->parsed()) return Unique();
  if (export_->parsed()) return Export();
  return -1;
}

std::vector<CatalogFile> CompareCommands::Files() {
  const char listSeparator = context_.platform.Separator() == '\\' ? ';' : ':';
  std::vector<std::string> unreadable;
  std::vector<CatalogFile> files = ListCatalogFiles(
      context_.platform, CatalogFolders(shared_.in, context_.catalogsVariable, listSeparator),
      shared_.backups, &unreadable);
  for (const std::string& folder : unreadable) Error("cannot read the folder '" + folder + "'");
  std::vector<std::string> problems;
  ReadHeaders(context_.platform, &files, &problems);
  for (const std::string& p : problems) Error(p);
  return files;
}

OutputSettings CompareCommands::Settings() const {
  OutputSettings s;
  s.exactBytes = shared_.bytes;
  s.format = shared_.json  ? OutputFormat::Json
             : shared_.csv ? OutputFormat::Csv
                           : OutputFormat::Text;
  return s;
}

int CompareCommands::Finish(uint64_t rows) const {
  if (failed_) return kReaderError;
  return rows > 0 ? kReaderFound : kReaderNothing;
}

int CompareCommands::Diff() {
  std::string error;
  std::unique_ptr<NameDecoder> names = DecoderFor(shared_.encoding, &error);
  if (!names) return Error(error);
  // Files named directly need no listing; selectors do.
  std::vector<CatalogFile> files;
  CatalogFile chosen[2];
  const size_t count = diffCatalogs_.size();
  for (size_t i = 0; i < count; ++i) {
    std::error_code ec;
    if (files.empty() &&
        !std::filesystem::is_regular_file(std::filesystem::u8path(diffCatalogs_[i]), ec)) {
      files = Files();
    }
    if (!Resolve(diffCatalogs_[i], files, &chosen[2 - count + i], &error)) return Error(error);
  }
  if (count == 1) {
    chosen[0].path = chosen[1].path + ".bak";
    chosen[0].fileName = chosen[1].fileName + ".bak";
  }
  LoadedCatalog loaded[2];
  for (int i = 0; i < 2; ++i) {
    bool noTables = false;
    if (!LoadForQuery(context_.platform, chosen[i], *names, &loaded[i], &error, &noTables)) {
      return Error(error);
    }
  }
  return Finish(WriteDiff(loaded[0], loaded[1], top_, *names, Settings(), context_.out));
}

std::vector<std::unique_ptr<LoadedCatalog>> CompareCommands::LoadEvery(NameDecoder& names) {
  std::vector<std::string> problems;
  std::vector<std::string> notices;
  auto loaded = LoadAll(context_.platform, Files(), names, &problems, &notices);
  for (const std::string& n : notices) context_.Message(n);
  for (const std::string& p : problems) Error(p);
  return loaded;
}

int CompareCommands::Dupes() {
  DupesOptions options;
  options.sizeOnly = by_ == "size";
  options.sameTime = sameTime_;
  if (!minSize_.empty() && !ParseMinSize(minSize_, &options.minSize)) {
    return Error("--min-size takes a byte count with K, M, G or T");
  }
  std::string error;
  std::unique_ptr<NameDecoder> names = DecoderFor(shared_.encoding, &error);
  if (!names) return Error(error);
  const auto catalogs = LoadEvery(*names);
  return Finish(WriteDupes(catalogs, options, *names, Settings(), context_.out));
}

int CompareCommands::Unique() {
  int64_t minSize = 0;
  if (!minSize_.empty() && !ParseMinSize(minSize_, &minSize)) {
    return Error("--min-size takes a byte count with K, M, G or T");
  }
  std::string error;
  std::unique_ptr<NameDecoder> names = DecoderFor(shared_.encoding, &error);
  if (!names) return Error(error);
  const std::vector<CatalogFile> files = Files();
  size_t chosen = 0;
  if (!SelectCatalog(files, target_, &chosen, &error)) return Error(error);
  const auto catalogs = LoadEvery(*names);
  for (size_t i = 0; i < catalogs.size(); ++i) {
    if (catalogs[i]->file.path == files[chosen].path) {
      return Finish(WriteUnique(catalogs, i, minSize, *names, Settings(), context_.out));
    }
  }
  failed_ = true;  // the chosen catalogue itself could not be read: said above
  return kReaderError;
}

int CompareCommands::Export() {
  ParseExportFormat(format_, &exportOptions_.format);
  exportOptions_.encoding = shared_.encoding;
  std::string error;
  CatalogFile chosen;
  std::error_code ec;
  const bool direct = std::filesystem::is_regular_file(std::filesystem::u8path(target_), ec);
  if (!Resolve(target_, direct ? std::vector<CatalogFile>() : Files(), &chosen, &error)) {
    return Error(error);
  }
  if (!RunExport(context_.platform, chosen, exportOptions_, context_.out, &error)) {
    return Error(error);
  }
  return failed_ ? kReaderError : kReaderFound;
}

}  // namespace ledra
