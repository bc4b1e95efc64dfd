#include "query/ordered_output.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace ledra {
namespace {

// Catalogues that finish before the ones ahead of them leave their output and go on: one
// thread can finish them in any order without waiting, and the output comes out in order,
// with the first header in that order only.
TEST(OrderedOutputTest, LaterCataloguesFinishWithoutWaitingAndAreWrittenInOrder) {
  StringSink out;
  OutputOrder order(out);
  OrderedSink second(order, 2);
  second.WriteHeader("H2\n");
  second.Write("c\n");
  OrderedSink first(order, 1);
  first.WriteHeader("H1\n");
  first.Write("b\n");
  OrderedSink empty(order, 3);
  OrderedSink zeroth(order, 0);  // its turn: written through
  zeroth.Write("a\n");
  EXPECT_EQ(out.text, "a\n");

  second.Finish();
  empty.Finish();
  first.Finish();
  EXPECT_EQ(out.text, "a\n");
  zeroth.Finish();
  EXPECT_EQ(out.text, "a\nH1\nb\nc\n");

  OrderedSink fourth(order, 4);  // every one ahead is written: its own turn
  fourth.Write("d\n");
  EXPECT_EQ(out.text, "a\nH1\nb\nc\nd\n");
}

// The output kept for others to write is bounded: past the bound a finished catalogue
// waits for its turn, so memory does not grow with the catalogues ahead of a slow one.
TEST(OrderedOutputTest, PastTheBoundAFinishedCatalogueWaitsForItsTurn) {
  StringSink out;
  OutputOrder order(out, 4);
  OrderedSink first(order, 1);
  first.Write("bbb\n");
  first.Finish();  // four bytes: within the bound, kept
  std::atomic<bool> done{false};
  std::thread later([&] {
    OrderedSink second(order, 2);
    second.Write("c\n");
    second.Finish();
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(done) << "kept more than the bound";
  OrderedSink zeroth(order, 0);
  zeroth.Write("a\n");
  zeroth.Finish();
  later.join();
  EXPECT_EQ(out.text, "a\nbbb\nc\n");
}

}  // namespace
}  // namespace ledra
