// Takes the message boxes the frame shows while it lives: each one's text, caption ("<default>"
// for none) and type is kept and answered with OK.
#pragma once

#include <string>
#include <vector>

#include "frame/message_box.h"

struct RecordingBoxes : MessageBoxSink {
  struct Box {
    std::string text, caption;
    UINT type;
  };
  std::vector<Box> boxes;

  RecordingBoxes() { SetMessageBoxSink(this); }
  ~RecordingBoxes() override { SetMessageBoxSink(nullptr); }
  int Show(HWND, const std::string& text, const char* caption, UINT type) override {
    boxes.push_back({text, caption ? caption : "<default>", type});
    return IDOK;
  }
};
