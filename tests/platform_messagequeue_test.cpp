#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/MessageQueue.h"

namespace trawlix::platform {

TEST(MessageQueue, PostedMessagesReachTheWindowInOrderInItsThread) {
  std::vector<uint32_t> seen;
  std::thread::id procThread;
  const HWND w = AllocateHWnd([&](TMessage& m) {
    seen.push_back(m.Msg);
    procThread = std::this_thread::get_id();
    m.Result = 7;
  });
  std::thread other([w] {
    EXPECT_TRUE(PostMessage(w, WM_USER + 1, 0, 0));
    EXPECT_TRUE(PostMessage(w, WM_USER + 2, 0, 0));
  });
  other.join();
  EXPECT_EQ(PendingMessages(), 2u);
  TMessage m;
  ASSERT_TRUE(WaitMessage(m, std::chrono::milliseconds(1000)));
  EXPECT_EQ(DispatchMessage(m), 7);
  EXPECT_EQ(ProcessMessages(), 1);
  EXPECT_EQ(seen, (std::vector<uint32_t>{WM_USER + 1, WM_USER + 2}));
  EXPECT_EQ(procThread, std::this_thread::get_id());
  DeallocateHWnd(w);
}

TEST(MessageQueue, ReleasedWindowDropsItsMessages) {
  int calls = 0;
  const HWND w = AllocateHWnd([&](TMessage&) { ++calls; });
  EXPECT_TRUE(PostMessage(w, 1, 0, 0));
  DeallocateHWnd(w);
  EXPECT_FALSE(PostMessage(w, 2, 0, 0));
  EXPECT_EQ(ProcessMessages(), 0);
  EXPECT_EQ(calls, 0);
}

TEST(MessageQueue, WakeUpHookAndIdlePump) {
  std::atomic<int> wakes{0};
  SetWakeUpHook([&] { ++wakes; });
  int pumped = 0;
  SetIdlePump([&] { return ++pumped > 0; });
  const HWND w = AllocateHWnd([](TMessage&) {});
  std::thread([w] { PostMessage(w, 1, 0, 0); }).join();
  EXPECT_EQ(wakes.load(), 1);
  EXPECT_TRUE(PumpOnce());  // the message
  EXPECT_EQ(pumped, 0);
  EXPECT_TRUE(PumpOnce());  // the idle pump
  EXPECT_EQ(pumped, 1);
  SetWakeUpHook({});
  SetIdlePump({});
  DeallocateHWnd(w);
}

}  // namespace trawlix::platform
