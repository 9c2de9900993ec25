// A lab network described in text (examples/lab/README.md has the format): its computers, the
// message DLLs and event sources they share, the kinds of event each log receives and the word
// lists their insertion strings draw from. "hostkit lab" builds the network from it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/network.h"
#include "platform/core/win32.h"

namespace hostkit {

struct LabComputer {
  std::string name;
  platform::HostInfo host;
  std::string recordName;  // the name its records carry, when not its own (a renamed machine)
  std::vector<std::pair<std::string, uint32_t>> events;  // log name and number of records
  // Its audit policy, as "hostkit policy NAME --set" takes it, or "off" (auditing off); empty:
  // the policy a new image has (auditing off, nothing audited).
  std::string audit;
  // User accounts of its own SAM, besides Administrator and Guest, with RIDs from
  // kFirstLabAccountRid in this order; a pdc's are the domain's accounts.
  std::vector<std::string> accounts;
};

constexpr uint32_t kFirstLabAccountRid = 1000;

struct LabMessages {
  std::string name;  // the DLL is <name>.dll in %SystemRoot%\System32
  std::string file;  // the .mc file, relative to the lab's folder
  bool ansi = false;
};

struct LabSource {
  std::string log;
  std::string name;
  std::vector<std::string> eventFiles, categoryFiles, parameterFiles;  // message DLL names
  uint32_t categoryCount = 0;
};

struct LabEvent {
  std::string log;
  std::string source;
  DWORD id = 0;
  WORD type = 4;  // information
  WORD category = 0;
  uint32_t weight = 1;
  std::vector<std::string> strings;  // templates: "{list}" draws from a word list
  // "S-1-...", "domain:RID", "local:RID", "string:N" (the account insertion string N names) or
  // empty.
  std::string user;
  std::vector<uint8_t> data;
};

struct LabDescription {
  DWORD start = 1764000000;  // UTC seconds of every log's first record
  uint64_t seed = 1;
  uint32_t sameSecond = 20;  // percent of records written in the second of the one before
  uint32_t gapMin = 1, gapMax = 600;
  DWORD logSize = 4 * 1024 * 1024;  // MaxSize of each log
  std::vector<LabComputer> computers;
  std::vector<LabMessages> messages;
  std::vector<LabSource> sources;
  std::vector<LabEvent> events;
  std::map<std::string, std::vector<std::string>> words;
};

// Limits that keep a description (outside input) from asking for more than a lab needs.
constexpr uint32_t kMaxLabRecordsPerLog = 2000000;
constexpr size_t kMaxLabEntries = 4096;  // computers, sources, event kinds, words of a list

// False with "line N: why" in `error` when the text is no valid description; every name an
// entry refers to (a source, a message DLL, a word list) is checked.
bool ParseLabDescription(std::string_view text, LabDescription& out, std::string& error);

// A string template with each "{list}" replaced by pick(list); "{computer}" and "{domain}" come
// from the arguments. An unknown or unclosed brace stays as written.
template <typename Pick>
std::string ExpandLabString(const std::string& text, const std::string& computer, const std::string& domain,
                            Pick&& pick) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    size_t close = text[i] == '{' ? text.find('}', i) : std::string::npos;
    if (close == std::string::npos) {
      out.push_back(text[i++]);
      continue;
    }
    std::string name = text.substr(i + 1, close - i - 1);
    if (name == "computer") out += computer;
    else if (name == "domain") out += domain;
    else if (!pick(name, out)) out += text.substr(i, close - i + 1);
    i = close + 1;
  }
  return out;
}

}  // namespace hostkit
