// Which catalogue files `ledra` reads, and which of them a volume selector names. Folders
// come from --in, else from LEDRA_CATALOGS (a list separated like PATH), else the current
// folder; each folder's "*.kvl" files (and with --backups its "*.kvl.bak" files) are read in
// file-name order. A selector names one catalogue by display name, volume name, serial
// ("XXXX-XXXX") or file name, without regard to case.
#ifndef LEDRA_QUERY_CATALOG_SELECTION_H_
#define LEDRA_QUERY_CATALOG_SELECTION_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/format.h"
#include "platform/volume_serial.h"

namespace ledra {

class CatalogReader;
class Platform;

// One catalogue file found, with its header once read.
struct CatalogFile {
  std::string path;      // as opened
  std::string fileName;  // the last component
  bool headerRead = false;
  // Its header could not be read; the reader of the headers reported why.
  bool unreadable = false;
  CatalogHeader header;
  // The reader that read the header, left open where the caller asked for it, so that
  // whoever reads the catalogue next takes it over (StreamedCatalog does) rather than
  // opening the file and reading its header a second time.
  std::shared_ptr<CatalogReader> reader;
};

// The folders to read: `inFolders` when not empty, else the entries of `catalogsVariable`
// (empty entries left out) split at `listSeparator`, else ".".
std::vector<std::string> CatalogFolders(const std::vector<std::string>& inFolders,
                                        const char* catalogsVariable, char listSeparator);

// The catalogue files of `folders`, each folder's in byte order of their names; an item of
// `folders` that is a plain file is taken as a catalogue file itself. Folders that cannot be
// listed are named in *unreadable, and, when `why` is not null, the causes in *why.
std::vector<CatalogFile> ListCatalogFiles(Platform& platform,
                                          const std::vector<std::string>& folders, bool backups,
                                          std::vector<std::string>* unreadable,
                                          std::vector<std::string>* why = nullptr);

// Which files, once their header is read, keep their reader open (CatalogFile::reader).
using KeepOpen = std::function<bool(const CatalogFile& file)>;

// Reads the header of every file (not the tables). Files that fail get a line
// "FILE: offset N: what" in *problems, headerRead false and unreadable true. The files
// `keepOpen` (when given) names stay open, each in its `reader`.
void ReadHeaders(Platform& platform, std::vector<CatalogFile>* files,
                 std::vector<std::string>* problems, const KeepOpen& keepOpen = nullptr);

// Splits "SEL:PATH" at its first ':'; without one, all of it is the selector.
void SplitSelector(std::string_view argument, std::string* selector, std::string* path);

// The index of the one catalogue (with its header read) that `selector` names. False with
// *error filled when none does or when several do: a message ready to show, whose names
// have their control characters escaped, and which lists the catalogues named, one line
// each below its first.
bool SelectCatalog(const std::vector<CatalogFile>& files, std::string_view selector, size_t* chosen,
                   std::string* error);

// Whether `selector` names `file` (its header read).
bool SelectorNames(const CatalogFile& file, std::string_view selector);

// Every catalogue `selector` names (for filters over several volumes); empty when none.
std::vector<size_t> MatchingCatalogs(const std::vector<CatalogFile>& files,
                                     std::string_view selector);

// PATH of a SEL:PATH argument as components below the scan root. Accepts '/' or '\', an
// optional leading separator, and a full path as `find` prints it (the scan root first).
std::vector<std::string> PathComponents(std::string_view path, const CatalogHeader& header);

}  // namespace ledra

#endif  // LEDRA_QUERY_CATALOG_SELECTION_H_
