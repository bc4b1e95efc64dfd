#include "app/ledra_cli.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/ledra_compare_cli.h"
#include "query/catalog_selection.h"
#include "query/find_query.h"
#include "query/folder_queries.h"
#include "query/volume_list.h"

namespace ledra {

namespace {

void AddCommonOptions(CLI::App* command, CommonOptions* o) {
  command
      ->add_option("--in", o->in,
                   "a folder of catalogues (repeatable; default: "
                   "$LEDRA_CATALOGS, else the current folder)")
      ->allow_extra_args(false);
  command->add_flag("--backups", o->backups, "read *.kvl.bak files too");
  auto* json = command->add_flag("--json", o->json, "JSON Lines: one object per result");
  auto* csv = command->add_flag("--csv", o->csv, "CSV with a header row");
  json->excludes(csv);
  command->add_flag("--bytes", o->bytes, "exact byte counts instead of human sizes");
  command->add_option("--encoding", o->encoding,
                      "code page of the names (cp1252, cp932, ...); default UTF-8");
}

class Run {
 public:
  explicit Run(ReaderContext& context) : c_(context) {}

  void Error(const std::string& line) {
    c_.Message(line);
    status_ = kReaderError;
  }
  void Notice(const std::string& line) { c_.Message(line); }

  // The catalogue files of the chosen folders; false when none could be listed at all.
  std::vector<CatalogFile> Files(const CommonOptions& o) {
    const std::vector<std::string> folders =
        CatalogFolders(o.in, c_.catalogsVariable, c_.platform.Separator() == '\\' ? ';' : ':');
    std::vector<std::string> unreadable;
    std::vector<CatalogFile> files = ListCatalogFiles(c_.platform, folders, o.backups, &unreadable);
    for (const std::string& folder : unreadable) Error("cannot read the folder '" + folder + "'");
    return files;
  }

  void Headers(std::vector<CatalogFile>* files) {
    std::vector<std::string> problems;
    ReadHeaders(c_.platform, files, &problems);
    for (const std::string& p : problems) Error(p);
  }

  OutputSettings Settings(const CommonOptions& o, bool nul) {
    OutputSettings s;
    s.exactBytes = o.bytes;
    s.format = o.json  ? OutputFormat::Json
               : o.csv ? OutputFormat::Csv
               : nul   ? OutputFormat::NulPaths
                       : OutputFormat::Text;
    return s;
  }

  int Finish(bool found) {
    if (status_ == kReaderError) return kReaderError;
    return found ? kReaderFound : kReaderNothing;
  }

  int Volumes(const CommonOptions& o) {
    std::vector<CatalogFile> files = Files(o);
    Headers(&files);
    return Finish(RunVolumes(files, Settings(o, false), c_.now, c_.out) > 0);
  }

  int Find(const CommonOptions& o, FindOptions f, const std::string& volume, bool nul,
           const std::string& type, const std::string& size, const std::string& newer,
           const std::string& older) {
    if (!type.empty()) {
      if (type != "f" && type != "d") return Usage("--type takes f or d");
      f.type = type == "f" ? FindOptions::Type::File : FindOptions::Type::Folder;
    }
    if (!size.empty()) {
      SizeFilter filter;
      if (!ParseSizeFilter(size, &filter))
        return Usage("--size takes +N, -N or N with K, M, G or T");
      f.size = filter;
    }
    int64_t t = 0;
    if (!newer.empty()) {
      if (!ParseLocalTime(newer, &t))
        return Usage("--newer takes YYYY-MM-DD or YYYY-MM-DDTHH:MM:SS");
      f.newer = t;
    }
    if (!older.empty()) {
      if (!ParseLocalTime(older, &t))
        return Usage("--older takes YYYY-MM-DD or YYYY-MM-DDTHH:MM:SS");
      f.older = t;
    }
    f.encoding = o.encoding;
    std::vector<CatalogFile> files = Files(o);
    if (!volume.empty()) {
      Headers(&files);
      size_t chosen = 0;
      std::string error;
      if (!SelectCatalog(files, volume, &chosen, &error)) {
        Error(error);
        return kReaderError;
      }
      files = {files[chosen]};
    }
    FindOutcome outcome;
    std::string error;
    if (!RunFind(c_.platform, files, f, Settings(o, nul), c_.out, &outcome, &error)) {
      Error(error);
      return kReaderError;
    }
    for (const std::string& n : outcome.notices) Notice(n);
    for (const std::string& p : outcome.problems) Error(p);
    return Finish(outcome.matches > 0);
  }

