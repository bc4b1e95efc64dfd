#include "query/volume_list.h"

#include <cmath>
#include <memory>

namespace ledra {

Record VolumeRecord(const CatalogFile& file, const CatalogHeader& h, int64_t files,
                    double totalSize) {
  const bool tables = h.HasTables();
  Record r;
  r.push_back({"volume", FieldValue::Text(h.displayName)});
  r.push_back({"volume_name", FieldValue::Text(h.volumeName)});
  r.push_back({"alias", FieldValue::Text(h.alias)});
  r.push_back({"serial", FieldValue::Text(SerialText(h.serial))});
  r.push_back({"serial_number", FieldValue::Integer(h.serial)});
  r.push_back({"root", FieldValue::Text(h.root)});
  r.push_back({"comment", FieldValue::Text(h.comment)});
  r.push_back({"catalogued", FieldValue::Text(UtcIsoText(h.timestamp))});
  r.push_back({"catalogued_epoch", FieldValue::Integer(h.timestamp)});
  r.push_back({"free_bytes", h.freeSpaceMB < 0 || !std::isfinite(h.freeSpaceMB)
                                 ? FieldValue::Null()
                                 : FieldValue::Integer(static_cast<int64_t>(
                                       static_cast<double>(h.freeSpaceMB) * 1048576.0))});
  r.push_back({"version", FieldValue::Integer(h.version)});
  r.push_back({"catalog", FieldValue::Text(file.fileName)});
  r.push_back({"folders", tables ? FieldValue::Integer(h.folderCount) : FieldValue::Null()});
  r.push_back({"files", tables ? FieldValue::Integer(files) : FieldValue::Null()});
  r.push_back({"total_size",
               tables ? FieldValue::Integer(static_cast<int64_t>(totalSize)) : FieldValue::Null()});
  return r;
}

namespace {

class VolumeRow final : public ResultRow {
 public:
  VolumeRow(const CatalogFile& file, int64_t now) : file_(file), now_(now) {}

  Record Fields() const override {
    const CatalogHeader& h = file_.header;
    return VolumeRecord(file_, h, h.rootFileCount, h.rootTotalSize);
  }
  const TextLayout& Layout() const override {
    static const TextLayout layout = TextLayout::Columns(
        {false, false, false, false, false, false, true, true, true, true, true, false},
        {"VOLUME", "NAME", "SERIAL", "ROOT", "CATALOGUED", "AGE", "FREE", "FOLDERS", "FILES",
         "SIZE", "VER", "FILE"});
    return layout;
  }
  void TextCells(bool exactBytes, std::vector<std::string>* cells) const override {
    const CatalogHeader& h = file_.header;
    const bool tables = h.HasTables();
    const std::string free =
        h.freeSpaceMB < 0 || !std::isfinite(h.freeSpaceMB)
            ? "-"
            : SizeText(static_cast<double>(h.freeSpaceMB) * 1048576.0, false, exactBytes);
    *cells = {h.displayName,
              h.volumeName,
              SerialText(h.serial),
              h.root,
              LocalTimeText(h.timestamp),
              AgoText(h.timestamp, now_),
              free,
              tables ? std::to_string(h.folderCount) : "-",
              tables ? std::to_string(h.rootFileCount) : "-",
              tables ? SizeText(h.rootTotalSize, false, exactBytes) : "-",
              std::to_string(h.version),
              file_.fileName};
  }

 private:
  const CatalogFile& file_;
  int64_t now_;
};

}  // namespace

uint64_t RunVolumes(const std::vector<CatalogFile>& files, const OutputSettings& settings,
                    int64_t now, OutputSink& out) {
  std::unique_ptr<RecordWriter> writer = MakeRecordWriter(settings, out);
  uint64_t rows = 0;
  for (const CatalogFile& file : files) {
    if (!file.headerRead) continue;
    writer->Write(VolumeRow(file, now));
    ++rows;
  }
  writer->Finish();
  return rows;
}

}  // namespace ledra
