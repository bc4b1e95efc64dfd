// A libFuzzer target for the index reader. Each input is the whole content of the index
// file of one fixed catalogue, on the in-memory platform; find then runs a few queries
// through it and once more without it. Indexes live in a cache any program can write to,
// so the reader must survive any bytes: no crash, no hang, no read past a buffer (the
// sanitizers watch), and, whatever the index holds, find's output, counts and problems
// are exactly those of the scan.
// Built by the LEDRA_FUZZ configuration and run by .ci/fuzz.sh, never by the unit test build.
// With LEDRA_INDEX_SEED_OUT set, writes the sound index of the catalogue to that file: the
// seed the fuzzer starts from (read_index_fuzz_seeds/).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "catalog/catalog_reader.h"
#include "index/index_builder.h"
#include "index/index_store.h"
#include "index/indexed_candidates.h"
#include "index/name_trigrams.h"
#include "index/pattern_literals.h"
#include "platform/fake_platform.h"
#include "query/find_query.h"
#include "query/record_writer.h"
#include "query/tree_catalog_testing.h"

namespace {

constexpr const char* kCatalog = "C:\\cats\\A.kvl";

std::string Catalogue() {
  ledra::test::LaidCatalog volume;
  volume.root = "/mnt/a/";
  std::vector<ledra::test::TreeItem> items;
  for (int f = 0; f < 3; ++f) {
    const std::string folder = "dir" + std::to_string(f) + "/";
    items.push_back({folder, 0, 1600000000});
    // Few enough names that the sound index, the seed, fits the fuzzer's 4,096 bytes.
    for (int i = 0; i < 24; ++i) {
      items.push_back({folder + "report_" + std::to_string(f * 100 + i) + ".txt", i, 1600000000});
    }
  }
  return ledra::test::TreeCatalog(volume, items);
}

void Check(bool condition) {
  if (!condition) std::abort();
}

struct Machine {
  std::ostringstream errorText;
  ledra::MessageSink errors{errorText};
  ledra::FakePlatform fake{errors};
  ledra::IndexStore store{fake};
  std::string indexPath;
  Machine() {
    fake.AddFileWithContent(kCatalog, Catalogue());
    fake.AddFolder("C:\\cache");
    fake.environment["LEDRA_INDEX_DIR"] = "C:\\cache";
    std::string why;
    Check(store.Locate(&why));
    indexPath = store.IndexPathFor(kCatalog);
  }
  std::string SoundIndex() {
    ledra::CatalogReader reader;
    ledra::ReadProblem problem;
    Check(reader.Open(fake, kCatalog, &problem));
    ledra::CatalogIdentity identity;
    std::string why;
    Check(store.Identify(kCatalog, reader, &identity, &why));
    return ledra::BuildIndex(reader, identity);
  }
  std::string Find(const ledra::FindOptions& options, ledra::CandidateSource* candidates) {
    std::vector<std::string> unreadable;
    const std::vector<ledra::CatalogFile> files =
        ledra::ListCatalogFiles(fake, {"C:\\cats"}, false, &unreadable);
    ledra::StringSink out;
    ledra::FindOutcome outcome;
    std::string error;
    Check(ledra::RunFind(fake, files, options, {ledra::OutputFormat::Text, false}, out, &outcome,
                         &error, candidates));
    std::string all = out.text + "|" + std::to_string(outcome.matches);
    for (const std::string& p : outcome.problems) all += "|" + p;
    return all;
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* out = std::getenv("LEDRA_INDEX_SEED_OUT")) {
    Machine machine;
    const std::string seed = machine.SoundIndex();
    FILE* f = std::fopen(out, "wb");
    Check(f != nullptr && std::fwrite(seed.data(), 1, seed.size(), f) == seed.size());
    std::fclose(f);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Machine machine;
  machine.fake.AddFileWithContent(machine.indexPath,
                                  std::string(reinterpret_cast<const char*>(data), size));
  struct Query {
    const char* pattern;
    bool regex;
  };
  for (const Query& q :
       {Query{"report_1", false}, Query{"*ort_2?.txt", false}, Query{"rep.*_10[0-9]", true}}) {
    ledra::FindOptions options;
    options.pattern = q.pattern;
    options.regex = q.regex;
    ledra::IndexedCandidates candidates(
        machine.fake, machine.store,
        ledra::RequiredTrigrams(q.regex ? ledra::RegexRuns(q.pattern)
                                        : ledra::PatternRuns(q.pattern)),
        0, 0);
    Check(machine.Find(options, &candidates) == machine.Find(options, nullptr));
  }
  return 0;
}
