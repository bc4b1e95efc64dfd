// A libFuzzer target for the full catalogue reader. Each input is a whole catalogue file;
// the reader must survive any bytes: no crash, no hang, no read past the file (the
// sanitizers watch), no allocation beyond what the file's size could justify (the fuzzer's
// malloc limit watches), and answers that agree with each other:
// - the header reader and the full reader agree on which files have tables;
// - a full load succeeds exactly when the entry table and every folder's figures are sound;
// - an accepted table has as many entries and folders as it claims, every entry lies in a
//   folder met before it, and every path built from it stays within the file's bytes;
// - a refused file names an offset within the file.
// Built and run by .ci/fuzz.sh, never by the unit test build.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/catalog_reader.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ledra::CatalogReader reader;
  ledra::ReadProblem problem;
  if (!reader.OpenBytes(bytes, &problem)) {
    Check(problem.offset <= size && !problem.what.empty());
    return 0;
  }
  const ledra::CatalogHeader& h = reader.header();
  if (!h.HasTables()) return 0;
  Check(h.folderCount >= 1 && h.folderCount <= size / 12 && h.entryCount <= size / 11);

  ledra::EntryCursor cursor = reader.Entries(true);
  ledra::CatalogEntry e;
  uint64_t seen = 0;
  std::string path;
  while (cursor.Next(&e)) {
    ++seen;
    Check(e.folderIndex <= cursor.FoldersMet() && e.offset < size);
    path = h.PathPrefix();
    cursor.AppendEntryPath(e, h.Separator(), &path);
    // A path is made of names from the file, one separator each: it cannot outgrow it.
    Check(path.size() <= h.PathPrefix().size() + 2 * size);
    ledra::CatalogFolder folder;
    if (e.IsFolder() && reader.Folder(e.FolderNumber(), &folder, &problem))
      Check(folder.fileCount >= 0 && folder.totalSize >= 0 && folder.totalSize < 0x1p63);
  }
  if (cursor.ok()) {
    Check(seen == h.entryCount && cursor.FoldersMet() + 1 == h.folderCount);
  } else {
    Check(cursor.failed() && cursor.problem().offset <= size);
  }

  // Streamed through the smallest buffer, the table reads the same, to the same end.
  ledra::EntryCursor streamed = reader.StreamEntries(false, 128);
  uint64_t streamedSeen = 0;
  streamed.ForEach([&](const ledra::CatalogEntry& s) {
    ++streamedSeen;
    Check(s.offset < size &&
          bytes.substr(s.offset + (h.WideEntries() ? 16 : 10), s.name.size()) == s.name);
    return true;
  });
  Check(streamedSeen == seen && streamed.ok() == cursor.ok() &&
        streamed.problem().offset == cursor.problem().offset &&
        streamed.problem().what == cursor.problem().what);

  // A full load also holds every folder's figures to what sizes can give.
  std::vector<ledra::CatalogFolder> folders;
  ledra::ReadProblem folderProblem;
  const bool foldersSound = cursor.ok() && reader.Folders(&folders, &folderProblem);
  Check(foldersSound || !cursor.ok() || folderProblem.offset <= size);
  ledra::CatalogContents contents;
  const bool loaded = ledra::LoadCatalog(std::string(bytes), &contents, &problem);
  Check(loaded == foldersSound);
  if (loaded)
    Check(contents.entries.size() == h.entryCount && contents.folders.size() == h.folderCount);
  return 0;
}
