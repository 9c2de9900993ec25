// Running programs from tests (our tools and the independent readers) and reading what they print.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

// The exit code of `command` run by the shell, with its standard output and error in `output`;
// -1 when it did not exit by itself (a crash is never taken for a refusal).
inline int RunTool(const std::string& command, std::string* output = nullptr) {
  std::string out;
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int status = ::pclose(p);
  if (output) *output = out;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool HaveTool(const std::string& tool) { return RunTool("command -v " + tool) == 0; }

inline std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Every entry below `root`: its mode and, for files, its bytes.
inline std::map<std::string, std::string> TreeState(const std::string& root) {
  std::map<std::string, std::string> state;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    std::string rel = std::filesystem::relative(e.path(), root).string();
    auto perms = static_cast<unsigned>(std::filesystem::status(e.path()).permissions());
    std::string entry = std::to_string(perms) + ":";
    if (e.is_regular_file()) {
      FILE* f = std::fopen(e.path().c_str(), "rb");
      char buf[4096];
      size_t n;
      while (f && (n = std::fread(buf, 1, sizeof buf, f)) > 0) entry.append(buf, n);
      if (f) std::fclose(f);
    }
    state[rel] = entry;
  }
  return state;
}

// Tab-separated lines, as hostkit's listing verbs print them; empty fields are kept.
inline std::vector<std::vector<std::string>> TabLines(const std::string& text) {
  std::vector<std::vector<std::string>> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
      fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    lines.push_back(fields);
  }
  return lines;
}

// One record as libevt's evtexport prints it.
struct EvtexportRecord {
  unsigned long number = 0;
  std::string source, message, category;
  std::vector<std::string> strings;
};

// evtexport FILE [options]: its records in file order; empty when the tool is missing or fails.
inline std::vector<EvtexportRecord> Evtexport(const std::string& arguments) {
  std::string text;
  if (RunTool("evtexport " + arguments + " 2>/dev/null", &text) != 0) return {};
  std::vector<EvtexportRecord> records;
  std::istringstream in(text);
  std::string line;
  bool inMessage = false;  // a message goes on over lines up to its event's next field
  auto starts = [&](const char* key) { return line.rfind(key, 0) == 0; };
  while (std::getline(in, line)) {
    size_t sep = line.find("\t: ");
    std::string value = sep != std::string::npos ? line.substr(sep + 3)
                        : line.find(": ") != std::string::npos ? line.substr(line.find(": ") + 2) : "";
    if (starts("Event number")) {
      records.emplace_back().number = std::stoul(value);
      inMessage = false;
    } else if (records.empty()) {
      continue;
    } else if (starts("Source name")) {
      records.back().source = value;
    } else if (starts("Message string")) {
      records.back().message = value;
      inMessage = true;
    } else if (starts("String")) {
      records.back().strings.push_back(value);
      inMessage = false;
    } else if (inMessage && !line.empty() && !starts("Number of strings")) {
      records.back().message += "\n" + line;
    } else {
      inMessage = false;
      if (starts("Event category")) records.back().category = value;
    }
  }
  return records;
}
