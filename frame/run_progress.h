// What a run's worker sees of its progress window (Corvane's dialog 111, Praxon's run dialog):
// a text line, a bar, the Cancel command (through CancelRequested) and the "done" message.
// The desktop implements it with a window; the unattended run and the tests without one.
#pragma once

#include <atomic>
#include <cstdint>
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
