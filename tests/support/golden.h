// Golden cases: data files beside the tests, so that adding a case is adding a few lines of text.
// A file holds cases, each begun by "== name" and made of "key: value" lines (a key may repeat).
// Values take the escapes \n \r \t \0 \\ and \xHH (\x20 for a blank at either end, which
// editors strip); "#" begins a comment line.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

struct GoldenCase {
  std::string name;
  std::multimap<std::string, std::string> fields;

  bool Has(const std::string& key) const { return fields.count(key) > 0; }
  std::string Get(const std::string& key, const std::string& otherwise = "") const {
    auto it = fields.find(key);
    return it == fields.end() ? otherwise : it->second;
  }
  std::vector<std::string> All(const std::string& key) const {
    std::vector<std::string> out;
    for (auto [it, end] = fields.equal_range(key); it != end; ++it) out.push_back(it->second);
    return out;
  }
  unsigned long Number(const std::string& key) const { return std::stoul(Get(key, "0"), nullptr, 0); }
};

inline std::string GoldenUnescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out.push_back(s[i]);
      continue;
    }
    char c = s[++i];
    if (c == 'x' && i + 2 < s.size()) {
      out.push_back(static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c == '0' ? '\0' : c);
    }
  }
  return out;
}

// The cases of tests/<path>; a file that cannot be read fails the test that asked for it.
inline std::vector<GoldenCase> ReadGolden(const std::string& path) {
  std::vector<GoldenCase> cases;
  std::ifstream in(std::string(TALLYARD_SOURCE_DIR "/tests/") + path);
  EXPECT_TRUE(in.good()) << "no golden file " << path;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line.rfind("== ", 0) == 0) {
      cases.push_back({line.substr(3), {}});
      continue;
    }
    auto sep = line.find(": ");
    if (sep == std::string::npos && line.back() == ':') line += ' ', sep = line.size() - 2;  // an empty value
    if (cases.empty() || sep == std::string::npos) {
      ADD_FAILURE() << path << ": cannot read " << line;
      continue;
    }
    cases.back().fields.emplace(line.substr(0, sep), GoldenUnescape(line.substr(sep + 2)));
  }
  return cases;
}
