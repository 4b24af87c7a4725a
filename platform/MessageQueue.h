// A small per-thread message queue with message windows: the stand-in for
// the hidden window a component uses to hear from its worker thread.
//
// A message window belongs to the thread that allocated it; messages posted
// to it (from any thread) wait in that thread's queue until that thread
// takes them with PeekMessage and hands them to DispatchMessage, which calls
// the window's procedure. A message for a window that has been released is
// dropped. A program with an event loop of its own installs a wake-up hook
// so that a post reaches its loop, and an idle pump so that waiting loops
// (such as an abort that waits for a handler) keep its own input flowing.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace trawlix::platform {

using HWND = uint64_t;  // 0 is no window
inline constexpr uint32_t WM_USER = 1024;

struct TMessage {
  HWND Window = 0;
  uint32_t Msg = 0;
  uintptr_t WParam = 0;
  intptr_t LParam = 0;
  intptr_t Result = 0;
};

using TWindowProc = std::function<void(TMessage&)>;

// Creates a message window of the calling thread.
HWND AllocateHWnd(TWindowProc proc);
// Releases it; messages still queued for it are dropped. Safe from its own
// procedure.
void DeallocateHWnd(HWND window);

// Queues a message for a window from any thread; false when the window does
// not exist.
bool PostMessage(HWND window, uint32_t msg, uintptr_t wParam, intptr_t lParam);

// Takes (remove) or looks at the oldest message of the calling thread's
// queue; false when there is none.
bool PeekMessage(TMessage& msg, bool remove);

// Waits up to timeout for a message in the calling thread's queue and takes
// it; false when none came.
bool WaitMessage(TMessage& msg, std::chrono::milliseconds timeout);

// Hands a message to its window's procedure and returns the procedure's
// result; a message for a released window gives 0.
intptr_t DispatchMessage(TMessage& msg);

// The default procedure: does nothing, result 0.
void DefWindowProc(TMessage& msg);

// Dispatches every message now in the calling thread's queue; returns how
// many were dispatched.
int ProcessMessages();

// Takes and dispatches one pending message of the calling thread; when its
// queue is empty, runs the thread's idle pump once instead (if one is set).
// Returns true when anything was dispatched.
bool PumpOnce();

// Hook called, in the posting thread, after a message was queued for the
// calling thread (the one that installs it). Pass an empty function to
// remove it.
void SetWakeUpHook(std::function<void()> hook);

// Hook that PumpOnce runs when the calling thread's queue is empty; returns
// true when it dispatched something.
void SetIdlePump(std::function<bool()> pump);

// Number of messages waiting in the calling thread's queue.
size_t PendingMessages();

}  // namespace trawlix::platform
