#include "frame/list_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

#include "platform/core/beneath.h"
#include "platform/core/file_replace.h"
#include "frame/frame_ui.h"
#include "frame/message_box.h"
#include "platform/core/paths.h"
#include "platform/core/regular_file.h"

namespace {

TypeLookup typeLookup = nullptr;

constexpr size_t kMaxListWord = 17;
// Only the first word of a line counts; past this much of one line the rest is read and dropped.
constexpr size_t kMaxKeptLine = 64 * 1024;

// The same words for both bounds: a person keeps lists far below either.
static_assert(kMaxListComputers == 65535 && kMaxListFileBytes == 16 * 1024 * 1024, "the message gives the bounds");
void ShowTooLong(HWND owner) {
  MessageBoxA(owner, "The list file is too long: a list may name at most 65535 computers in at most 16 MB. It was not loaded.",
              "Error!", MB_OK | MB_ICONHAND);
}

bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

void SetTypeLookup(TypeLookup lookup) { typeLookup = lookup; }

std::string FirstListWord(std::string_view line) {
  if (auto nul = line.find('\0'); nul != std::string_view::npos) line = line.substr(0, nul);
  size_t start = 0;
  while (start < line.size() && IsWhite(line[start])) ++start;
  size_t end = start;
  while (end < line.size() && !IsWhite(line[end])) ++end;
  return std::string(CutText(line.substr(start, end - start), kMaxListWord));
}

bool ReadListNames(std::FILE* file, ComputerList& list) {
  list.Clear();
  std::string line;
  // Whole lines, however long: a piece of an overlong line must never become a computer.
  for (;;) {
    line.clear();
    int c;
    while ((c = std::fgetc(file)) != EOF && c != '\n')
      if (line.size() < kMaxKeptLine) line.push_back(static_cast<char>(c));
    if (c == EOF && line.empty()) break;
    std::string word = FirstListWord(line);
    // A word that is only "\\" names no computer; an empty name would mean this computer. No
    // computer's name holds a backslash: one left after the pair ("\\\\SRV1") names none either.
    if (!word.empty()) {
      ComputerRecord record = MakeRecordFromName(word);
      if (!record.name.empty() && record.name.front() != '\\') {
        if (list.Count() == kMaxListComputers) return false;
        list.Append(record);
      }
    }
    if (c == EOF) break;
  }
  return true;
}

bool WriteListFile(const std::string& fileName, const ComputerList& list) {
  std::string native;
  if (platform::ResolvePath(fileName, native, platform::PathUse::Create) != ERROR_SUCCESS) return false;
  // Through a link, the file it names is the one replaced, not the link; inside a computer image
  // the link itself is replaced, since what it names may lie outside the image.
  std::string drive, below;
  if (!platform::SplitImagePath(native, drive, below)) {
    if (char* real = ::realpath(native.c_str(), nullptr)) {
      native = real;
      std::free(real);
    }
  }
  std::string text;
  for (const auto& record : list)
    if (record.selected == 1) text += record.name + '\t' + record.typeText + '\n';
  // Replaced whole, so a full disk never leaves half a list where a whole one was.
  return !platform::ReplaceFile(native, text);
}

bool LoadListFileInto(const std::string& fileName, bool interactive, ComputerList& list, HWND owner) {
  if (fileName.empty()) return false;
  std::string native;
  if (platform::ResolvePath(fileName, native) != ERROR_SUCCESS) return false;
  // Only a regular file is a list: a folder reads as nothing, a device might never end, and
  // opening a FIFO would wait for a writer that never comes.
  int fd = platform::OpenRegularFile(native, O_RDONLY);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return false;
  }
  std::FILE* f = static_cast<uint64_t>(st.st_size) > kMaxListFileBytes ? nullptr : ::fdopen(fd, "r");
  if (!f) {
    ::close(fd);
    if (static_cast<uint64_t>(st.st_size) > kMaxListFileBytes) ShowTooLong(owner);
    return false;
  }
  // Read aside: a file refused half-way leaves the list as it was.
  ComputerList read;
  const bool whole = ReadListNames(f, read);
  std::fclose(f);
  if (!whole) {
    ShowTooLong(owner);
    return false;
  }
  list = std::move(read);
  if (interactive && list.Count() > 0 && typeLookup) typeLookup(list, owner);
  return true;
}

bool LoadListFile(const std::string& fileName, bool interactive, HWND owner) {
  return LoadListFileInto(fileName, interactive, computerList, owner);
}

bool ExportListFile(HWND owner) {
  char name[260] = "*.exp";
  if (!ChooseFile(owner, "Export Computer list", name, sizeof name, ExportListKind)) return false;
  WaitCursor cursor;
  return WriteListFile(name, computerList);
}

bool ImportListFile(HWND owner) {
  char name[260] = "*.imp;*.exp";
  if (!ChooseFile(owner, "Import Computer list", name, sizeof name, ImportListKind)) return false;
  WaitCursor cursor;
  return LoadListFile(name, true, owner);
}
