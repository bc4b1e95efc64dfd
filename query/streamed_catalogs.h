// The catalogues dupes, unique and diff compare, each open for passes that stream its entry
// table through a buffer, as `find` reads it: the tables are checked on every pass, a file
// that changes meanwhile ends in a damage report, and no table is held in memory. Each
// catalogue keeps the names of its folders from its last pass, so that the entries an
// analysis reports can be spelled as `find` spells them. Beyond a few dozen catalogues,
// each file is closed between its passes (and its header checked again on the next), so
// that any number of catalogues can be compared.
#ifndef LEDRA_QUERY_STREAMED_CATALOGS_H_
#define LEDRA_QUERY_STREAMED_CATALOGS_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalog/catalog_reader.h"
#include "query/catalog_encoding.h"
#include "query/catalog_passes.h"
#include "query/catalog_selection.h"
#include "query/entry_output.h"

namespace ledra {

class NameDecoder;
class Platform;

class StreamedCatalog {
 public:
  // The catalogue's names are decoded by the rule of `encoding` for its root (see
  // catalog_encoding.h); where they pass through a code page, the entries a walk gives
  // carry their names decoded, so that names of catalogues in different code pages
  // compare. `platform` must outlive it.
  StreamedCatalog(Platform& platform, const CatalogFile& file, const NameEncoding& encoding);
  ~StreamedCatalog();

  // Opens the file and reads its header, or takes over the reader still open from the
  // reading of the headers (CatalogFile::reader) with the header it read. False with
  // *problem, a line for standard error, when it cannot be read or is damaged, or is of a
  // version without tables (*noTables true then).
  bool Open(std::string* problem, bool* noTables);
  // One pass over the entry table, then a check of the folder figures. False with the
  // damage in problem() (its line for standard error) when the table or a folder record is
  // damaged; a catalogue found damaged once fails every later pass.
  bool Walk(const CatalogPasses::Visit& visit);
  // A walk over part of the table (CatalogPasses::WalkPart): its entries are checked as a
  // whole walk checks them. Folder names are not kept: the last whole walk's stay.
  bool WalkPart(uint32_t first, const CursorStart& start, size_t bytes,
                const CatalogPasses::Visit& visit);
  bool FolderTotals(std::vector<double>* totals);
  void SetProblem(const std::string& what) { problem_ = file_.path + ": " + what; }
  // Closes the file until the next pass; the folder names of the last pass stay.
  void Release();
  const std::string& problem() const { return problem_; }

  const CatalogFile& file() const { return file_; }
  const CatalogHeader& header() const { return header_; }
  const std::string& volume() const { return volume_; }  // the display name, decoded
  NameDecoder& names() const { return *names_; }

  // An entry with the fields and spelling of `find`'s results. Its folder must have been
  // met by the last pass (any entry, once a pass is complete). False, with the damage in
  // problem(), when a folder's figures cannot be read.
  bool Facts(const CatalogEntry& entry, EntryFacts* facts);
  // The full path of folder `number`, as FolderLinks::FullPath gives it, decoded; under the
  // same precondition.
  std::string FolderPath(uint32_t number) const;
  // The full path of an entry named `name` in folder `folder`, decoded.
  std::string EntryPath(uint32_t folder, std::string_view name) const;

 private:
  // Opens the file again after Release; false, with the problem set, when it cannot be
  // or its header is no longer the one first read.
  bool Reopen();
  // Calls `visit` with the entry, its name decoded where this catalogue decodes names.
  bool VisitDecoded(const CatalogPasses::Visit& visit, uint32_t index, const CatalogEntry& e);
  // The decoded path of `folder`'s entry named `name` (already in the form a walk gave).
  std::string PathOf(uint32_t folder, std::string_view name) const;

  Platform& platform_;
  CatalogFile file_;
  NameEncoding encoding_;
  std::unique_ptr<NameDecoder> names_;
  bool decodes_ = false;  // entries reach the visits with their names decoded
  std::string decoded_;   // the name of the entry being visited, decoded
  // The file's reader, maybe the one that read its header for the selection (shared with
  // the CatalogFile it came in).
  std::shared_ptr<CatalogReader> reader_;
  CatalogHeader header_;  // as first read
  bool open_ = false;
  std::string volume_;
  // Of the last pass; once the file is released, only its folder names are used.
  std::unique_ptr<EntryCursor> cursor_;
  std::string problem_;
};

class StreamedCatalogs final : public CatalogPasses {
 public:
  // More catalogues than this are each closed between passes: open files are limited.
  static constexpr size_t kOpenAtOnce = 32;

  // Opens each of `files`, their names decoded by `encoding`'s rule: the ones that fail are left
  // out, their lines kept for TakeProblems (damage) and notices() (versions without tables).
  // Files whose header could not be read (CatalogFile::unreadable) are left out without a
  // line: they were reported when it was read.
  StreamedCatalogs(Platform& platform, const std::vector<CatalogFile>& files,
                   const NameEncoding& encoding);
  // None yet: Add opens them one by one.
  StreamedCatalogs() = default;
  // Opens `file` (or takes over its reader) and adds it last. False with *problem, its line
  // for standard error (versions without tables are damage here), when it cannot be read.
  bool Add(Platform& platform, const CatalogFile& file, const NameEncoding& encoding,
           std::string* problem);

  size_t size() const override { return catalogs_.size(); }
  const CatalogHeader& Header(size_t catalog) const override {
    return catalogs_[catalog]->header();
  }
  bool Walk(size_t catalog, const Visit& visit) override;
  bool WalkPart(size_t catalog, uint32_t first, const CursorStart& start, size_t bytes,
                const Visit& visit) override {
    return catalogs_[catalog]->WalkPart(first, start, bytes, visit);
  }
  bool FolderTotals(size_t catalog, std::vector<double>* totals) override {
    return catalogs_[catalog]->FolderTotals(totals);
  }
  void Changed(size_t catalog) override;

  StreamedCatalog& operator[](size_t catalog) const { return *catalogs_[catalog]; }
  // The position in `files` of catalogue `catalog`.
  size_t FileOf(size_t catalog) const { return fileOf_[catalog]; }
  const std::vector<std::string>& notices() const { return notices_; }
  // The lines of the files that could not be opened and of the catalogues found damaged
  // by the passes so far, in the order of `files`; each is given once.
  std::vector<std::string> TakeProblems();

 private:
  std::vector<std::unique_ptr<StreamedCatalog>> catalogs_;
  std::vector<size_t> fileOf_;
  std::vector<bool> reported_;
  std::vector<std::pair<size_t, std::string>> openProblems_;  // by position in `files`
  std::vector<std::string> notices_;
};

}  // namespace ledra

#endif  // LEDRA_QUERY_STREAMED_CATALOGS_H_
