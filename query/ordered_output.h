// The output of catalogues searched by several threads at once, written in the order of the
// catalogues. A search that finishes before the ones ahead of it leaves its output to be
// written by whichever finishes the catalogue ahead, and goes on to the next catalogue
// instead of waiting: a thread waits only when the output kept this way has grown too large,
// or when its own catalogue gives more than it may hold.
#ifndef LEDRA_QUERY_ORDERED_OUTPUT_H_
#define LEDRA_QUERY_ORDERED_OUTPUT_H_

#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/output_sink.h"

namespace ledra {

// A catalogue's results wait in memory only up to this size while earlier catalogues are
// still searched; past it the search waits for its turn and then writes straight through.
constexpr size_t kHeldOutput = 1 << 20;
// The output of finished catalogues kept at once for the ones ahead of them to write.
constexpr size_t kKeptOutput = 8 << 20;

// Hands standard output to the catalogues 0, 1, 2, … in their order.
class OutputOrder {
 public:
  explicit OutputOrder(OutputSink& out, size_t keptLimit = kKeptOutput)
      : out_(out), keptLimit_(keptLimit) {}

  OutputSink& out() { return out_; }
  bool IsTurn(size_t index);
  // Waits for the turn of catalogue `index`, then writes `header` (when it is the first in
  // order) and `held`; the catalogue then writes through until Finish.
  void TakeTurn(size_t index, const std::string& header, const std::string& held);
  // True for the first output, in order, that brings a header: the one that gives it.
  bool TakeHeader();
  // Catalogue `index` is done; `header` and `held` are what it has not written yet (empty
  // when it wrote through). Written now when its turn has come, with every later catalogue
  // already finished; else kept for the catalogue ahead to write, unless more than the
  // limit is kept already, when this waits for the turn.
  void Finish(size_t index, std::string header, std::string held);

 private:
  struct Kept {
    std::string header;
    std::string held;
  };
  // Under mutex_, at the turn of the catalogue they belong to.
  void WriteHeld(const std::string& header, const std::string& held);

  OutputSink& out_;
  const size_t keptLimit_;
  std::mutex mutex_;
  std::condition_variable turn_;
  size_t head_ = 0;
  bool headerGiven_ = false;
  std::map<size_t, Kept> kept_;
  size_t keptBytes_ = 0;
};

// The output of one catalogue: held until its turn, then written through.
class OrderedSink final : public OutputSink {
 public:
  OrderedSink(OutputOrder& order, size_t index);
  void Write(std::string_view bytes) override;
  // Each catalogue's writer brings a header; the output keeps the first in order.
  void WriteHeader(std::string_view bytes) override;
  // The catalogue is searched: what is held goes to the order.
  void Finish();

 private:
  void TakeTurn();

  OutputOrder& order_;
  size_t index_;
  bool direct_;
  std::string header_;  // held until the turn, like the rows
  std::string held_;
};

}  // namespace ledra

#endif  // LEDRA_QUERY_ORDERED_OUTPUT_H_
