#include "frame/run_progress.h"

std::atomic<int32_t> CancelRequested{0};

namespace {
RunWindows* runWindows = nullptr;
}  // namespace

void SetRunWindows(RunWindows* windows) { runWindows = windows; }
RunWindows* GetRunWindows() { return runWindows; }
