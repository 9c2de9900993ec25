#include "tools/hostkit/event_listing.h"

#include <cstdio>

#include "gather/event_row.h"
#include "gather/event_time.h"
#include "platform/core/sid.h"

namespace hostkit {
namespace {

// Wide enough for most values, so the columns line up; a longer value pushes its line along.
constexpr char kColumns[] = "%-10s %-8s  %-13s %5s  %-24s %-16s %-16s %s\n";

std::string Columns(const char* date, const char* time, const char* type, const char* id, const char* source,
                    const char* category, const char* user, const char* computer) {
  char line[2048];
  std::snprintf(line, sizeof line, kColumns, date, time, type, id, source, category, user, computer);
  return line;
}

// Every line of `text` indented; Windows line ends become ours, and trailing blanks go.
std::string Indented(const std::string& text) {
  std::string out, line;
  auto flush = [&] {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    out += line.empty() ? "\n" : "    " + line + "\n";
    line.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n' || text[i] == '\r') flush();
    else line.push_back(text[i]);
  }
  if (!line.empty()) flush();
  while (out.size() >= 2 && out.compare(out.size() - 2, 2, "\n\n") == 0) out.pop_back();
  return out;
}

}  // namespace

std::string ReadableHeader(const std::string& computer, const std::string& log, DWORD records) {
  return computer + " " + log + " log: " + std::to_string(records) + (records == 1 ? " record\n\n" : " records\n\n") +
         Columns("Date", "Time", "Type", "Event", "Source", "Category", "User", "Computer");
}

std::string ReadableRecord(const EVENTLOGRECORD* record, const EventRow& row) {
  const TIMESTAMP_STRUCT& t = row.eventDate;
  char date[32], time[32];
  std::snprintf(date, sizeof date, "%04d-%02u-%02u", t.year, t.month, t.day);
  std::snprintf(time, sizeof time, "%02u:%02u:%02u", t.hour, t.minute, t.second);
  // Windows shows the ID without its severity, customer and facility bits.
  const std::string id = std::to_string(record->EventID & 0xFFFF);
  // As the Event Viewer shows it: the account, else the SID that no account answered, else N/A.
  std::string user = row.userName;
  const auto* bytes = reinterpret_cast<const uint8_t*>(record);
  if (user.empty() && record->UserSidLength > 0 && record->UserSidOffset <= record->Length &&
      record->UserSidLength <= record->Length - record->UserSidOffset)
    user = platform::SidText(bytes + record->UserSidOffset, record->UserSidLength);
  if (user.empty()) user = "N/A";
  std::string out = Columns(date, time, row.type, id.c_str(), row.source, row.category, user.c_str(), row.computer);
  out += Indented(std::string(row.description, row.descriptionLength));
  const std::vector<std::string> strings = RecordStrings(record);
  if (!strings.empty()) {
    std::string line = "    Strings: ";
    for (size_t i = 0; i < strings.size(); ++i) line += (i ? " | " : "") + strings[i];
    // The strings stay on their line: each line end becomes one blank.
    std::string flat;
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '\r' && i + 1 < line.size() && line[i + 1] == '\n') continue;
      flat.push_back(line[i] == '\r' || line[i] == '\n' ? ' ' : line[i]);
    }
    out += flat + "\n";
  }
  return out + "\n";
}

}  // namespace hostkit
