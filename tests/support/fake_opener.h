// A stand-in for the desktop's opener: an "xdg-open" first on PATH that writes each argument it
// gets, one a line, to a file the test reads. PATH is restored when the object goes.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/temp_network.h"

class FakeOpener {
 public:
  explicit FakeOpener(const std::string& folder) : bin_(folder + "/opener-bin"), record_(folder + "/opened.txt") {
    const char* path = ::getenv("PATH");
    hadPath_ = path != nullptr;
    if (path) oldPath_ = path;
    TempNetwork::WriteFile(bin_ + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + record_ + "'\n");
    ::chmod((bin_ + "/xdg-open").c_str(), 0755);
    ::setenv("PATH", (bin_ + ":" + oldPath_).c_str(), 1);
  }
  ~FakeOpener() {
    if (hadPath_) ::setenv("PATH", oldPath_.c_str(), 1);
    else ::unsetenv("PATH");
  }
  FakeOpener(const FakeOpener&) = delete;
  FakeOpener& operator=(const FakeOpener&) = delete;

  // What was opened so far, waiting up to five seconds for at least `lines` lines (the opener
  // runs on its own; nobody waits for it).
  std::string Opened(int lines = 1) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::string text;
    while (true) {
      text = TempNetwork::ReadFile(record_);
      int n = 0;
      for (char c : text) n += c == '\n';
      if (n >= lines || std::chrono::steady_clock::now() > until) return text;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

 private:
  std::string bin_;
  std::string record_;
  std::string oldPath_;
  bool hadPath_ = false;
};
