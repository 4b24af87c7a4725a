#include "platform/MessageQueue.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace trawlix::platform {

namespace {

struct ThreadQueue {
  std::mutex mutex;
  std::condition_variable cv;
  std::deque<TMessage> messages;
  std::function<void()> wakeUp;
  std::function<bool()> idlePump;
};

struct Window {
  std::shared_ptr<ThreadQueue> queue;
  std::shared_ptr<TWindowProc> proc;
};

std::mutex g_windowsMutex;
std::unordered_map<HWND, Window>& Windows() {
  static auto* windows = new std::unordered_map<HWND, Window>();
  return *windows;
}
HWND g_nextWindow = 1;

std::shared_ptr<ThreadQueue>& CurrentQueue() {
  thread_local std::shared_ptr<ThreadQueue> queue = std::make_shared<ThreadQueue>();
  return queue;
}

}  // namespace

HWND AllocateHWnd(TWindowProc proc) {
  std::lock_guard lock(g_windowsMutex);
  const HWND h = g_nextWindow++;
  Windows()[h] = Window{CurrentQueue(), std::make_shared<TWindowProc>(std::move(proc))};
  return h;
}

void DeallocateHWnd(HWND window) {
  std::shared_ptr<ThreadQueue> queue;
  std::shared_ptr<TWindowProc> proc;  // released outside the lock
  {
    std::lock_guard lock(g_windowsMutex);
    auto it = Windows().find(window);
    if (it == Windows().end()) return;
    queue = it->second.queue;
    proc = std::move(it->second.proc);
    Windows().erase(it);
  }
  std::lock_guard lock(queue->mutex);
  std::erase_if(queue->messages, [window](const TMessage& m) { return m.Window == window; });
}

bool PostMessage(HWND window, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  std::shared_ptr<ThreadQueue> queue;
  {
    std::lock_guard lock(g_windowsMutex);
    auto it = Windows().find(window);
    if (it == Windows().end()) return false;
    queue = it->second.queue;
  }
  std::function<void()> wakeUp;
  {
    std::lock_guard lock(queue->mutex);
    queue->messages.push_back(TMessage{window, msg, wParam, lParam, 0});
    wakeUp = queue->wakeUp;
  }
  queue->cv.notify_all();
  if (wakeUp) wakeUp();
  return true;
}

bool PeekMessage(TMessage& msg, bool remove) {
  auto& queue = CurrentQueue();
  std::lock_guard lock(queue->mutex);
  if (queue->messages.empty()) return false;
  msg = queue->messages.front();
  if (remove) queue->messages.pop_front();
  return true;
}

bool WaitMessage(TMessage& msg, std::chrono::milliseconds timeout) {
  auto& queue = CurrentQueue();
  std::unique_lock lock(queue->mutex);
  if (!queue->cv.wait_for(lock, timeout, [&] { return !queue->messages.empty(); })) return false;
  msg = queue->messages.front();
  queue->messages.pop_front();
  return true;
}

intptr_t DispatchMessage(TMessage& msg) {
  std::shared_ptr<TWindowProc> proc;
  {
    std::lock_guard lock(g_windowsMutex);
    auto it = Windows().find(msg.Window);
    if (it == Windows().end()) return 0;
    proc = it->second.proc;
  }
  msg.Result = 0;
  if (proc && *proc) (*proc)(msg);
  return msg.Result;
}

void DefWindowProc(TMessage& msg) { msg.Result = 0; }

int ProcessMessages() {
  int n = 0;
  TMessage msg;
  while (PeekMessage(msg, true)) {
    DispatchMessage(msg);
    ++n;
  }
  return n;
}

bool PumpOnce() {
  TMessage msg;
  if (PeekMessage(msg, true)) {
    DispatchMessage(msg);
    return true;
  }
  std::function<bool()> pump;
  {
    auto& queue = CurrentQueue();
    std::lock_guard lock(queue->mutex);
    pump = queue->idlePump;
  }
  return pump ? pump() : false;
}

void SetWakeUpHook(std::function<void()> hook) {
  auto& queue = CurrentQueue();
  std::lock_guard lock(queue->mutex);
  queue->wakeUp = std::move(hook);
}

void SetIdlePump(std::function<bool()> pump) {
  auto& queue = CurrentQueue();
  std::lock_guard lock(queue->mutex);
  queue->idlePump = std::move(pump);
}

size_t PendingMessages() {
  auto& queue = CurrentQueue();
  std::lock_guard lock(queue->mutex);
  return queue->messages.size();
}

}  // namespace trawlix::platform
