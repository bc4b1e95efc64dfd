#include "query/ordered_output.h"

#include <utility>

namespace ledra {

bool OutputOrder::IsTurn(size_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  return head_ == index;
}

void OutputOrder::TakeTurn(size_t index, const std::string& header, const std::string& held) {
  std::unique_lock<std::mutex> lock(mutex_);
  turn_.wait(lock, [&] { return head_ == index; });
  WriteHeld(header, held);
}

bool OutputOrder::TakeHeader() {
  std::lock_guard<std::mutex> lock(mutex_);
  return !std::exchange(headerGiven_, true);
}

void OutputOrder::WriteHeld(const std::string& header, const std::string& held) {
  if (!header.empty() && !std::exchange(headerGiven_, true)) out_.Write(header);
  if (!held.empty()) out_.Write(held);
}

void OutputOrder::Finish(size_t index, std::string header, std::string held) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (head_ != index) {
    const size_t bytes = header.size() + held.size();
    // A catalogue that found nothing to write keeps nothing either, whatever is kept.
    if (keptBytes_ + bytes <= keptLimit_ || bytes == 0) {
      keptBytes_ += bytes;
      kept_.emplace(index, Kept{std::move(header), std::move(held)});
      return;
    }
    turn_.wait(lock, [&] { return head_ == index; });
  }
  // The catalogue whose turn it is writes under the lock: only it could write now, and
  // those that finish meanwhile only add to what is kept.
  WriteHeld(header, held);
  ++head_;
  for (auto next = kept_.begin(); next != kept_.end() && next->first == head_;
       next = kept_.erase(next)) {
    WriteHeld(next->second.header, next->second.held);
    keptBytes_ -= next->second.header.size() + next->second.held.size();
    ++head_;
  }
  turn_.notify_all();
}

OrderedSink::OrderedSink(OutputOrder& order, size_t index)
    : order_(order), index_(index), direct_(order.IsTurn(index)) {}

void OrderedSink::Write(std::string_view bytes) {
  if (direct_) {
    order_.out().Write(bytes);
    return;
  }
  held_.append(bytes.data(), bytes.size());
  if (held_.size() > kHeldOutput) TakeTurn();
}

void OrderedSink::WriteHeader(std::string_view bytes) {
  if (direct_) {
    if (order_.TakeHeader()) order_.out().Write(bytes);
    return;
  }
  header_.assign(bytes.data(), bytes.size());
}

void OrderedSink::TakeTurn() {
  order_.TakeTurn(index_, header_, held_);
  direct_ = true;
  header_.clear();
  held_.clear();
  held_.shrink_to_fit();
}

void OrderedSink::Finish() { order_.Finish(index_, std::move(header_), std::move(held_)); }

}  // namespace ledra
