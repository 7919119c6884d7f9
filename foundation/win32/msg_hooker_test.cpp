#include "foundation/win32/msg_hooker.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "foundation/win32/window_test_support.h"

namespace Orvex {
namespace {

using Test::FunctionHooker;

// The list deletes itself with its last hooker: tests keep one as an anchor.
struct ListFixture {
  ListFixture() : list(MessageList::Create()), anchor([](SMessage&) { return false; }) {
    list->Add(&anchor);
  }
  MessageList* list;
  FunctionHooker anchor;
};

TEST(MessageListTest, EveryHookerSeesTheMessageInOrderAndAnyOneHandlesIt) {
  ListFixture fixture;
  std::string calls;
  FunctionHooker first([&](SMessage&) { return calls += 'a', true; });
  FunctionHooker second([&](SMessage&) { return calls += 'b', false; });
  fixture.list->Add(&first);
  fixture.list->Add(&second);
  SMessage message{};
  EXPECT_TRUE(fixture.list->Dispatch(message));
  EXPECT_EQ(calls, "ab");

  // A hooker added on the way waits for the next message.
  std::unique_ptr<FunctionHooker> late;
  FunctionHooker adder([&](SMessage& m) {
    if (!late) {
      late = std::make_unique<FunctionHooker>([&](SMessage&) { return calls += 'L', false; });
      m.list->Add(late.get());
    }
    return false;
  });
  fixture.list->Add(&adder);
  calls.clear();
  fixture.list->Dispatch(message);
  EXPECT_EQ(calls, "ab");
  calls.clear();
  fixture.list->Dispatch(message);
  EXPECT_EQ(calls, "abL");
}

TEST(MessageListTest, AHookerMayGoWhileAMessageIsOnItsWay) {
  ListFixture fixture;
  std::string calls;
  auto* leaving = new FunctionHooker([&](SMessage&) { return false; });
  // The first hooker destroys the second one and itself, inside a nested
  // dispatch as a handler that sends a message would.
  std::unique_ptr<FunctionHooker> self;
  int nesting = 0;
  self = std::make_unique<FunctionHooker>([&](SMessage& m) {
    calls += 's';
    if (nesting++ == 0) {
      m.list->Dispatch(m);
      delete leaving;
      self.reset();
    }
    return false;
  });
  FunctionHooker last([&](SMessage&) { return calls += 'z', false; });
  fixture.list->Add(self.get());
  fixture.list->Add(leaving);
  fixture.list->Add(&last);

  SMessage message{};
  EXPECT_FALSE(fixture.list->Dispatch(message));
  EXPECT_EQ(calls, "sszz");  // the nested pass inside the outer one
  // Erased once the outermost dispatch was done.
  EXPECT_EQ(fixture.list->EntryCount(), 2u);
  calls.clear();
  fixture.list->Dispatch(message);
  EXPECT_EQ(calls, "z");
}

TEST(MessageListTest, AThrowingHookerStopsTheMessageAndLeavesTheListUsable) {
  ListFixture fixture;
  std::string calls;
  bool throwing = true;
  FunctionHooker thrower([&](SMessage&) -> bool {
    calls += 't';
    if (throwing) throw std::runtime_error("no");
    return false;
  });
  FunctionHooker after([&](SMessage&) { return calls += 'a', true; });
  fixture.list->Add(&thrower);
  fixture.list->Add(&after);
  SMessage message{};
  EXPECT_THROW(fixture.list->Dispatch(message), std::runtime_error);
  EXPECT_EQ(calls, "t");
  throwing = false;
  calls.clear();
  // The lock was released and the depth restored.
  EXPECT_TRUE(fixture.list->Dispatch(message));
  EXPECT_EQ(calls, "ta");
}

}  // namespace
}  // namespace Orvex
