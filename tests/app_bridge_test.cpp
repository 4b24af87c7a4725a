// The bridge between the user-interface thread's message queue and Qt's
// event loop: a threaded search ends inside a running QEventLoop (its end
// message 1025 is dispatched there, OnSearchFinish comes in this thread),
// the finder is free for the next search, and an error inside the worker
// reaches the program's general error display.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <atomic>
#include <csignal>
#include <chrono>
#include <thread>

#include "RecordingInteraction.h"
#include "TempTree.h"
#include "app/Application.h"
#include "engine/FindFile.h"
#include "platform/Errors.h"
#include "platform/MessageQueue.h"

namespace trawlix {
namespace {

using namespace std::chrono_literals;

// Runs Qt's event loop until done() holds. Each round processes what is
// pending and then returns (a quit queued behind it), so a missing bridge
// shows as a failure, not a hang: once the worker has posted its end
// message, a bounded number of rounds gives the wake-up event time to be
// posted and delivered.
bool RunEventLoopUntil(const std::function<bool()>& done) {
  // The worker always ends; its end message then waits in this thread's
  // queue, or has been taken already.
  while (!done() && platform::PendingMessages() == 0) std::this_thread::sleep_for(1ms);
  QEventLoop loop;
  for (int round = 0; round < 2000 && !done(); ++round) {
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    loop.exec();
    if (!done()) std::this_thread::sleep_for(1ms);
  }
  return done();
}

class MessageBridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.createFile("a.txt", "a");
    tree.createFile("sub/b.txt", "b");
    finder.SetThreaded(true);
    finder.Criteria().Files().SetLocation(tree.Root());
    finder.OnFileMatch = [this](TFindFile*, const std::string&, const TSearchRec&) { ++matches; };
    finder.OnSearchFinish = [this](TFindFile*) {
      finishedInThisThread = std::this_thread::get_id() == mainThread;
      ++finishes;
    };
  }

  test::TempTree tree;
  test::RecordingInteraction ui;
  TMessageBridge bridge;
  TFindFile finder;
  std::atomic<int> matches{0};
  int finishes = 0;
  bool finishedInThisThread = false;
  const std::thread::id mainThread = std::this_thread::get_id();
};

// Regression: nothing bridged the queue to Qt's loop, so message 1025 was
// never dispatched and the finder stayed busy for good.
TEST_F(MessageBridgeTest, ThreadedSearchEndsInsideTheEventLoopAndTheNextOneRuns) {
  finder.Execute();
  ASSERT_TRUE(RunEventLoopUntil([&] { return finishes == 1; }));
  EXPECT_TRUE(finishedInThisThread);
  EXPECT_FALSE(finder.Busy());
  EXPECT_EQ(matches.load(), 2);

  finder.Execute();
  ASSERT_TRUE(RunEventLoopUntil([&] { return finishes == 2; }));
  EXPECT_FALSE(finder.Busy());
  EXPECT_EQ(matches.load(), 4);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MessageBridgeTest, WorkerErrorGoesToTheGeneralErrorDisplay) {
  bridge.SetErrorDisplay(&ui);
  finder.OnFolderChange = [](TFindFile*, const std::string&, TFolderIgnore&) {
    throw EInOutError(ErrnoToErrorCode(EIO));
  };
  finder.Execute();
  ASSERT_TRUE(RunEventLoopUntil([&] { return finishes == 1 && !ui.messages.empty(); }));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].errorBox);
  EXPECT_EQ(ui.messages[0].text, QStringLiteral("E/A-Fehler 5."));
  EXPECT_FALSE(finder.Busy());
  EXPECT_EQ(matches.load(), 0);
}

// A save into a pipe whose reader left must not end the program.
TEST(StartModules, LeaveSigpipeIgnored) {
  const auto before = std::signal(SIGPIPE, SIG_DFL);
  StartModules();
  EXPECT_EQ(std::signal(SIGPIPE, before), SIG_IGN);
}

}  // namespace
}  // namespace trawlix
