// An index is believed only when it is whole and built from the catalogue as it is now:
// damage at any byte, an index cut short at any length, a catalogue replaced by a rename
// or rewritten with the same size and time, and a cache folder that cannot be written all
// leave find with the scan's result.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "catalog/catalog_reader.h"
#include "index/index_file.h"
#include "index/index_store.h"
#include "index/indexed_candidates.h"
#include "index/name_trigrams.h"
#include "index/pattern_literals.h"
#include "platform/fake_platform.h"
#include "query/find_query.h"
#include "query/record_writer.h"
#include "query/tree_catalog_testing.h"

namespace ledra {
namespace {

using test::LaidCatalog;
using test::TreeCatalog;
using test::TreeItem;

constexpr const char* kCatalog = "C:\\cats\\A.kvl";
constexpr const char* kIndexFolder = "C:\\cache\\index";

// Two trees of the same shape and byte count that differ only in their names.
std::vector<TreeItem> Tree(const std::string& word, int perFolder = 12, int folders = 3) {
  std::vector<TreeItem> items;
  for (int f = 0; f < folders; ++f) {
    const std::string folder = "dir" + std::to_string(f) + "/";
    items.push_back({folder, 0, 1600000000});
    for (int i = 0; i < perFolder; ++i) {
      items.push_back(
          {folder + word + "_" + std::to_string(f * 100 + i) + ".txt", 10 * i, 1600000000 + i});
    }
  }
  return items;
}

std::string Catalogue(const std::string& word, int16_t version = 5, int perFolder = 12,
                      int folders = 3) {
  LaidCatalog volume;
  volume.version = version;
  volume.root = "/mnt/a/";
  return TreeCatalog(volume, Tree(word, perFolder, folders));
}

FindOptions Query(const std::string& pattern, bool regex = false) {
  FindOptions o;
  o.pattern = pattern;
  o.regex = regex;
  return o;
}

class IndexDamageTest : public ::testing::Test {
 protected:
  IndexDamageTest() : errors_(errorText_), fake_(errors_), store_(fake_) {
    fake_.AddFolder("C:\\cache");
    fake_.environment["LEDRA_INDEX_DIR"] = kIndexFolder;
    std::string why;
    EXPECT_TRUE(store_.Locate(&why)) << why;
  }

  std::string Find(const FindOptions& options, CandidateSource* candidates) {
    std::vector<std::string> unreadable;
    std::vector<CatalogFile> files = ListCatalogFiles(fake_, {"C:\\cats"}, false, &unreadable);
    StringSink out;
    FindOutcome outcome;
    std::string error;
    EXPECT_TRUE(RunFind(fake_, files, options, {OutputFormat::Text, false}, out, &outcome, &error,
                        candidates));
    std::ostringstream all;
    all << out.text << "|" << outcome.matches;
    for (const std::string& p : outcome.problems) all << "|P " << p;
    return all.str();
  }

  // find through the indexes, building none on the spot unless `buildLimit` allows.
  std::string FindIndexed(const FindOptions& options, uint32_t buildLimit, uint32_t* narrowed,
                          std::vector<std::string>* notices = nullptr) {
    const std::vector<uint32_t> trigrams =
        RequiredTrigrams(options.regex ? RegexRuns(options.pattern) : PatternRuns(options.pattern));
    IndexedCandidates candidates(fake_, store_, trigrams, buildLimit, 0);
    const std::string text = Find(options, &candidates);
    *narrowed = candidates.narrowed();
    if (notices != nullptr) *notices = candidates.Notices();
    return text;
  }

  std::string IndexPath() {
    std::string absolute;
    fake_.AbsolutePath(kCatalog, &absolute);
    return store_.IndexPathFor(absolute);
  }

