#include "frame/run_progress.h"

std::atomic<int32_t> CancelRequested{0};
