// `ledra find`: the entries whose name matches, on every volume or on one.
#include "app/ledra_command.h"
#include "index/index_store.h"
#include "index/indexed_candidates.h"
#include "index/name_trigrams.h"
#include "index/pattern_literals.h"
#include "query/find_query.h"
#include "query/sorted_results.h"

namespace ledra {

namespace {

struct FindArguments : CommandOptions {
  FindOptions find;
  std::string regex;
  CLI::Option* regexOption = nullptr;
  std::vector<std::string> volumes;
  std::string type, size, newer, older, sort;
  bool reverse = false;
  bool nul = false;
  bool noIndex = false;
};

std::unique_ptr<CommandOptions> AddFindOptions(CLI::App& command, const ReaderContext& context) {
  auto a = std::make_unique<FindArguments>();
  AddCommonOptions(command, &a->common, OutputOptions::PerResult);
  FindOptions& f = a->find;
  f.threads = context.threads;
  command.add_option("PATTERN", f.pattern,
                     "substring of the name, or a whole-name pattern with * ? [set]");
  a->regexOption = command.add_option("--regex", a->regex, "a case-insensitive regular expression");
  command.add_flag("--path", f.matchPath, "match the full path instead of the name");
  command.add_option("--type", a->type, "f (files) or d (folders)");
  command.add_option("--size", a->size,
                     "+N more than, -N less than, N exactly N bytes (K, M, G, T)");
  command.add_option("--newer", a->newer,
                     "modified after DATE (YYYY-MM-DD[THH:MM:SS], local time)");
  command.add_option("--older", a->older, "modified before DATE");
  command
      .add_option("--volume", a->volumes,
                  "only this volume (name, alias, serial or file name; repeatable)")
      ->allow_extra_args(false);
  command.add_option("--limit", f.limit, "at most N results");
  command
      .add_option("--sort", a->sort,
                  "name, size (largest first), time (newest first) or path; all results "
                  "are held in memory until the search ends")
      ->check(CLI::IsMember({"name", "size", "time", "path"}));
  command.add_flag("--reverse", a->reverse, "the results in the opposite order");
  command.add_flag("--count", f.count, "print only the number of matches");
  auto* nulFlag = command.add_flag("-0,--null", a->nul, "NUL-terminated full paths, for xargs -0");
  command.add_option("--threads", f.threads, "catalogues searched at once");
  command.add_flag("--no-index", a->noIndex, "scan every catalogue, without the indexes");
  nulFlag->excludes("--json");
  nulFlag->excludes("--csv");
  return a;
}

// Reads the filters into a.find; the line for standard error when one is malformed.
std::string ReadFilters(FindArguments& a) {
  FindOptions& f = a.find;
  if (*a.regexOption) {
    if (!f.pattern.empty()) return "give either PATTERN or --regex, not both";
    f.pattern = a.regex;
    f.regex = true;
  }
  if (!a.type.empty()) {
    if (a.type != "f" && a.type != "d") return "--type takes f or d";
    f.type = a.type == "f" ? FindOptions::Type::File : FindOptions::Type::Folder;
  }
  if (!a.size.empty()) {
    SizeFilter filter;
    if (!ParseSizeFilter(a.size, &filter)) return "--size takes +N, -N or N with K, M, G or T";
    f.size = filter;
  }
  int64_t t = 0;
  if (!a.newer.empty()) {
    if (!ParseLocalTime(a.newer, &t)) return "--newer takes YYYY-MM-DD or YYYY-MM-DDTHH:MM:SS";
    f.newer = t;
  }
  if (!a.older.empty()) {
    if (!ParseLocalTime(a.older, &t)) return "--older takes YYYY-MM-DD or YYYY-MM-DDTHH:MM:SS";
    f.older = t;
  }
  return "";
}

int RunFindCommand(CommandRun& run, CommandOptions& options) {
  FindArguments& a = static_cast<FindArguments&>(options);
  if (const std::string usage = ReadFilters(a); !usage.empty()) return run.Error(usage);
  a.find.encoding = a.common.encoding;
  a.find.machineCodePage = run.context().ansiCodePage;
  std::vector<CatalogFile> files = run.Files();
  if (!a.volumes.empty() && !run.SelectVolumes(a.volumes, &files)) return kReaderError;
  // The indexes narrow a query by the trigrams of the text it requires. Full paths are not
  // what the indexes hold: those queries scan, as do catalogues whose names are decoded from
  // a code page (RunFind passes the index over for them).
  const FindOptions& f = a.find;
  std::vector<uint32_t> trigrams;
  if (!a.noIndex && !f.matchPath) {
    trigrams = RequiredTrigrams(f.regex ? RegexRuns(f.pattern) : PatternRuns(f.pattern));
  }
  IndexStore store(run.platform());
  std::unique_ptr<IndexedCandidates> candidates;
  std::string why;
  if (!trigrams.empty() && store.Locate(&why)) {
    candidates = std::make_unique<IndexedCandidates>(run.platform(), store, std::move(trigrams));
  }
  const OutputSettings settings = run.Settings(a.nul);
  FindOutcome outcome;
  std::string error;
  if (a.sort.empty() && !a.reverse) {
    if (!RunFind(run.platform(), files, a.find, settings, run.out(), &outcome, &error,
                 candidates.get())) {
      return run.Error(error);
    }
  } else {
    // Every result is kept, then sorted; --limit takes the first of the sorted ones.
    ResultOrder order = ResultOrder::Found;
    ParseResultOrder(a.sort, &order);
    FindOptions all = a.find;
    all.limit = 0;
    // Reversed as found: the catalogues' results must be kept in their order.
    if (order == ResultOrder::Found) all.threads = 1;
    KeptResults kept(settings.exactBytes);
    OutputSettings keeping = settings;
    keeping.keep = &kept;
    if (!RunFind(run.platform(), files, all, keeping, run.out(), &outcome, &error,
                 candidates.get())) {
      return run.Error(error);
    }
    if (!a.find.count) kept.WriteSorted(order, a.reverse, a.find.limit, settings, run.out());
  }
  for (const std::string& n : outcome.notices) run.Notice(n);
  if (candidates) {
    for (const std::string& n : candidates->Notices()) run.Notice(n);
  }
  for (const std::string& p : outcome.problems) run.Error(p);
  return run.Finish(outcome.matches > 0);
}

}  // namespace

extern const ReaderCommand kFindCommand{"find", "entries whose name matches, on every volume",
                                        AddFindOptions, RunFindCommand};

}  // namespace ledra