  // ls and du: one folder of one volume.
  int Folder(const CommonOptions& o, const std::string& argument, FolderQuery query, bool du) {
    std::vector<CatalogFile> files = Files(o);
    Headers(&files);
    std::string selector;
    std::string path;
    SplitSelector(argument, &selector, &path);
    size_t chosen = 0;
    std::string error;
    if (!SelectCatalog(files, selector, &chosen, &error)) {
      Error(error);
      return kReaderError;
    }
    query.components = PathComponents(path, files[chosen].header);
    query.encoding = o.encoding;
    FolderOutcome outcome;
    const OutputSettings settings = Settings(o, false);
    const bool ok = du ? RunDiskUsage(c_.platform, files[chosen], query, settings, c_.out, &outcome)
                       : RunList(c_.platform, files[chosen], query, settings, c_.out, &outcome);
    if (!ok) {
      Error(outcome.error);
      return kReaderError;
    }
    return Finish(outcome.rows > 0);
  }

  int Usage(const std::string& text) {
    Error(text);
    return kReaderError;
  }

 private:
  ReaderContext& c_;
  int status_ = kReaderFound;
};

}  // namespace

void ReaderContext::Message(const std::string& line) const {
  errors.StartLine();
  errors.WriteLine("ledra: " + EscapeControls(line));
}

int RunReader(int argc, const char* const* argv, ReaderContext& context) {
  CLI::App app("Lists, searches and browses Ledra's disk catalogues (*.kvl).", "ledra");
  app.require_subcommand(1);
  CommonOptions common;

  CLI::App* volumes = app.add_subcommand("volumes", "one row per catalogue");
  AddCommonOptions(volumes, &common);

  CLI::App* find = app.add_subcommand("find", "entries whose name matches, on every volume");
  AddCommonOptions(find, &common);
  FindOptions f;
  f.threads = context.threads;
  std::string volume, type, size, newer, older;
  bool nul = false;
  find->add_option("PATTERN", f.pattern,
                   "substring of the name, or a whole-name pattern with * ? [set]");
  std::string regex;
  auto* regexOption = find->add_option("--regex", regex, "a case-insensitive regular expression");
  find->add_flag("--path", f.matchPath, "match the full path instead of the name");
  find->add_option("--type", type, "f (files) or d (folders)");
  find->add_option("--size", size, "+N more than, -N less than, N exactly N bytes (K, M, G, T)");
  find->add_option("--newer", newer, "modified after DATE (YYYY-MM-DD[THH:MM:SS], local time)");
  find->add_option("--older", older, "modified before DATE");
  find->add_option("--volume", volume, "only this volume (name, alias, serial or file name)");
  find->add_option("--limit", f.limit, "at most N results");
  find->add_flag("--count", f.count, "print only the number of matches");
  auto* nulFlag = find->add_flag("-0,--null", nul, "NUL-terminated full paths, for xargs -0");
  find->add_option("--threads", f.threads, "catalogues searched at once");
  nulFlag->excludes("--json");
  nulFlag->excludes("--csv");

  CLI::App* ls = app.add_subcommand("ls", "the entries of one folder");
  AddCommonOptions(ls, &common);
  std::string lsTarget;
  ls->add_option("VOLUME[:PATH]", lsTarget, "the volume and a folder below its scan root")
      ->required();
  std::string sort = "name";
  ls->add_option("--sort", sort, "name, size or time")
      ->check(CLI::IsMember({"name", "size", "time"}));

  CLI::App* du = app.add_subcommand("du", "folder totals down to a depth");
  AddCommonOptions(du, &common);
  std::string duTarget;
  du->add_option("VOLUME[:PATH]", duTarget, "the volume and a folder below its scan root")
      ->required();
  FolderQuery duQuery;
  du->add_option("-d,--depth", duQuery.depth, "levels below the folder (default 1)")
      ->check(CLI::NonNegativeNumber);

  CompareCommands compare(app, context);

  std::ostringstream helpText;
  std::ostringstream errorText;
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, helpText, errorText);
    context.out.Write(helpText.str());
    if (!errorText.str().empty()) context.errors.Write(errorText.str());
    return code == 0 ? kReaderFound : kReaderError;
  }

  if (const int status = compare.RunParsed(); status >= 0) return status;
  Run run(context);
  if (volumes->parsed()) return run.Volumes(common);
  if (find->parsed()) {
    if (*regexOption) {
      if (!f.pattern.empty()) return run.Usage("give either PATTERN or --regex, not both");
      f.pattern = regex;
      f.regex = true;
    }
    return run.Find(common, f, volume, nul, type, size, newer, older);
  }
  if (ls->parsed()) {
    FolderQuery query;
    query.sort = sort == "size"   ? SortOrder::Size
                 : sort == "time" ? SortOrder::Time
                                  : SortOrder::Name;
    return run.Folder(common, lsTarget, query, false);
  }
  return run.Folder(common, duTarget, duQuery, true);
}

}  // namespace ledra
