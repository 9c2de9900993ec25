#include "frame/message_box.h"

#include <cstdarg>
#include <cstdio>

#include "frame/strings.h"
#include "platform/messages/message_module.h"
#include "platform/core/system_messages.h"

namespace {

class StderrSink : public MessageBoxSink {
 public:
  int Show(HWND, const std::string& text, const char* caption, UINT) override {
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "Error", text.c_str());
    return IDOK;
  }
};

StderrSink defaultSink;
MessageBoxSink* sink = &defaultSink;

constexpr size_t kBoxBuffer = 800;

int ShowTableBox(HWND owner, UINT id, UINT icon, va_list args) {
  char format[kBoxBuffer];
  if (LoadStringA(nullptr, id, format, sizeof format) == 0)
    LoadStringA(nullptr, IDS_UNKNOWN_ERROR, format, sizeof format);
  char text[kBoxBuffer];
  // The format is the program's own table text, never text from outside.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  std::vsnprintf(text, sizeof text, format, args);
#pragma GCC diagnostic pop
  return MessageBoxA(owner, text, "Error!", icon | MB_OK);
}

}  // namespace

void SetMessageBoxSink(MessageBoxSink* newSink) { sink = newSink ? newSink : &defaultSink; }

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  return sink->Show(owner, text ? text : "", caption, type);
}

int ShowErrorBox(HWND owner, UINT id, ...) {
  va_list args;
  va_start(args, id);
  int r = ShowTableBox(owner, id, MB_ICONHAND, args);
  va_end(args);
  return r;
}

int ShowWarningBox(HWND owner, UINT id, ...) {
  va_list args;
  va_start(args, id);
  int r = ShowTableBox(owner, id, MB_ICONEXCLAMATION, args);
  va_end(args);
  return r;
}

int ShowSystemError(HWND owner, LPCSTR caption, DWORD code) {
  char* text = nullptr;
  // Inserts are left as they stand: the caller has no arguments to give, and a text with
  // "%1" would otherwise fail and leave the box empty.
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
                 nullptr);
  int result;
  if (text) {
    result = MessageBoxA(owner, text, caption, MB_ICONHAND | MB_OK);
  } else {
    // A code the system has no text for still gets a box that says something.
    char fallback[260];
    LoadStringA(nullptr, IDS_UNKNOWN_ERROR, fallback, sizeof fallback);
    result = MessageBoxA(owner, fallback, caption, MB_ICONHAND | MB_OK);
  }
  LocalFree(text);
  return result;
}

int ShowStringBox(HWND owner, UINT id) {
  char text[260];
  if (LoadStringA(nullptr, id, text, sizeof text) == 0) LoadStringA(nullptr, IDS_UNKNOWN_ERROR, text, sizeof text);
  return MessageBoxA(owner, text, nullptr, MB_ICONHAND | MB_OK);
}
