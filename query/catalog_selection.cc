#include "query/catalog_selection.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "catalog/catalog_reader.h"
#include "platform/byte_text.h"
#include "platform/message_sink.h"
#include "platform/path_text.h"
#include "platform/platform.h"

namespace ledra {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

bool SelectorNames(const CatalogFile& file, std::string_view selector) {
  if (!file.headerRead) return false;
  const CatalogHeader& h = file.header;
  if (EqualsIgnoringAsciiCase(selector, h.displayName) ||
      EqualsIgnoringAsciiCase(selector, h.volumeName) ||
      EqualsIgnoringAsciiCase(selector, SerialText(h.serial)) ||
      EqualsIgnoringAsciiCase(selector, file.fileName)) {
    return true;
  }
  // The file name without ".kvl" too: 'DATA' for 'DATA.kvl'.
  return EndsWithIgnoringAsciiCase(file.fileName, ".kvl") &&
         EqualsIgnoringAsciiCase(
             selector, std::string_view(file.fileName).substr(0, file.fileName.size() - 4));
}

std::vector<std::string> CatalogFolders(const std::vector<std::string>& inFolders,
                                        const char* catalogsVariable, char listSeparator) {
  if (!inFolders.empty()) return inFolders;
  std::vector<std::string> folders;
  if (catalogsVariable != nullptr) {
    std::string_view rest(catalogsVariable);
    while (true) {
      const size_t at = rest.find(listSeparator);
      const std::string_view item = rest.substr(0, at);
      if (!item.empty()) folders.emplace_back(item);
      if (at == std::string_view::npos) break;
      rest.remove_prefix(at + 1);
    }
  }
  if (folders.empty()) folders.emplace_back(".");
  return folders;
}

std::vector<CatalogFile> ListCatalogFiles(Platform& platform,
                                          const std::vector<std::string>& folders, bool backups,
                                          std::vector<std::string>* unreadable,
                                          std::vector<std::string>* why) {
  std::vector<CatalogFile> files;
  std::unique_ptr<DirSearch> search = platform.NewDirSearch();
  for (const std::string& folder : folders) {
    if (platform.KindOf(folder, true) == PathKind::File) {
      CatalogFile file;
      file.path = folder;
      const size_t at = LastPathSeparator(folder, platform.Separator(), platform.LeadBytes());
      file.fileName = at == std::string::npos ? folder : folder.substr(at + 1);
      files.push_back(std::move(file));
      continue;
    }
    std::string base = folder;
    while (base.size() > 1 && IsSeparator(base.back())) base.pop_back();
    OsError err;
    if (!search->StartOrExplain(base, &err)) {
      unreadable->push_back(folder);
      if (why != nullptr) why->push_back(err.text);
      continue;
    }
    std::vector<std::string> names;
    DirItem item;
    while (search->Next(item)) {
      if (item.isFolder) continue;
      if (EndsWithIgnoringAsciiCase(item.name, ".kvl") ||
          (backups && EndsWithIgnoringAsciiCase(item.name, ".kvl.bak"))) {
        names.push_back(item.name);
      }
    }
    std::sort(names.begin(), names.end());
    const bool needsSeparator = !base.empty() && !IsSeparator(base.back());
    files.reserve(files.size() + names.size());
    for (std::string& name : names) {
      CatalogFile file;
      file.path = needsSeparator ? base + platform.Separator() + name : base + name;
      file.fileName = std::move(name);
      files.push_back(std::move(file));
    }
  }
  return files;
}

void ReadHeaders(Platform& platform, std::vector<CatalogFile>* files,
                 std::vector<std::string>* problems, const KeepOpen& keepOpen) {
  for (CatalogFile& file : *files) {
    auto reader = std::make_shared<CatalogReader>();
    ReadProblem problem;
    file.headerRead = reader->Open(platform, file.path, &problem);
    file.unreadable = !file.headerRead;
    file.reader.reset();
    if (file.headerRead) {
      file.header = reader->header();
      if (keepOpen && keepOpen(file)) file.reader = std::move(reader);
    } else {
      problems->push_back(file.path + ": " + problem.Text());
    }
  }
}

void SplitSelector(std::string_view argument, std::string* selector, std::string* path) {
  const size_t colon = argument.find(':');
  *selector = std::string(argument.substr(0, colon));
  *path = colon == std::string_view::npos ? std::string() : std::string(argument.substr(colon + 1));
}

std::vector<size_t> MatchingCatalogs(const std::vector<CatalogFile>& files,
                                     std::string_view selector) {
  std::vector<size_t> found;
  for (size_t i = 0; i < files.size(); ++i) {
    if (SelectorNames(files[i], selector)) found.push_back(i);
  }
  return found;
}

bool SelectCatalog(const std::vector<CatalogFile>& files, std::string_view selector, size_t* chosen,
                   std::string* error) {
  const std::vector<size_t> found = MatchingCatalogs(files, selector);
  if (found.size() == 1) {
    *chosen = found[0];
    return true;
  }
  if (found.empty()) {
    *error = "no catalogue of a volume '" + EscapeControls(selector) + "'";
    return false;
  }
  *error = "volume '" + EscapeControls(selector) + "' is ambiguous:";
  for (size_t i : found) {
    const CatalogHeader& h = files[i].header;
    *error += "\n  " + EscapeControls(files[i].fileName) + " (" + EscapeControls(h.displayName) +
              ", " + SerialText(h.serial) + ")";
  }
  return false;
}

std::vector<std::string> PathComponents(std::string_view path, const CatalogHeader& header) {
  // A full path as find prints it begins with the scan root.
  const std::string scanRoot = header.ScanRoot();
  if (path.size() >= scanRoot.size() &&
      EqualsIgnoringAsciiCase(path.substr(0, scanRoot.size()), scanRoot) &&
      (path.size() == scanRoot.size() || IsSeparator(path[scanRoot.size()]) ||
       IsSeparator(scanRoot.back()))) {
    path.remove_prefix(scanRoot.size());
  }
  std::vector<std::string> components;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i])) {
      if (i > start) components.emplace_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return components;
}

}  // namespace ledra
