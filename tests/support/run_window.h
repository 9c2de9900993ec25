// The progress window of an interactive run (either program's), drawn nowhere: it records the
// texts the worker shows and lets a test press Cancel, or do anything else, at a chosen text or
// bar position. Done() holds the worker until the report is written, as the real window does.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frame/run_progress.h"

class WindowlessRun : public RunWindows, public RunProgress {
 public:
  // Called on the worker's thread at every move: a new text (at position 0) or a bar position.
  std::function<void(const std::string& text, uint32_t position)> onMove;
  std::vector<std::string> texts;

  HWND Owner() override { return reinterpret_cast<HWND>(this); }
  void SetText(const std::string& text) override {
    texts.push_back(text);
    if (onMove) onMove(text, 0);
  }
  void SetRange(uint32_t) override {}
  void SetPosition(uint32_t position) override {
    if (onMove && position) onMove(texts.empty() ? "" : texts.back(), position);
  }
  void Done() override {
    std::unique_lock<std::mutex> lock(m_);
    done_ = true;
    cv_.notify_all();
    // On the window's own thread (a worker that could not start) there is nothing to wait for.
    if (std::this_thread::get_id() != windowThread_) cv_.wait(lock, [&] { return closed_; });
    left_ = true;
    cv_.notify_all();
  }
  void ShowProgress(HWND, const RunWindowSteps& steps) override {
    texts.clear();
    done_ = closed_ = left_ = false;
    windowThread_ = std::this_thread::get_id();
    CancelRequested = 0;
    steps.start(*this);
    std::unique_lock<std::mutex> lock(m_);
    ASSERT_TRUE(cv_.wait_for(lock, std::chrono::minutes(5), [&] { return done_; })) << "the worker never ended";
    lock.unlock();
    steps.finish();
    lock.lock();
    closed_ = true;
    cv_.notify_all();
    cv_.wait(lock, [&] { return left_; });  // the worker no longer touches this object
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool done_ = false, closed_ = false, left_ = false;
  std::thread::id windowThread_;
};
