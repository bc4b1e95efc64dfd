#include "query/export_ncdu.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "query/name_text.h"
#include "query/record_writer.h"

namespace ledra {

namespace {

constexpr size_t kFlushBytes = 1 << 16;

class NcduWriter {
 public:
  NcduWriter(NameDecoder& names, OutputSink& out) : names_(names), out_(out) {}
  ~NcduWriter() { Flush(); }

  void Open(const char* prefix, std::string_view name, int32_t modified) {
    text_ += prefix;
    text_ += "[{\"name\":";
    Name(name);
    Time(modified);
    text_ += '}';
  }
  void Close() { text_ += ']'; }
  void File(std::string_view name, int64_t size, int32_t modified) {
    text_ += ",\n{\"name\":";
    Name(name);
    const std::string bytes = std::to_string(size);
    text_ += ",\"asize\":" + bytes + ",\"dsize\":" + bytes;
    Time(modified);
    text_ += '}';
    if (text_.size() >= kFlushBytes) Flush();
  }
  void Raw(std::string_view text) { text_ += text; }
  void Flush() {
    out_.Write(text_);
    text_.clear();
  }

 private:
  void Name(std::string_view name) {
    decoded_.clear();
    names_.Decode(name, &decoded_);
    AppendJsonString(decoded_, &text_);
  }
  void Time(int32_t modified) {
    if (modified >= 0) text_ += ",\"mtime\":" + std::to_string(modified);
  }

  NameDecoder& names_;
  OutputSink& out_;
  std::string text_;
  std::string decoded_;
};

}  // namespace

void WriteNcduExport(const CatalogContents& catalog, NameDecoder& names, OutputSink& out) {
  const size_t folderCount = catalog.folders.size();
  // The entries of each folder together: a counting sort on the folder number, so that the
  // breadth-first table can be written depth first.
  std::vector<uint32_t> start(folderCount + 1, 0);
  for (const auto& e : catalog.entries) {
    if (e.folderIndex < folderCount) ++start[e.folderIndex + 1];
  }
  for (size_t f = 0; f < folderCount; ++f) start[f + 1] += start[f];
  std::vector<uint32_t> order(start.back());
  std::vector<uint32_t> next(start.begin(), start.end() - 1);
  for (size_t i = 0; i < catalog.entries.size(); ++i) {
    const uint32_t f = catalog.entries[i].folderIndex;
    if (f < folderCount) order[next[f]++] = static_cast<uint32_t>(i);
  }

  NcduWriter writer(names, out);
  writer.Raw("[1,2,{\"progname\":\"ledra\",\"progver\":\"1.0\",\"timestamp\":" +
             std::to_string(catalog.header.timestamp < 0 ? 0 : catalog.header.timestamp) + "},\n");
  writer.Open("", catalog.header.ScanRoot(), -1);
  // Folders being written, each with the place of its next entry: trees can be deeper than
  // the call stack should go.
  std::vector<std::pair<uint32_t, uint32_t>> stack;
  if (folderCount > 0) stack.emplace_back(0, start[0]);
  while (!stack.empty()) {
    auto& [folder, at] = stack.back();
    if (at == start[folder + 1]) {
      writer.Close();
      stack.pop_back();
      continue;
    }
    const auto& e = catalog.entries[order[at++]];
    if (!e.IsFolder()) {
      writer.File(e.name, e.size, e.modified);
      continue;
    }
    const uint32_t sub = e.FolderNumber();
    writer.Open(",\n", e.name, e.modified);
    if (sub < folderCount) {
      stack.emplace_back(sub, start[sub]);
    } else {
      writer.Close();
    }
  }
  if (folderCount == 0) writer.Close();
  writer.Raw("]\n");
}

}  // namespace ledra
