// The ncdu export as ncdu itself reads it: Debian's ncdu loads the file (`ncdu -f`) and
// exports it again, and the tree it saw must be the catalogue's, name by name and size by
// size. Skipped with a message where ncdu is not installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/temp_tree_testing.h"
#include "query/export_ncdu.h"
#include "query/name_text.h"
#include "query/query_test_support.h"
#include "query/record_writer.h"

namespace ledra {
namespace {

// Reads just enough JSON for ncdu's export: arrays, objects, strings, numbers.
class Json {
 public:
  struct Value {
    char kind = 'n';  // 'a' array, 'o' object, 's' string, 'n' number or literal
    std::string text;
    std::vector<Value> items;
    std::map<std::string, Value> fields;
  };

  explicit Json(std::string text) : text_(std::move(text)) {}

  bool Parse(Value* v) {
    Skip();
    if (at_ >= text_.size()) return false;
    const char c = text_[at_];
    if (c == '[' || c == '{') {
      v->kind = c == '[' ? 'a' : 'o';
      ++at_;
      for (Skip(); at_ < text_.size() && text_[at_] != (c == '[' ? ']' : '}'); Skip()) {
        if (text_[at_] == ',') {
          ++at_;
          continue;
        }
        Value item;
        if (c == '{') {
          Value key;
          if (!Parse(&key) || (Skip(), text_[at_++] != ':') || !Parse(&item)) return false;
          v->fields[key.text] = item;
        } else {
          if (!Parse(&item)) return false;
          v->items.push_back(item);
        }
      }
      return at_++ < text_.size();
    }
    if (c == '"') return String(v);
    v->kind = 'n';
    while (at_ < text_.size() && std::string(",]}").find(text_[at_]) == std::string::npos) {
      v->text += text_[at_++];
    }
    return true;
  }

 private:
  void Skip() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
  }
  bool String(Value* v) {
    v->kind = 's';
    for (++at_; at_ < text_.size() && text_[at_] != '"'; ++at_) {
      if (text_[at_] != '\\') {
        v->text += text_[at_];
        continue;
      }
      const char e = text_[++at_];
      if (e == 'u') {  // only code points below U+0800 occur here
        const unsigned cp =
            static_cast<unsigned>(std::stoul(text_.substr(at_ + 1, 4), nullptr, 16));
        at_ += 4;
        if (cp < 0x80) {
          v->text += static_cast<char>(cp);
        } else {
          v->text += static_cast<char>(0xC0 | (cp >> 6));
          v->text += static_cast<char>(0x80 | (cp & 0x3F));
        }
      } else {
        v->text += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
      }
    }
    return at_++ < text_.size();
  }

  std::string text_;
  size_t at_ = 0;
};

// "dir/" for folders, "dir/file=size" for files, below the folder `dir`.
void Flatten(const Json::Value& folder, const std::string& prefix, std::vector<std::string>* out) {
  for (size_t i = 1; i < folder.items.size(); ++i) {
    const Json::Value& item = folder.items[i];
    if (item.kind == 'a') {
      const std::string path = prefix + item.items[0].fields.at("name").text + "/";
      out->push_back(path);
      Flatten(item, path, out);
    } else {
      out->push_back(prefix + item.fields.at("name").text + "=" + item.fields.at("asize").text);
    }
  }
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(NcduExportTest, NcduReadsTheTreeWithItsSizes) {
  if (std::system("ncdu -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "ncdu is not installed";
  test::LaidCatalog volume = test::Volume("DATA", 6);  // sizes beyond 4 GiB
  volume.root = "/media/usb/";
  volume.folder0Path = "/Data";
  const CatalogContents tables = test::LoadBuilt(volume, {{"a/b/c/deep.txt", 3, 1000},
                                                          {"q\"b\\s\tt", 5, 1},
                                                          {"\xff.bin", 2, -5},
                                                          {"été/x", 7, 1},
                                                          {"empty/", 0, 7},
                                                          {"a/huge.img", int64_t{5} << 30, 9},
                                                          {"a/b/y", 11, 2}});
  StringSink exported;
  std::unique_ptr<NameDecoder> names = NewUtf8Decoder();
  WriteNcduExport(tables, *names, exported);

  TempTree scratch;
  std::ofstream(scratch.Path("in.json"), std::ios::binary) << exported.text;
  const std::string command =
      "ncdu -f '" + scratch.Path("in.json") + "' -o '" + scratch.Path("out.json") + "' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << exported.text;
  Json::Value reread;
  ASSERT_TRUE(Json(ReadAll(scratch.Path("out.json"))).Parse(&reread));
  ASSERT_EQ(reread.items.size(), 4u);
  const Json::Value& root = reread.items[3];
  EXPECT_EQ(root.items[0].fields.at("name").text, "/media/usb/Data");
  std::vector<std::string> seen;
  Flatten(root, "", &seen);
  const std::vector<std::string> expected = {"a/",           "a/b/",
                                             "a/b/c/",       "a/b/c/deep.txt=3",
                                             "a/b/y=11",     "a/huge.img=5368709120",
                                             "q\"b\\s\tt=5", "\xef\xbf\xbd.bin=2",
                                             "été/",         "été/x=7",
                                             "empty/"};
  EXPECT_EQ(seen, expected) << exported.text;
}

}  // namespace
}  // namespace ledra
