// The one ordered, unsorted list of computers that every run works on.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/handles.h"
#include "platform/core/win32.h"

// Index into the main window's image list.
enum TypeImage : int32_t {
  TypeImageUnknown = 0,
  TypeImagePrimaryController = 1,
  TypeImageBackupController = 2,
  TypeImageServer = 3,
  TypeImageWorkstation = 4,
};

// The outcome of one log (Corvane) or of one computer (Praxon).
struct ResultSlot {
  char logName[52] = {};
  DWORD status = 0;    // string-table identifier of the outcome
  int32_t errorCode = 0;
  char errorText[52] = {};
};

constexpr size_t kMaxComputerName = 15;

struct ComputerRecord {
  std::string name;  // never begins with "\\", at most 15 bytes
  std::string typeText = "Unknown";
  int32_t typeImage = TypeImageUnknown;
  int32_t selected = 0;
  HANDLE lookupThread = nullptr;
  DWORD lookupThreadId = 0;
  // Corvane: System, Security, Application. Praxon uses results[0] and policyText.
  std::array<ResultSlot, 3> results{};
  char policyText[100] = {};
};

class ComputerList {
 public:
  void Clear() { records_.clear(); }
  void Append(const ComputerRecord& record) { records_.push_back(record); }
  size_t Count() const { return records_.size(); }
  ComputerRecord& operator[](size_t i) { return records_[i]; }
  const ComputerRecord& operator[](size_t i) const { return records_[i]; }
  auto begin() { return records_.begin(); }
  auto end() { return records_.end(); }
  auto begin() const { return records_.begin(); }
  auto end() const { return records_.end(); }

 private:
  std::vector<ComputerRecord> records_;
};

// The process-wide list.
extern ComputerList computerList;

// Drops a leading pair of backslashes and cuts the rest to 15 bytes (never inside a UTF-8
// character); "Unknown", image 0, not selected, no lookup thread, zeroed results.
ComputerRecord MakeRecordFromName(std::string_view name);

// Copies `text` into a fixed buffer of `size` bytes, cut so that no UTF-8 character is split,
// always terminated. Returns the bytes copied.
size_t CopyText(char* buffer, size_t size, std::string_view text);

// The longest prefix of `text` of at most `maxBytes` bytes that does not split a UTF-8
// character (a byte that is not valid UTF-8 counts as a character of its own).
std::string_view CutText(std::string_view text, size_t maxBytes);