  std::ostringstream errorText_;
  MessageSink errors_;
  FakePlatform fake_;
  IndexStore store_;
};

TEST_F(IndexDamageTest, DamageAtEveryByteAndEveryCutGivesTheScansResult) {
  for (int16_t version : {5, 6}) {
    fake_.AddFileWithContent(kCatalog, Catalogue("alpha", version));
    uint32_t narrowed = 0;
    const std::vector<FindOptions> queries = {Query("ALPHA_2"), Query("*pha_1?3.t*"),
                                              Query("lph.*_20[0-9]", true)};
    for (const FindOptions& q : queries) {
      const std::string scan = Find(q, nullptr);
      ASSERT_EQ(FindIndexed(q, 1000, &narrowed), scan);
      ASSERT_EQ(narrowed, 1u) << "built on the spot";
      ASSERT_EQ(FindIndexed(q, 0, &narrowed), scan);
      ASSERT_EQ(narrowed, 1u) << "read from the store";
    }
    const std::string good = fake_.Content(IndexPath());
    ASSERT_GT(good.size(), 200u);
    std::vector<std::string> scans;
    for (const FindOptions& q : queries) scans.push_back(Find(q, nullptr));
    size_t believed = 0;
    for (size_t at = 0; at < good.size(); ++at) {
      // The low bit and the high bit in turn: a varint's continuation, a count's size.
      for (const unsigned char flip : {at % 2 == 0 ? 0x01 : 0x80}) {
        std::string damaged = good;
        damaged[at] = static_cast<char>(damaged[at] ^ flip);
        fake_.AddFileWithContent(IndexPath(), damaged);
        for (size_t q = 0; q < queries.size(); ++q) {
          ASSERT_EQ(FindIndexed(queries[q], 0, &narrowed), scans[q])
              << "version " << version << ", byte " << at << " ^ " << int{flip};
          believed += narrowed;
        }
      }
      fake_.AddFileWithContent(IndexPath(), good.substr(0, at));
      ASSERT_EQ(FindIndexed(queries[0], 0, &narrowed), scans[0]) << "cut at " << at;
      ASSERT_EQ(narrowed, 0u) << "cut at " << at;
    }
    // Damage in records a query does not read leaves the index usable for it.
    EXPECT_GT(believed, 0u);
    OsError err;
    fake_.Remove(IndexPath(), &err);
  }
}

TEST_F(IndexDamageTest, AnIndexCutPastItsFirstReadIsMetWhereItIsRead) {
  // find does not take an index's size: a cut beyond the header's read shows where a query
  // reads past it, and the status, which takes the size, calls the index unreadable.
  fake_.AddFileWithContent(kCatalog, Catalogue("alpha", 6, 300));
  // Digits sort first among the trigrams, letters last: the pages of "100" lie before most
  // cuts, those of "zeta" after them.
  const std::vector<FindOptions> queries = {Query("100"), Query("pha_1?3.t*"), Query("zeta")};
  uint32_t narrowed = 0;
  for (const FindOptions& q : queries) FindIndexed(q, 100000, &narrowed);
  const std::string good = fake_.Content(IndexPath());
  ASSERT_GT(good.size(), 3 * 4096u);
  std::vector<std::string> scans;
  for (const FindOptions& q : queries) scans.push_back(Find(q, nullptr));
  CatalogReader reader;
  ReadProblem problem;
  ASSERT_TRUE(reader.Open(fake_, kCatalog, &problem)) << problem.Text();
  CatalogIdentity identity;
  std::string why;
  std::string absolute;
  fake_.AbsolutePath(kCatalog, &absolute);
  ASSERT_TRUE(store_.Identify(absolute, reader, &identity, &why)) << why;
  size_t believed = 0;
  for (size_t cut = 4000; cut < good.size(); cut += 61) {
    fake_.AddFileWithContent(IndexPath(), good.substr(0, cut));
    for (size_t q = 0; q < queries.size(); ++q) {
      ASSERT_EQ(FindIndexed(queries[q], 0, &narrowed), scans[q]) << "cut at " << cut;
      believed += narrowed;
    }
    std::unique_ptr<IndexFile> index;
    uint64_t bytes = 0;
    why.clear();
    EXPECT_EQ(store_.Open(identity, &index, &bytes, &why), IndexState::Unreadable)
        << "cut at " << cut;
    EXPECT_NE(why.find("its header says"), std::string::npos) << why;
  }
  // A query that reads only pages before the cut is answered from them.
  EXPECT_GT(believed, 0u);
}

TEST_F(IndexDamageTest, AReplacedCatalogueMakesItsIndexStale) {
  const FindOptions omega = Query("omega_1");
  struct Case {
    const char* name;
    bool byRename;
  };
  for (const Case& c : {Case{"renamed over, as LedraCmd replaces it", true},
                        Case{"copied over with the same size and time", false}}) {
    fake_.AddFileWithContent(kCatalog, Catalogue("alpha"), 1700000000);
    uint32_t narrowed = 0;
    FindIndexed(Query("alpha"), 1000, &narrowed);  // builds the index of the alpha tree
    ASSERT_EQ(narrowed, 1u) << c.name;
    const std::string replacement = Catalogue("omega");
    ASSERT_EQ(replacement.size(), Catalogue("alpha").size());
    if (c.byRename) {
      fake_.AddFileWithContent("C:\\cats\\A.kvl.tmp", replacement, 1700000000);
      OsError err;
      ASSERT_TRUE(fake_.Rename("C:\\cats\\A.kvl.tmp", kCatalog, &err));
    } else {
      fake_.AddFileWithContent(kCatalog, replacement, 1700000000);
    }
    // The old index holds no "omega": believed, it would hide every match.
    std::vector<std::string> notices;
    EXPECT_EQ(FindIndexed(omega, 0, &narrowed, &notices), Find(omega, nullptr)) << c.name;
    EXPECT_EQ(narrowed, 0u) << c.name;
    ASSERT_EQ(notices.size(), 1u) << c.name;
    EXPECT_NE(notices[0].find("ledra index"), std::string::npos) << notices[0];
    // Built again for the catalogue as it is now, the index is used once more.
    EXPECT_EQ(FindIndexed(omega, 1000, &narrowed), Find(omega, nullptr)) << c.name;
    EXPECT_EQ(narrowed, 1u) << c.name;
    OsError err;
    fake_.Remove(IndexPath(), &err);
  }
}

TEST_F(IndexDamageTest, ADamagedCatalogueIsReportedAsTheScanReportsIt) {
  const std::string sound = Catalogue("alpha");
  struct Case {
    const char* name;
    std::string bytes;
  };
  std::string wrongFolder = sound;
  wrongFolder[wrongFolder.size() - 16] = '\x7F';  // the last entry's folder number
  // With 150 folders the entry count lies past the header's first read, and find reads it
  // only for a scan.
  std::string farCount = Catalogue("alpha", 5, 1, 150);
  CatalogReader reader;
  ReadProblem problem;
  ASSERT_TRUE(reader.OpenBytes(farCount, &problem)) << problem.Text();
  ASSERT_GT(reader.header().entryTableOffset, 1024u);
  farCount.replace(reader.header().entryTableOffset, 4, std::string("\xFF\xFF\xFF\x7F", 4));
  for (const Case& c : {Case{"cut short", sound.substr(0, sound.size() - 7)},
                        Case{"the last entry in a folder never introduced", wrongFolder},
                        Case{"more entries announced than the file holds", farCount}}) {
    fake_.AddFileWithContent(kCatalog, c.bytes);
    for (const FindOptions& q : {Query("alpha_1"), Query("lph.*_20[0-9]", true)}) {
      const std::string scan = Find(q, nullptr);
      ASSERT_NE(scan.find("|P "), std::string::npos) << c.name << ": the scan reports it";
      uint32_t narrowed = 0;
      EXPECT_EQ(FindIndexed(q, 1000, &narrowed), scan) << c.name;
      EXPECT_EQ(narrowed, 0u) << c.name << ": its index only says to scan it";
      EXPECT_EQ(FindIndexed(q, 0, &narrowed), scan) << c.name;
    }
    OsError err;
    fake_.Remove(IndexPath(), &err);
  }
}

TEST_F(IndexDamageTest, AnUnwritableCacheFolderGivesOneNoticeAndTheScansResult) {
  for (int i = 0; i < 3; ++i) {
    fake_.AddFileWithContent("C:\\cats\\" + std::to_string(i) + ".kvl", Catalogue("alpha"));
  }
  struct Case {
    const char* name;
    std::string failing;
  };
  for (const Case& c : {Case{"the folder cannot be made", kIndexFolder},
                        Case{"no file can be made in it", std::string(kIndexFolder) + "\\*"}}) {
    fake_.ClearFailures();
    if (c.failing.back() == '*') fake_.AddFolder(kIndexFolder);
    fake_.Fail(FakePlatform::Op::Create, c.failing);
    const FindOptions q = Query("alpha_10");
    uint32_t narrowed = 0;
    std::vector<std::string> notices;
    EXPECT_EQ(FindIndexed(q, 1000, &narrowed, &notices), Find(q, nullptr)) << c.name;
    ASSERT_EQ(notices.size(), 1u) << c.name;
    EXPECT_NE(notices[0].find("cannot create"), std::string::npos) << notices[0];
    EXPECT_TRUE(fake_.List(kIndexFolder).empty()) << c.name << ": nothing is left behind";
  }
}

}  // namespace
}  // namespace ledra
