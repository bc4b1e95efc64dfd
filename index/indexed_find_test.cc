// find answered through the indexes against find scanning every catalogue whole: random
// trees of both table versions, random queries of every kind, every filter and output
// form; the bytes written, the counts, the problems and the notices must be the same.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "index/index_store.h"
#include "index/indexed_candidates.h"
#include "index/name_trigrams.h"
#include "index/pattern_literals.h"
#include "platform/fake_platform.h"
#include "query/find_query.h"
#include "query/name_matcher.h"
#include "query/record_writer.h"
#include "query/tree_catalog_testing.h"

namespace ledra {
namespace {

using test::LaidCatalog;
using test::TreeCatalog;
using test::TreeItem;

// Name pieces with case, digits, separators and the bytes that fold in interesting ways:
// é (two bytes), the Kelvin sign and the long s (which fold onto 'k' and 's').
const char* const kPieces[] = {"Summer",
                               "beach",
                               "IMG_",
                               "2019",
                               "notes",
                               ".txt",
                               ".JPG",
                               "Kite",
                               "desk",
                               "top",
                               "-",
                               "_",
                               " ",
                               "caf\xC3\xA9",
                               "\xE2\x84\xAA"
                               "ite",
                               "mas\xC5\xBF",
                               "aaa",
                               "Report",
                               "x",
                               "sss"};

std::string RandomName(std::mt19937& random) {
  std::string name;
  const int pieces = 1 + static_cast<int>(random() % 3);
  for (int i = 0; i < pieces; ++i) name += kPieces[random() % (sizeof kPieces / sizeof *kPieces)];
  if (random() % 4 == 0) name += std::to_string(random() % 100);
  return name;
}

std::vector<TreeItem> RandomTree(std::mt19937& random, int16_t version) {
  std::vector<std::string> folders{""};
  std::vector<TreeItem> items;
  const int count = 20 + static_cast<int>(random() % 300);
  for (int i = 0; i < count; ++i) {
    const std::string& parent = folders[random() % folders.size()];
    const std::string path = parent + RandomName(random);
    const int32_t modified = 1500000000 + static_cast<int32_t>(random() % 100000000);
    if (random() % 5 == 0 && path.size() < 120) {
      items.push_back({path + "/", 0, modified});
      folders.push_back(path + "/");
    } else {
      int64_t size = static_cast<int64_t>(random() % 5000);
      if (random() % 10 == 0) size = version == 5 ? kClampedSize : int64_t{5} << 30;
      items.push_back({path, size, modified});
    }
  }
  return items;
}

// A random piece of a random name of the tree, its case changed here and there.
std::string Piece(std::mt19937& random, const std::vector<TreeItem>& items) {
  std::string path = items[random() % items.size()].path;
  if (!path.empty() && path.back() == '/') path.pop_back();
  const std::string name = path.substr(path.rfind('/') + 1);
  const size_t length = 1 + random() % std::min<size_t>(name.size(), 7);
  size_t from = random() % (name.size() - length + 1);
  size_t to = from + length;
  // Whole characters only, so that every piece is also a valid expression.
  auto inside = [&](size_t at) {
    return at < name.size() && (static_cast<unsigned char>(name[at]) & 0xC0) == 0x80;
  };
  while (inside(from)) --from;
  while (inside(to)) ++to;
  std::string piece = name.substr(from, to - from);
  for (char& c : piece) {
    if (random() % 3 == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return piece;
}

std::string EscapeRegex(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}

FindOptions RandomQuery(std::mt19937& random, const std::vector<TreeItem>& items) {
  FindOptions o;
  const std::string piece = Piece(random, items);
  switch (random() % 10) {
    case 0:
    case 1:
    case 2:
      o.pattern = piece;
      break;
    case 3:  // a wildcard around the piece, with '?' and a set
      o.pattern = "*" + piece + "*";
      if (piece.size() > 2) o.pattern[2] = '?';
      if (random() % 2) o.pattern += "[tgx]";
      break;
    case 4:
      o.pattern = "*" + piece + (random() % 2 ? "*.txt" : "*");
      break;
    case 5:
      o.regex = true;
      o.pattern = EscapeRegex(piece) + (random() % 2 ? ".*" : "\\d*") + "(txt|jpg)?";
      break;
    case 6:
      o.regex = true;
      o.pattern = "^" + EscapeRegex(piece) + "|notes";  // an alternation: no literal
      break;
    case 7:
      o.regex = true;
      o.pattern = EscapeRegex(piece) + "s?[0-9]{0,2}" + (random() % 2 ? "$" : "");
      break;
    case 8:
      o.pattern = piece;
      o.matchPath = true;
      break;
    default:
      o.pattern = "*" + piece + "*";
      o.matchPath = random() % 2 == 0;
      break;
  }
  if (random() % 4 == 0)
    o.type = random() % 2 ? FindOptions::Type::File : FindOptions::Type::Folder;
  if (random() % 5 == 0) {
    SizeFilter f;
    f.relation = "+-="[random() % 3];
    f.bytes = random() % 3000;
    o.size = f;
  }
  if (random() % 5 == 0) o.newer = 1500000000 + static_cast<int64_t>(random() % 100000000);
  if (random() % 6 == 0) o.older = 1500000000 + static_cast<int64_t>(random() % 100000000);
  if (random() % 5 == 0) o.limit = 1 + random() % 5;
  if (random() % 4 == 0) o.count = true;
  o.threads = 1 + static_cast<int>(random() % 2);
  return o;
}

class IndexedFindTest : public ::testing::Test {
 protected:
  IndexedFindTest() : errors_(errorText_), fake_(errors_) {
    fake_.AddFolder("C:\\cache");
    fake_.environment["LEDRA_INDEX_DIR"] = "C:\\cache\\index";
  }

  std::vector<CatalogFile> Files() {
    std::vector<std::string> unreadable;
    std::vector<CatalogFile> files = ListCatalogFiles(fake_, {"C:\\cats"}, false, &unreadable);
    std::vector<std::string> problems;
    ReadHeaders(fake_, &files, &problems);
    return files;
  }

  // The output, the count, the problems and the notices of one find.
  std::string Find(const FindOptions& options, OutputFormat format, CandidateSource* candidates) {
    StringSink out;
    FindOutcome outcome;
    std::string error;
    EXPECT_TRUE(
        RunFind(fake_, Files(), options, {format, false}, out, &outcome, &error, candidates))
        << error;
    std::ostringstream all;
    all << out.text << "|" << outcome.matches << "|" << outcome.damaged;
    for (const std::string& p : outcome.problems) all << "|P " << p;
    for (const std::string& n : outcome.notices) all << "|N " << n;
    return all.str();
  }

  // Builds the index of every catalogue by a find that may build them, from one thread:
  // the in-memory machine takes writes from one thread at a time. How many it narrowed.
  uint32_t BuildIndexes() {
    IndexStore store(fake_);
    std::string why;
    EXPECT_TRUE(store.Locate(&why)) << why;
    IndexedCandidates build(fake_, store, RequiredTrigrams({"txt"}), 1000000);
    FindOptions options;
    options.pattern = "txt";
    Find(options, OutputFormat::Text, &build);
    return build.narrowed();
  }

  std::vector<uint32_t> Trigrams(const FindOptions& o) {
    if (o.matchPath) return {};
    return RequiredTrigrams(o.regex ? RegexRuns(o.pattern) : PatternRuns(o.pattern));
  }

  std::ostringstream errorText_;
  MessageSink errors_;
  FakePlatform fake_;
};

FindOptions Options(const std::string& pattern) {
  FindOptions o;
  o.pattern = pattern;
  return o;
}

std::string Describe(const FindOptions& o) {
  std::ostringstream d;
  d << (o.regex ? "regex " : "pattern ") << "'" << o.pattern << "'" << (o.matchPath ? " path" : "")
    << " type " << static_cast<int>(o.type) << (o.size ? " size" : "") << (o.newer ? " newer" : "")
    << (o.older ? " older" : "") << " limit " << o.limit << (o.count ? " count" : "");
  return d.str();
}

TEST_F(IndexedFindTest, RandomTreesAndQueriesGiveTheScansBytes) {
  std::mt19937 random(20261208);
  uint32_t narrowed = 0;
  int queries = 0;
  for (int tree = 0; tree < 24; ++tree) {
    const int16_t version = tree % 2 == 0 ? 5 : 6;
    std::vector<TreeItem> all;
    for (int c = 0; c < 3; ++c) {
      LaidCatalog volume;
      volume.version = version;
      volume.root = c == 0 ? "/mnt/disk/" : "D:\\";
      volume.volumeName = "VOL" + std::to_string(c);
      const std::vector<TreeItem> items = RandomTree(random, version);
      all.insert(all.end(), items.begin(), items.end());
      fake_.AddFileWithContent(
          "C:\\cats\\" + std::to_string(tree) + "-" + std::to_string(c) + ".kvl",
          TreeCatalog(volume, items));
    }
    // The indexes are built first; the queries then read them from one thread or two.
    ASSERT_EQ(BuildIndexes(), 3u);
    for (int q = 0; q < 40; ++q, ++queries) {
      const FindOptions options = RandomQuery(random, all);
      const OutputFormat format =
          std::vector<OutputFormat>{OutputFormat::Text, OutputFormat::Json, OutputFormat::Csv,
                                    OutputFormat::NulPaths}[random() % 4];
      const std::string scan = Find(options, format, nullptr);
      const std::vector<uint32_t> trigrams = Trigrams(options);
      if (trigrams.empty()) continue;
      IndexStore store(fake_);
      std::string why;
      ASSERT_TRUE(store.Locate(&why)) << why;
      IndexedCandidates candidates(fake_, store, trigrams, 0);
      EXPECT_EQ(Find(options, format, &candidates), scan) << Describe(options);
      EXPECT_TRUE(candidates.Notices().empty()) << Describe(options);
      narrowed += candidates.narrowed();
    }
    // The next tree's catalogues replace these.
    for (int c = 0; c < 3; ++c) {
      OsError err;
      fake_.Remove("C:\\cats\\" + std::to_string(tree) + "-" + std::to_string(c) + ".kvl", &err);
    }
  }
  // Most queries with a literal were answered from an index, not passed to the scan.
  EXPECT_GT(narrowed, static_cast<uint32_t>(queries));
}

}  // namespace
}  // namespace ledra

namespace ledra {
namespace {

// The scans that stay fast without an index against the plain rule: --path matches each
// entry's full path (the folder part is matched once per folder, and only its end joins
// the name), a regular expression each name (it runs only on the names holding the text
// it requires), a wildcard pattern each name (likewise).
TEST_F(IndexedFindTest, PathAndRegexScansMatchByThePlainRule) {
  std::mt19937 random(7);
  for (int tree = 0; tree < 12; ++tree) {
    LaidCatalog volume;
    volume.version = tree % 2 == 0 ? 5 : 6;
    volume.root = "/mnt/d/";
    const std::vector<TreeItem> items = RandomTree(random, volume.version);
    fake_.AddFileWithContent("C:\\cats\\T.kvl", TreeCatalog(volume, items));
    FindOptions every;
    std::vector<std::string> all;
    {
      const std::string text = Find(every, OutputFormat::NulPaths, nullptr);
      const std::string paths = text.substr(0, text.find('|'));
      for (size_t start = 0, nul; (nul = paths.find('\0', start)) != std::string::npos;
           start = nul + 1) {
        all.push_back(paths.substr(start, nul - start));
      }
    }
    for (int q = 0; q < 60; ++q) {
      const std::string& path = all[random() % all.size()];
      FindOptions o;
      std::string expected;
      if (q % 3 != 2) {
        // A piece of a full path, across the folder and name boundary as often as not.
        const size_t length = 1 + random() % std::min<size_t>(path.size(), 12);
        o.pattern = path.substr(random() % (path.size() - length + 1), length);
        if (o.pattern.find_first_of("*?[") != std::string::npos) continue;
        if (q % 3 == 1) o.pattern = "*" + o.pattern + "*";
        o.matchPath = true;
        std::unique_ptr<NameMatcher> matcher = NewPatternMatcher(o.pattern);
        for (const std::string& p : all) {
          if (matcher->Matches(p)) expected += p + '\0';
        }
      } else if (q % 2 == 0) {
        o.pattern = "*" + Piece(random, items) + "*" + (q % 4 == 0 ? "?" : "");
        if (o.pattern.find_first_of("[") != std::string::npos) continue;
        std::unique_ptr<NameMatcher> matcher = NewPatternMatcher(o.pattern);
        for (const std::string& p : all) {
          if (matcher->Matches(p.substr(p.rfind('/') + 1))) expected += p + '\0';
        }
      } else {
        o.regex = true;
        o.pattern = EscapeRegex(Piece(random, items)) + "(\\d|\\.|_)?";
        std::string error;
        std::unique_ptr<NameMatcher> matcher = NewRegexMatcher(o.pattern, &error);
        ASSERT_NE(matcher, nullptr) << error;
        for (const std::string& p : all) {
          if (matcher->Matches(p.substr(p.rfind('/') + 1))) expected += p + '\0';
        }
      }
      const std::string text = Find(o, OutputFormat::NulPaths, nullptr);
      EXPECT_EQ(text.substr(0, text.find('|')), expected) << Describe(o);
    }
  }
}

}  // namespace
}  // namespace ledra

namespace ledra {
namespace {

// find names a catalogue's index by the catalogue's absolute path, as `ledra index` does.
// Catalogues listed from relative folders, several to a folder and on another drive, find
// the indexes built for their absolute paths: each catalogue of each folder is narrowed.
TEST_F(IndexedFindTest, CataloguesOfRelativeFoldersFindTheIndexesOfTheirAbsolutePaths) {
  std::mt19937 random(11);
  const std::vector<std::string> paths = {"C:\\cats\\a.kvl", "C:\\cats\\b.kvl",
                                          "C:\\cats\\more\\c.kvl", "D:\\d.kvl"};
  fake_.AddFolder("C:\\cats\\more");
  fake_.AddFolder("D:\\");
  for (const std::string& path : paths) {
    LaidCatalog volume;
    volume.root = "/mnt/d/";
    fake_.AddFileWithContent(path, TreeCatalog(volume, {{"x.txt", 1, 1600000000}}));
  }
  ASSERT_TRUE(fake_.ChangeFolder("C:\\cats"));
  IndexStore store(fake_);
  std::string why;
  ASSERT_TRUE(store.Locate(&why)) << why;
  auto find = [&](const std::vector<std::string>& folders, uint32_t buildLimit) {
    std::vector<std::string> unreadable;
    std::vector<CatalogFile> files = ListCatalogFiles(fake_, folders, false, &unreadable);
    EXPECT_EQ(files.size(), paths.size());
    IndexedCandidates candidates(fake_, store, RequiredTrigrams({"txt"}), buildLimit);
    StringSink out;
    FindOutcome outcome;
    std::string error;
    EXPECT_TRUE(RunFind(fake_, files, Options("txt"), {OutputFormat::Text, false}, out, &outcome,
                        &error, &candidates));
    EXPECT_EQ(outcome.matches, paths.size());
    return candidates.narrowed();
  };
  ASSERT_EQ(find({"C:\\cats", "C:\\cats\\more", "D:\\"}, 1000000), paths.size());
  EXPECT_EQ(find({".", "more", "D:"}, 0), paths.size());
}

}  // namespace
}  // namespace ledra

namespace ledra {
namespace {

// A catalogue large enough that common trigrams have long posting lists, kept apart from
// the pages, beside rare ones whose lists come with their pages: queries mixing the two,
// and queries of long lists only, give the scan's bytes through the index.
TEST_F(IndexedFindTest, LongAndShortPostingListsTogether) {
  std::vector<TreeItem> items;
  for (int f = 0; f < 20; ++f) {
    const std::string folder = "Folder" + std::to_string(f) + "/";
    items.push_back({folder, 0, 1600000000});
    for (int i = 0; i < 400; ++i) {
      const std::string name = i % 97 == 5 ? "rare-thing-" : "file-";
      items.push_back({folder + name + std::to_string(i) + ".txt", i, 1600000000 + i});
    }
  }
  LaidCatalog volume;
  volume.version = 6;
  volume.root = "/mnt/big/";
  fake_.AddFileWithContent("C:\\cats\\big.kvl", TreeCatalog(volume, items));
  ASSERT_EQ(BuildIndexes(), 1u);
  IndexStore store(fake_);
  std::string why;
  ASSERT_TRUE(store.Locate(&why)) << why;
  for (const char* pattern : {"rare-thing-5", "rare-thing", "file-12", "ile-399.txt", "e-1*.txt",
                              "thing-38", "older9", "nowhere-near"}) {
    SCOPED_TRACE(pattern);
    const FindOptions options = Options(pattern);
    IndexedCandidates candidates(fake_, store, Trigrams(options), 0);
    EXPECT_EQ(Find(options, OutputFormat::Json, &candidates),
              Find(options, OutputFormat::Json, nullptr));
    EXPECT_EQ(candidates.narrowed(), 1u);
  }
}

}  // namespace
}  // namespace ledra
