#include "query/loaded_catalog.h"

#include "catalog/catalog_reader.h"
#include "platform/platform.h"
#include "query/catalog_encoding.h"
#include "query/name_text.h"

namespace ledra {

EntryFacts LoadedCatalog::Facts(const CatalogEntry& e, NameDecoder& names) const {
  EntryFacts f;
  f.volume = volume;
  f.catalog = file.fileName;
  names.Decode(links->EntryPath(e), &f.path);
  f.nameValid = names.Decode(e.name, &f.name);
  f.rawName = e.name;
  f.folder = e.IsFolder();
  if (f.folder && e.FolderNumber() < tables.folders.size()) {
    f.size = static_cast<int64_t>(tables.folders[e.FolderNumber()].totalSize);
    f.files = tables.folders[e.FolderNumber()].fileCount;
  } else {
    f.size = e.size;
    f.clamped = !tables.header.WideEntries() && e.size == kClampedSize;
  }
  f.modified = e.modified;
  SetPlace(tables.header, e, &f);
  return f;
}

bool LoadForQuery(Platform& platform, const CatalogFile& file, const NameEncoding& encoding,
                  LoadedCatalog* loaded, std::string* problem, bool* noTables) {
  *noTables = false;
  ReadProblem why;
  loaded->file = file;
  if (!LoadCatalogFile(platform, file.path, &loaded->tables, &why)) {
    *problem = file.path + ": " + why.Text();
    *noTables = loaded->tables.header.signature != 0 && !loaded->tables.header.HasTables();
    return false;
  }
  if (DecodesNames(loaded->tables.header.root, encoding)) {
    std::unique_ptr<NameDecoder> names =
        CatalogDecoder(platform, loaded->tables.header.root, encoding, problem);
    if (!names) return false;
    DecodeNames(*names, &loaded->tables);
  }
  loaded->links = std::make_unique<FolderLinks>(loaded->tables);
  loaded->volume = loaded->tables.header.displayName;
  return true;
}

std::unique_ptr<NameDecoder> DecoderFor(Platform& platform, const std::string& encoding,
                                        std::string* error, bool keepBytes) {
  if (!encoding.empty()) return platform.NewCodePageDecoder(encoding, error);
  return keepBytes ? NewStoredUtf8Decoder() : NewUtf8Decoder();
}

}  // namespace ledra
