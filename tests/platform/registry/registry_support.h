// Shared pieces of the registry tests: a computer image with its four hives, and the
// independent readers used as oracles.
#pragma once

#include <cstdio>
#include <string>

#include "platform/registry/hive_file.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_network.h"

// Makes <network>/<name> with host.ini and four empty hives; returns the config folder.
inline std::string AddImageWithHives(const TempNetwork& net, const std::string& name,
                                     const platform::HostInfo& info = {}) {
  std::string dir = net.AddComputer(name, info);
  std::string config = dir + "/C/WINNT/System32/config";
  std::filesystem::create_directories(config);
  for (const char* hive : {"SAM", "SECURITY", "SOFTWARE", "SYSTEM"})
    EXPECT_EQ(platform::CreateHiveFile(config + "/" + hive, 0600), 0u) << hive;
  return config;
}

// Runs a shell command and returns its exit status and standard output.
inline int RunCommand(const std::string& command, std::string& output) {
  output.clear();
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) output.append(buf, n);
  int status = ::pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool HaveTool(const char* tool) {
  std::string out;
  return RunCommand(std::string("command -v ") + tool, out) == 0;
}
