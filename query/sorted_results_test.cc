#include "query/sorted_results.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace ledra {
namespace {

// A found entry as find hands it over: the fields sorting looks at, and a text cell.
class Found final : public ResultRow {
 public:
  Found(std::string volume, std::string path, int64_t size, int64_t modified)
      : volume_(std::move(volume)), path_(std::move(path)), size_(size), modified_(modified) {}
  Record Fields() const override {
    return {{"volume", FieldValue::Text(volume_)},
            {"catalog", FieldValue::Text(volume_ + ".kvl")},
            {"path", FieldValue::Text(path_)},
            {"name", FieldValue::Text(path_.substr(path_.rfind('/') + 1))},
            {"size", FieldValue::Integer(size_)},
            {"modified_epoch", FieldValue::Integer(modified_)}};
  }
  const TextLayout& Layout() const override {
    static const TextLayout lines;
    return lines;
  }
  void TextCells(bool exactBytes, std::vector<std::string>* cells) const override {
    *cells = {volume_ + ":" + path_, exactBytes ? std::to_string(size_) : "human"};
  }
  std::string_view FullPath() const override { return path_; }

 private:
  std::string volume_, path_;
  int64_t size_, modified_;
};

// Two catalogues' results, each catalogue's kept by a writer of its own, on threads of
// their own as find keeps them.
std::string Sorted(ResultOrder order, bool reverse, uint64_t limit, OutputFormat format) {
  KeptResults kept(/*exactBytes=*/true);
  OutputSettings keeping;
  keeping.keep = &kept;
  StringSink unused;
  std::thread a([&] {
    auto writer = MakeRecordWriter(keeping, unused);
    writer->Write(Found("B", "/b/zebra", 5, 300));
    writer->Write(Found("B", "/b/Apple", 5, 100));
    writer->Finish();
  });
  std::thread b([&] {
    auto writer = MakeRecordWriter(keeping, unused);
    writer->Write(Found("A", "/a/mango", 70, 200));
    writer->Write(Found("A", "/a/kiwi", 5, 100));
    writer->Finish();
  });
  a.join();
  b.join();
  EXPECT_EQ(unused.text, "") << "kept rows are not written as they come";
  StringSink out;
  OutputSettings settings;
  settings.format = format;
  kept.WriteSorted(order, reverse, limit, settings, out);
  return out.text;
}

TEST(SortedResultsTest, EveryOrderWithTiesInVolumeAndPathOrder) {
  struct Case {
    ResultOrder order;
    bool reverse;
    uint64_t limit;
    std::string paths;  // the -0 output, NULs as '|'
  } cases[] = {
      {ResultOrder::Name, false, 0, "/b/Apple|/a/kiwi|/a/mango|/b/zebra|"},  // bytes in order
      {ResultOrder::Name, true, 0, "/b/zebra|/a/mango|/a/kiwi|/b/Apple|"},
      {ResultOrder::Size, false, 0, "/a/mango|/a/kiwi|/b/Apple|/b/zebra|"},  // ties: volume
      {ResultOrder::Size, true, 0, "/b/zebra|/b/Apple|/a/kiwi|/a/mango|"},
      {ResultOrder::Time, false, 0, "/b/zebra|/a/mango|/a/kiwi|/b/Apple|"},  // newest first
      {ResultOrder::Path, false, 0, "/a/kiwi|/a/mango|/b/Apple|/b/zebra|"},
      {ResultOrder::Size, false, 2, "/a/mango|/a/kiwi|"},  // the limit after sorting
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.paths);
    std::string text = Sorted(c.order, c.reverse, c.limit, OutputFormat::NulPaths);
    for (char& ch : text) {
      if (ch == '\0') ch = '|';
    }
    EXPECT_EQ(text, c.paths);
  }
}

// Kept rows are written in every form as they would have been at once: text with the cells
// made for --bytes, CSV with one header row.
TEST(SortedResultsTest, KeptRowsKeepTheirTextAndFields) {
  EXPECT_EQ(Sorted(ResultOrder::Size, false, 2, OutputFormat::Text),
            "A:/a/mango\t70\nA:/a/kiwi\t5\n");
  EXPECT_EQ(Sorted(ResultOrder::Time, false, 1, OutputFormat::Csv),
            "volume,catalog,path,name,size,modified_epoch\n\"B\",\"B.kvl\",\"/b/"
            "zebra\",\"zebra\",5,300\n");
}

TEST(SortedResultsTest, OnlyTheListedOrdersAreParsed) {
  ResultOrder order = ResultOrder::Found;
  EXPECT_TRUE(ParseResultOrder("time", &order));
  EXPECT_EQ(order, ResultOrder::Time);
  for (const char* bad : {"", "Time", "mtime", "size "})
    EXPECT_FALSE(ParseResultOrder(bad, &order));
}

}  // namespace
}  // namespace ledra
