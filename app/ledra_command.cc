#include "app/ledra_command.h"

#include "platform/path_text.h"
#include "platform/platform.h"
#include "query/find_query.h"
#include "query/streamed_catalogs.h"

namespace ledra {

void AddCommonOptions(CLI::App& command, CommonOptions* o, OutputOptions outputs) {
  // One folder per --in, so that a positional argument after it stays one.
  command
      .add_option("--in", o->in,
                  "a folder of catalogues, or a catalogue file (repeatable; default: "
                  "$LEDRA_CATALOGS, else the current folder)")
      ->allow_extra_args(false);
  command.add_flag("--backups", o->backups, "read *.kvl.bak files too");
  auto addForms = [&](const char* jsonHelp) {
    auto* json = command.add_flag("--json", o->json, jsonHelp);
    command.add_flag("--csv", o->csv, "CSV with a header row")->excludes(json);
    command.add_flag("--crlf", o->crlf, "end CSV lines in CR LF (default: LF)");
    command.add_flag("--bytes", o->bytes, "exact byte counts instead of human sizes");
  };
  if (outputs == OutputOptions::PerResult) addForms("JSON Lines: one object per result");
  command.add_option("--encoding", o->encoding,
                     "code page of the names in catalogues of Windows drives and shares "
                     "(cp1252, cp932, ...; default: Windows' ANSI code page, on Linux the "
                     "bytes as stored); other catalogues hold UTF-8");
  if (outputs == OutputOptions::PerRow) addForms("JSON Lines: one object per row");
}

int CommandRun::Error(const std::string& line) {
  context_.Message(line);
  failed_ = true;
  return kReaderError;
}

int CommandRun::ErrorText(const std::string& text) {
  context_.MessageText(text);
  failed_ = true;
  return kReaderError;
}

std::vector<CatalogFile> CommandRun::Files() {
  const char listSeparator = context_.platform.Separator() == '\\' ? ';' : ':';
  const std::vector<std::string> folders =
      CatalogFolders(common_.in, context_.catalogsVariable, listSeparator);
  std::vector<std::string> unreadable;
  std::vector<std::string> why;
  std::vector<CatalogFile> files =
      ListCatalogFiles(context_.platform, folders, common_.backups, &unreadable, &why);
  for (size_t i = 0; i < unreadable.size(); ++i) {
    Error("cannot read the folder '" + unreadable[i] + "': " + why[i]);
  }
  if (files.empty() && unreadable.size() < folders.size()) {
    // Say where the catalogues were looked for, and where that came from.
    std::string tried;
    for (const std::string& folder : folders) {
      std::string shown = folder;
      if (folder == "." && context_.platform.AbsolutePath(folder, &shown) && shown.size() > 2 &&
          shown.back() == '.' &&
          (shown[shown.size() - 2] == '/' || shown[shown.size() - 2] == '\\')) {
        shown.resize(shown.size() - 2);
      }
      tried += (tried.empty() ? "'" : ", '") + shown + "'";
    }
    const char* source = !common_.in.empty()                    ? ""
                         : context_.catalogsVariable != nullptr ? " (from LEDRA_CATALOGS)"
                                                                : " (the current folder; give --in "
                                                                  "or set LEDRA_CATALOGS)";
    Error(std::string("no catalogues") + (common_.backups ? " or backups" : "") + " in " + tried +
          source);
  }
  return files;
}

void CommandRun::ReadHeaders(std::vector<CatalogFile>* files, bool selecting,
                             const KeepOpen& keepOpen) {
  std::vector<std::string> problems;
  ledra::ReadHeaders(context_.platform, files, &problems, keepOpen);
  for (const std::string& p : problems) {
    if (selecting) {
      Notice(p);
    } else {
      Error(p);
    }
  }
}

bool CommandRun::SelectVolumes(const std::vector<std::string>& selectors,
                               std::vector<CatalogFile>* files) {
  ReadHeaders(files, true, KeepSelected(selectors));
  std::vector<bool> chosen(files->size(), false);
  for (const std::string& selector : selectors) {
    size_t index = 0;
    std::string error;
    if (!SelectCatalog(*files, selector, &index, &error)) {
      ErrorText(error);
      return false;
    }
    chosen[index] = true;
  }
  std::vector<CatalogFile> kept;
  for (size_t i = 0; i < files->size(); ++i) {
    if (chosen[i]) kept.push_back(std::move((*files)[i]));
  }
  files->swap(kept);
  return true;
}

std::vector<CatalogFile> CommandRun::FilesWithHeaders(bool selecting, const KeepOpen& keepOpen) {
  std::vector<CatalogFile> files = Files();
  ReadHeaders(&files, selecting, keepOpen);
  return files;
}

bool CommandRun::SelectFolder(const std::string& argument, CatalogFile* file,
                              std::vector<std::string>* components) {
  std::vector<CatalogFile> files = FilesWithHeaders(true);
  std::string selector;
  std::string path;
  SplitSelector(argument, &selector, &path);
  size_t chosen = 0;
  std::string error;
  if (!SelectCatalog(files, selector, &chosen, &error)) {
    ErrorText(error);
    return false;
  }
  *file = files[chosen];
  *components = PathComponents(path, file->header);
  return true;
}

OutputSettings CommandRun::Settings(bool nul) const {
  OutputSettings s;
  s.exactBytes = common_.bytes;
  s.crlf = common_.crlf;
  s.terminal = context_.terminal;
  s.holding = &holding_;
  s.format = common_.json  ? OutputFormat::Json
             : common_.csv ? OutputFormat::Csv
             : nul         ? OutputFormat::NulPaths
                           : OutputFormat::Text;
  return s;
}

int CommandRun::Finish(bool found) const {
  if (failed_) return kReaderError;
  return found ? kReaderFound : kReaderNothing;
}

bool NamesCatalogFile(Platform& platform, const std::string& argument) {
  return platform.KindOf(argument, true) == PathKind::File;
}

KeepOpen KeepSelected(const std::vector<std::string>& selectors) {
  return [selectors](const CatalogFile& file) {
    for (const std::string& selector : selectors) {
      if (SelectorNames(file, selector)) return true;
    }
    return false;
  };
}

KeepOpen KeepAllForStreaming(size_t files) {
  const bool all = files <= StreamedCatalogs::kOpenAtOnce;
  return [all](const CatalogFile&) { return all; };
}

namespace {

// The last component of a path; Windows takes '/' for a separator too, and a name after
// a drive ('C:x').
std::string FileNameOf(Platform& platform, const std::string& path) {
  size_t at = LastPathSeparator(path, platform.Separator(), platform.LeadBytes());
  if (platform.Separator() == '\\' && at == std::string::npos && path.size() >= 2 &&
      path[1] == ':') {
    at = 1;
  }
  return at == std::string::npos ? path : path.substr(at + 1);
}

}  // namespace

bool ResolveCatalog(Platform& platform, const std::string& argument,
                    const std::vector<CatalogFile>& files, CatalogFile* chosen,
                    std::string* error) {
  if (NamesCatalogFile(platform, argument)) {
    chosen->path = argument;
    chosen->fileName = FileNameOf(platform, argument);
    return true;
  }
  size_t index = 0;
  if (!SelectCatalog(files, argument, &index, error)) return false;
  *chosen = files[index];
  return true;
}

bool ParseMinSize(const std::string& text, int64_t* bytes) {
  SizeFilter filter;
  if (!ParseSizeFilter(text, &filter) || filter.relation != '=') return false;
  *bytes = static_cast<int64_t>(filter.bytes);
  return true;
}

}  // namespace ledra
