// A stand-in for the desktop's opener: an "xdg-open" first on PATH that writes each argument it
// gets, one a line, to a file the test reads. PATH is restored when the object goes.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <thread>

#include "tests/support/temp_network.h"

class FakeOpener {
 public:
  explicit FakeOpener(const std::string& folder) : record_(folder + "/opened.txt"), oldPath_(::getenv("PATH")) {
    TempNetwork::WriteFile(folder + "/bin/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + record_ + "'\n");
    ::chmod((folder + "/bin/xdg-open").c_str(), 0755);
    ::setenv("PATH", (folder + "/bin:" + oldPath_).c_str(), 1);
  }
  ~FakeOpener() { ::setenv("PATH", oldPath_.c_str(), 1); }

  // What was opened, once at least `lines` were (or five seconds passed): nobody waits for it.
  std::string Opened(size_t lines = 1) const {
    std::string text;
    for (int i = 0; i < 500 && size_t(std::count(text.begin(), text.end(), '\n')) < lines; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      text = TempNetwork::ReadFile(record_);
    }
    return text;
  }

 private:
  std::string record_;
  std::string oldPath_;
};
