// What the browse needs of the user interface: the wait cursor and the "Loading, please wait..."
// dialog. The programs bind a windowed implementation; without one the browse shows nothing.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/core/win32.h"

// Dialog 117: icon 108, "Loading, please wait..." and the progress bar 1068.
class LoadingWindow {
 public:
  virtual ~LoadingWindow() = default;
  // Range 0 to `count`, step 1, position 0. The bar's range is 16-bit: an implementation shows
  // larger counts as best it can.
  virtual void SetRange(size_t count) = 0;
  // One lookup done.
  virtual void Step() = 0;
  // Ends the dialog.
  virtual void Close() = 0;
};

class BrowseUi {
 public:
  virtual ~BrowseUi() = default;
  // Creates the modeless dialog owned by `owner` (none at start-up), shows it and paints it at
  // once. Null when it cannot be created: the lookup then runs without it.
  virtual std::unique_ptr<LoadingWindow> OpenLoadingWindow(HWND owner) = 0;
  virtual void ShowWaitCursor() = 0;
  virtual void RestoreCursor() = 0;  // the cursor that was current when the main window was set up
};

// The process-wide binding; null (the default) shows nothing.
void SetBrowseUi(BrowseUi* ui);
BrowseUi* GetBrowseUi();
