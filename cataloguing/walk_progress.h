// What a person at a terminal sees of a long walk: a status line on standard error with the
// folders and entries so far, the time taken and the folder being read, rewritten a few
// times a second, and a one-line summary once the device's catalogue is stored. Used only
// when standard error is a terminal; schedulers, pipes and files see none of it.
#ifndef LEDRA_CATALOGUING_WALK_PROGRESS_H_
#define LEDRA_CATALOGUING_WALK_PROGRESS_H_

#include <chrono>
#include <cstddef>
#include <string>

#include "catalog/volume_catalog.h"
#include "cataloguing/tree_scanner.h"
#include "platform/message_sink.h"

namespace ledra {

class WalkProgress final : public WalkObserver {
 public:
  // `columns` is the terminal's width; 0, as a bare pseudo-terminal reports, counts as 80.
  // The clock starts now.
  WalkProgress(MessageSink& errors, int columns);

  // Rewrites the status line, unless it was rewritten less than kInterval ago.
  void Walking(size_t folders, size_t entries, const std::string& folder) override;

  // Replaces the status line with the summary of `stored`, the catalogue just written:
  // entries, folders, total size, file name, version and the time taken.
  void Finish(const VolumeCatalog& stored);
  // Removes the status line: the device failed, and its message says so.
  void Abandon();

  // The status line for these figures, no wider than `columns` - 1 (the last column
  // would make some terminals wrap): the path is cut from its start when it does not fit.
  static std::string StatusLine(size_t folders, size_t entries, double seconds,
                                const std::string& folder, size_t columns);

 private:
  static constexpr std::chrono::milliseconds kInterval{250};

  double Seconds() const;

  MessageSink& errors_;
  size_t columns_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point shown_;
  bool anyShown_ = false;
};

// Control characters (and DEL) of a name as \xHH, so that a name cannot move the cursor or
// break a message's line.
std::string EscapeForMessage(const std::string& name);

}  // namespace ledra

#endif  // LEDRA_CATALOGUING_WALK_PROGRESS_H_
