#include "query/find_query.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <utility>

#include "catalog/catalog_reader.h"
#include "index/pattern_literals.h"
#include "platform/platform.h"
#include "query/catalog_encoding.h"
#include "query/name_matcher.h"
#include "query/name_text.h"
#include "query/ordered_output.h"
#include "query/substring_scanner.h"

namespace ledra {

namespace {

// The longest text of `runs` (what a pattern requires) that an ASCII comparison without
// regard to case finds wherever a match holds it: 'k' and 's' have Unicode partners (the
// Kelvin sign, the long s) that a caseless match takes and that comparison would miss, so
// they end the text. Empty when nothing of two bytes or more is left.
std::string FilterText(const std::vector<std::string>& runs) {
  std::string best;
  for (const std::string& run : runs) {
    std::string piece;
    for (size_t i = 0; i <= run.size(); ++i) {
      const char c = i < run.size() ? run[i] : 'k';
      if (c == 'k' || c == 'K' || c == 's' || c == 'S' || (c & 0x80) != 0) {
        if (piece.size() > best.size()) best = piece;
        piece.clear();
      } else {
        piece.push_back(c);
      }
    }
  }
  return best.size() >= 2 ? best : std::string();
}

bool IsAsciiText(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

bool PassesSize(const SizeFilter& f, double size, bool clamped) {
  const double n = static_cast<double>(f.bytes);
  switch (f.relation) {
    case '+':
      return clamped || size > n;
    case '-':
      return !clamped && size < n;
    default:
      return !clamped && size == n;
  }
}

// A match as the writers see it: its fields are gathered only for the forms that show them.
class FoundEntry final : public ResultRow {
 public:
  // `header` is the one read from the file, whoever chose it (a selector reads it twice,
  // a catalogue named by its path only here).
  FoundEntry(const CatalogFile& file, const CatalogHeader& header, const std::string& volume,
             const CatalogEntry& entry, std::string_view name, bool nameValid, double size,
             bool clamped, int64_t files, const std::string& path, char separator)
      : file_(file),
        header_(header),
        volume_(volume),
        entry_(entry),
        name_(name),
        nameValid_(nameValid),
        size_(size),
        clamped_(clamped),
        files_(files),
        path_(path),
        separator_(separator) {}

  Record Fields() const override {
    EntryFacts facts;
    facts.volume = volume_;
    facts.catalog = file_.fileName;
    facts.path = path_;
    facts.name = std::string(name_);
    facts.rawName = entry_.name;
    facts.nameValid = nameValid_;
    facts.folder = entry_.IsFolder();
    facts.size = static_cast<int64_t>(size_);
    facts.clamped = clamped_;
    facts.files = files_;
    facts.modified = entry_.modified;
    SetPlace(header_, entry_, &facts);
    return EntryRecord(facts);
  }
  const TextLayout& Layout() const override { return EntryLineLayout(); }
  void TextCells(bool exactBytes, std::vector<std::string>* cells) const override {
    EntryLineCells(volume_, path_, size_, clamped_, entry_.modified, exactBytes, cells,
                   entry_.IsFolder() ? separator_ : 0);
  }
  std::string_view FullPath() const override { return path_; }

 private:
  const CatalogFile& file_;
  const CatalogHeader& header_;
  const std::string& volume_;
  const CatalogEntry& entry_;
  std::string_view name_;
  bool nameValid_;
  double size_;
  bool clamped_;
  int64_t files_;
  const std::string& path_;
  char separator_;
};

struct CatalogOutcome {
  uint64_t matches = 0;
  std::string problem;
  std::string notice;
};

// Searches one catalogue; shared state is read only.
class CatalogSearch {
 public:
  CatalogSearch(Platform& platform, const FindOptions& options, const OutputSettings& settings,
                const NameMatcher& matcher, std::atomic<uint64_t>& shown,
                CandidateSource* candidates)
      : platform_(platform),
        options_(options),
        settings_(settings),
        matcher_(matcher.Clone()),
        shown_(shown),
        candidates_(candidates) {
    // A plain ASCII substring on raw names is searched across the whole table at once; the
    // few names that hold a character folding into one of its letters are matched in full.
    // Both shortcuts read the stored bytes, so they serve catalogues whose names are not
    // decoded.
    const std::string substring = SubstringOf(options.pattern);
    if (!options.regex && !options.pattern.empty() && IsSubstringPattern(options.pattern) &&
        !options.matchPath && IsAsciiText(substring)) {
      scanner_ = std::make_unique<SubstringScanner>(substring);
      for (const std::string& variant : NonAsciiFoldingTo(substring)) {
        variants_.emplace_back(variant);
      }
      scannerDecides_ = true;
      countNamesOnly_ = options.count && options.type == FindOptions::Type::Any && !options.size &&
                        !options.newer && !options.older;
    }
    // A regular expression or a wildcard pattern runs only on the names that hold the
    // longest text it requires.
    if (!scanner_ && !options.pattern.empty() && !options.matchPath) {
      const std::string filter =
          FilterText(options.regex ? RegexRuns(options.pattern) : PatternRuns(options.pattern));
      if (!filter.empty()) scanner_ = std::make_unique<SubstringScanner>(filter);
    }
    // A substring of the full path is looked for in each folder's path once; a name then
    // needs only the end of that path before it.
    pathSubstring_ = options.matchPath && !options.regex && !options.pattern.empty() &&
                     IsSubstringPattern(options.pattern);
  }

  CatalogOutcome Run(const CatalogFile& file, OutputSink& sink) {
    CatalogOutcome outcome;
    // A reader the selection left open has read the header already; each file is searched
    // by one worker, which may take it over.
    CatalogReader opened;
    CatalogReader& reader = file.reader != nullptr ? *file.reader : opened;
    ReadProblem problem;
    // Where an index may answer, the entry count is read only for a scan.
    if (file.reader == nullptr &&
        !reader.Open(platform_, file.path, &problem, candidates_ != nullptr)) {
      outcome.problem = file.path + ": " + problem.Text();
      return outcome;
    }
    const CatalogHeader& h = reader.header();
    if (!h.HasTables()) {
      outcome.notice = file.path + ": version " + std::to_string(h.version) +
                       " catalogues hold no tables; passed over";
      return outcome;
    }
    // Each catalogue's names are decoded by its own code page (query/catalog_encoding.h);
    // RunFind checked that the platform knows the code pages.
    const NameEncoding encoding{options_.encoding, options_.machineCodePage};
    catalogDecoder_.reset();
    if (DecodesNames(h.root, encoding)) {
      std::string ignored;
      catalogDecoder_ = CatalogDecoder(platform_, h.root, encoding, &ignored);
    }
    decoder_ = catalogDecoder_.get();
    std::vector<CursorStart> parts;
    std::unique_ptr<FolderPathSource> folderPaths;
    // The indexes hold the stored bytes: a catalogue whose names are decoded is scanned.
    if (candidates_ != nullptr && decoder_ == nullptr &&
        candidates_->Parts(file.path, reader, &parts, &folderPaths)) {
      // The output waits until every part was read without a problem. A problem there
      // (the file changed, an index record that points astray) is left to the scan, which
      // then gives the same report as without an index.
      HeldOutput held;
      const uint64_t shownBefore = shown_;
      folderPaths_ = folderPaths.get();
      outcome = Walk(file, reader, held, &parts);
      folderPaths_ = nullptr;
      if (outcome.problem.empty()) {
        held.PassTo(sink);
        return outcome;
      }
      shown_ = shownBefore;  // with --limit, one thread alone counts
    }
    if (!reader.ReadEntryCount(&problem)) {
      outcome.problem = file.path + ": " + problem.Text();
      return outcome;
    }
    return Walk(file, reader, sink, nullptr);
  }

 private:
  // Output held back: the rows and, apart, the header that heads them.
  class HeldOutput final : public OutputSink {
   public:
    void Write(std::string_view bytes) override { rows_.append(bytes.data(), bytes.size()); }
    void WriteHeader(std::string_view bytes) override {
      header_.assign(bytes.data(), bytes.size());
      headerOrder_ = rows_.size();
    }
    void PassTo(OutputSink& sink) const {
      sink.Write(std::string_view(rows_).substr(0, headerOrder_));
      if (!header_.empty()) sink.WriteHeader(header_);
      if (headerOrder_ < rows_.size()) sink.Write(std::string_view(rows_).substr(headerOrder_));
    }

   private:
    std::string rows_;
    std::string header_;
    size_t headerOrder_ = 0;  // of the header among the rows
  };

  // Searches the whole entry table, or only `parts` of it, writing to `sink`.
  CatalogOutcome Walk(const CatalogFile& file, const CatalogReader& reader, OutputSink& sink,
                      const std::vector<CursorStart>* parts) {
    CatalogOutcome outcome;
    const CatalogHeader& h = reader.header();
    const bool needPaths = !options_.count || options_.matchPath;
    dirFolder_ = kNoFolder;
    const std::string prefix = h.PathPrefix();
    const char separator = h.Separator();
    const bool narrow = !h.WideEntries();
    std::unique_ptr<RecordWriter> writer = MakeRecordWriter(settings_, sink);
    std::string volume = h.displayName;
    if (decoder_) decoder_->Decode(h.displayName, &volume);

    // Set when a folder's figures mark the catalogue as damaged; the walk stops there.
    ReadProblem folderProblem;
    pathProblem_ = ReadProblem();
    // Walks one cursor (the whole table, or one part of it); false once --limit results
    // are shown or at damage: the rest is not read.
    auto walk = [&](EntryCursor& cursor) {
      windowRefills_ = kNoRefills;
      if (countNamesOnly_ && decoder_ == nullptr) {
        outcome.matches += CountNames(cursor);
        return !cursor.failed();
      }
      auto visit = [&](const CatalogEntry& e) {
        const bool folder = e.IsFolder();
        if ((options_.type == FindOptions::Type::File && folder) ||
            (options_.type == FindOptions::Type::Folder && !folder)) {
          return true;
        }
        if ((options_.newer && e.modified <= *options_.newer) ||
            (options_.older && e.modified >= *options_.older)) {
          return true;
        }
        const bool clamped = narrow && !folder && e.size == kClampedSize;
        double size = static_cast<double>(e.size);
        int64_t files = 0;
        if (folder && (options_.size || !options_.count)) {
          CatalogFolder record;
          if (!reader.Folder(e.FolderNumber(), &record, &folderProblem)) return false;
          size = record.totalSize;
          files = record.fileCount;
        }
        if (options_.size && !PassesSize(*options_.size, size, clamped)) return true;
        std::string_view name = e.name;
        bool nameValid = true;
        if (decoder_) {
          nameValid = decoder_->Decode(e.name, &decodedName_);
          name = decodedName_;
        }
        bool pathBuilt = false;
        if (options_.matchPath) {
          if (!EnterFolder(prefix, separator, cursor, e.folderIndex)) return false;
          // The tail test needs '/' between folders, as --path patterns are written.
          if (pathSubstring_ && separator == '/') {
            if (!dirHit_) {
              joined_.assign(dirTail_);
              joined_.append(name.data(), name.size());
              if (!matcher_->Matches(joined_)) return true;
            }
          } else {
            BuildPath(name);
            pathBuilt = true;
            if (!matcher_->Matches(PathToMatch(separator))) return true;
          }
        } else if (scanner_ && decoder_ == nullptr) {
          if (!ScannerMatches(cursor, e.name)) return true;
        } else if (!matcher_->Matches(name)) {
          return true;
        }
        ++outcome.matches;
        if (options_.count) return true;
        if (!pathBuilt) {
          if (!EnterFolder(prefix, separator, cursor, e.folderIndex)) return false;
          BuildPath(name);
        }
        const FoundEntry found{
            file, h,       volume, e,     name,     nameValid && (decoder_ || IsValidUtf8(e.name)),
            size, clamped, files,  path_, separator};
        writer->Write(found);
        return options_.limit == 0 || ++shown_ < options_.limit;
      };
      return cursor.ForEach(visit) && !cursor.failed();
    };
    const EntryCursor* last = nullptr;
    std::unique_ptr<EntryCursor> cursor;
    if (parts == nullptr) {
      cursor = std::make_unique<EntryCursor>(reader.StreamEntries(needPaths));
      walk(*cursor);
      last = cursor.get();
    } else {
      for (const CursorStart& part : *parts) {
        cursor = std::make_unique<EntryCursor>(reader.StreamPart(part, kPartBuffer));
        last = cursor.get();
        if (!walk(*cursor)) break;
      }
    }
    if (!countNamesOnly_) writer->Finish();
    if (!folderProblem.what.empty()) {
      outcome.problem = file.path + ": " + folderProblem.Text();
    } else if (!pathProblem_.what.empty()) {
      outcome.problem = file.path + ": " + pathProblem_.Text();
    } else if (last != nullptr && last->failed()) {
      outcome.problem = file.path + ": " + last->problem().Text();
    }
    return outcome;
  }

  static constexpr uint32_t kNoFolder = UINT32_MAX;
  static constexpr uint64_t kNoRefills = UINT64_MAX;
  // A part of a table an index names is a few blocks of names: a small buffer holds it.
  static constexpr size_t kPartBuffer = 4096;

  // Whether the scanner finds the pattern in `name`, which the cursor just gave. The
  // scanner searches the cursor's window, afresh each time the cursor reads on.
  bool NameOccurs(const EntryCursor& cursor, std::string_view name) {
    if (cursor.Refills() != windowRefills_) {
      windowRefills_ = cursor.Refills();
      window_ = cursor.Window();
      scanner_->Restart();
      for (SubstringScanner& variant : variants_) variant.Restart();
    }
    const size_t nameStart = static_cast<size_t>(name.data() - window_.data());
    const size_t nameEnd = nameStart + name.size();
    if (scanner_->Occurs(window_, nameStart, nameEnd)) return true;
    bool variantOccurs = false;
    for (SubstringScanner& variant : variants_) {
      variantOccurs = variant.Occurs(window_, nameStart, nameEnd) || variantOccurs;
    }
    return variantOccurs && matcher_->Matches(name);
  }

  // Whether the stored `name`, which the cursor just gave, matches, the scanner passing over
  // the names that cannot. The scanner folds every ASCII letter, so it decides alone only
  // where the matchers do too: names that are ASCII or valid UTF-8.
  bool ScannerMatches(const EntryCursor& cursor, std::string_view name) {
    if (!NameOccurs(cursor, name)) return false;
    if (scannerDecides_ && (IsAsciiText(name) || IsValidUtf8(name))) return true;
    return matcher_->Matches(name);
  }

  // --count of a substring with no filter: each entry is still read and checked, and only
  // its name is looked at.
  uint64_t CountNames(EntryCursor& cursor) {
    uint64_t matches = 0;
    cursor.ForEach([&](const CatalogEntry& e) {
      matches += ScannerMatches(cursor, e.name);
      return true;
    });
    return matches;
  }

  // Makes `dir_` the path of folder `number` with a separator after it; entries come
  // grouped by folder, so each folder's path is made once. False with pathProblem_ when
  // the folder cannot be named.
  bool EnterFolder(const std::string& prefix, char separator, const EntryCursor& cursor,
                   uint32_t number) {
    if (number == dirFolder_) return true;
    raw_.assign(prefix);
    if (folderPaths_ != nullptr) {
      if (!folderPaths_->AppendFolderPath(number, separator, &raw_, &pathProblem_)) return false;
    } else {
      cursor.AppendFolderPath(number, separator, &raw_);
    }
    if (decoder_) {
      decoder_->Decode(raw_, &dir_);
    } else {
      dir_.swap(raw_);
    }
    dir_.push_back(separator);
    dirFolder_ = number;
    if (pathSubstring_) {
      dirHit_ = matcher_->Matches(dir_);
      // An occurrence that ends in the name starts within the pattern's length in
      // characters before it, four bytes at most each; the tail starts on a character.
      size_t from = dir_.size() - std::min(dir_.size(), 4 * options_.pattern.size());
      while (from > 0 && (static_cast<unsigned char>(dir_[from]) & 0xC0) == 0x80) --from;
      dirTail_.assign(dir_, from, std::string::npos);
    }
    return true;
  }

  // The path as --path patterns see it: folders are separated by '/' on catalogues of both
  // platforms, since '\\' in a pattern makes wildcard characters plain.
  std::string_view PathToMatch(char separator) {
    if (separator == '/') return path_;
    slashed_.assign(path_);
    for (char& c : slashed_) {
      if (c == separator) c = '/';
    }
    return slashed_;
  }

  void BuildPath(std::string_view name) {
    path_.assign(dir_);
    path_.append(name.data(), name.size());
  }

  Platform& platform_;
  const FindOptions& options_;
  const OutputSettings& settings_;
  std::unique_ptr<NameMatcher> matcher_;
  std::unique_ptr<NameDecoder> catalogDecoder_;  // of the catalogue at hand, if its names need one
  NameDecoder* decoder_ = nullptr;               // catalogDecoder_; null: the stored bytes
  std::unique_ptr<SubstringScanner> scanner_;
  std::vector<SubstringScanner> variants_;  // characters beyond ASCII folding into the pattern
  bool scannerDecides_ = false;             // a substring: else the scanner only passes over names
  bool countNamesOnly_ = false;
  bool pathSubstring_ = false;
  std::string_view window_;  // of the cursor, as the scanner last saw it
  uint64_t windowRefills_ = kNoRefills;
  std::atomic<uint64_t>& shown_;
  CandidateSource* candidates_;
  FolderPathSource* folderPaths_ = nullptr;  // of the catalogue at hand, when narrowed
  ReadProblem pathProblem_;
  std::string decodedName_;
  std::string raw_;
  uint32_t dirFolder_ = kNoFolder;  // whose path dir_ holds
  std::string dir_;
  bool dirHit_ = false;  // the pattern occurs in dir_
  std::string dirTail_;
  std::string joined_;
  std::string path_;
  std::string slashed_;
};

}  // namespace

bool ParseSizeFilter(const std::string& text, SizeFilter* filter) {
  std::string_view s(text);
  SizeFilter f;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    f.relation = s[0];
    s.remove_prefix(1);
  }
  int shift = 0;
  if (!s.empty()) {
    switch (s.back()) {
      case 'K':
      case 'k':
        shift = 10;
        break;
      case 'M':
      case 'm':
        shift = 20;
        break;
      case 'G':
      case 'g':
        shift = 30;
        break;
      case 'T':
      case 't':
        shift = 40;
        break;
      default:
        break;
    }
    if (shift != 0) s.remove_suffix(1);
  }
  if (s.empty() || s.size() > 15 || s.find_first_not_of("0123456789") != std::string_view::npos) {
    return false;
  }
  const uint64_t count = std::stoull(std::string(s));
  // A size of 2^64 bytes or more would wrap to a small one and match everything.
  if (shift != 0 && count > (UINT64_MAX >> shift)) return false;
  f.bytes = count << shift;
  *filter = f;
  return true;
}

bool RunFind(Platform& platform, const std::vector<CatalogFile>& files, const FindOptions& options,
             const OutputSettings& settings, OutputSink& out, FindOutcome* outcome,
             std::string* error, CandidateSource* candidates) {
  std::unique_ptr<NameMatcher> matcher =
      options.regex ? NewRegexMatcher(options.pattern, error) : NewPatternMatcher(options.pattern);
  if (matcher == nullptr) return false;
  if (!CheckEncoding(platform, NameEncoding{options.encoding, options.machineCodePage}, error)) {
    return false;
  }
  std::vector<CatalogOutcome> results(files.size());
  std::atomic<uint64_t> shown{0};
  std::atomic<size_t> next{0};
  OutputOrder order(out);
  auto work = [&] {
    CatalogSearch search(platform, options, settings, *matcher, shown, candidates);
    // Once --limit results are shown, no further catalogue is read.
    auto wanted = [&] { return options.limit == 0 || shown < options.limit; };
    for (size_t i = next++; i < files.size() && wanted(); i = next++) {
      OrderedSink sink(order, i);
      results[i] = search.Run(files[i], sink);
      sink.Finish();
    }
  };
  // --limit counts results in order, which one thread keeps simple.
  const int threads =
      options.limit != 0
          ? 1
          : std::max(1, std::min<int>(options.threads, static_cast<int>(files.size())));
  std::vector<std::thread> helpers;
  for (int t = 1; t < threads; ++t) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();

  for (const CatalogOutcome& r : results) {
    outcome->matches += r.matches;
    if (!r.problem.empty()) {
      outcome->damaged = true;
      outcome->problems.push_back(r.problem);
    }
    if (!r.notice.empty()) outcome->notices.push_back(r.notice);
  }
  if (options.count) out.Write(std::to_string(outcome->matches) + "\n");
  return true;
}

}  // namespace ledra
