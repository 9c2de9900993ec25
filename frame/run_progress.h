// What a run's worker sees of its progress window (Corvane's dialog 111, Praxon's run dialog):
// a text line, a bar, the Cancel command (through CancelRequested) and the "done" message.
// The desktop implements it with a window; the unattended run and the tests without one.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/core/win32.h"

// The cancel flag of both programs' runs: set to 1 by the user interface thread, read by the
// worker before each computer (and each record of a gather). Atomic so that the unlocked read is
// well defined; a late view only delays the stop by one step.
extern std::atomic<int32_t> CancelRequested;

class RunProgress {
 public:
  virtual ~RunProgress() = default;
  // The window that owns the error boxes of the run's steps (the store's), or null for none.
  virtual HWND Owner() = 0;
  // Static text 1025.
  virtual void SetText(const std::string& text) = 0;
  // Progress bar 1024: range 0..`count`, step `count` / 100, position 0. The control's range is
  // 16-bit; an implementation shows larger counts as best it can.
  virtual void SetRange(uint32_t count) = 0;
  virtual void SetPosition(uint32_t position) = 0;
  // The worker's OK command once its loop is over. Blocks until the window has written the run's
  // report and closed, so the report never reads a slot the worker still writes.
  virtual void Done() = 0;
};

// What a run hands its progress window.
struct RunWindowSteps {
  // Called once the window is up (after it has set CancelRequested to 0): starts the worker
  // thread, which reports to `progress` and ends with progress.Done(). A worker that cannot be
  // started would leave the window waiting for good, so `start` then calls progress.Done()
  // itself, on the user interface thread: Done() returns at once there, and the window
  // finishes and closes as after a worker's Done().
  std::function<void(RunProgress& progress)> start;
  // Called on the user interface thread when the worker's Done() arrives, before the window
  // closes: closes the worker's handle and writes the run's report.
  std::function<void()> finish;
};

// The modal progress window of an interactive run (dialog 111 of either program), bound by the
// desktop user interface. Cancel (and Escape, and the close box) only sets CancelRequested; the
// window ends on the worker's Done() alone, never on Enter.
class RunWindows {
 public:
  virtual ~RunWindows() = default;
  // Returns once the window has closed.
  virtual void ShowProgress(HWND owner, const RunWindowSteps& steps) = 0;
};

// The process-wide binding; null (the default) when no user interface is bound.
void SetRunWindows(RunWindows* windows);
RunWindows* GetRunWindows();
