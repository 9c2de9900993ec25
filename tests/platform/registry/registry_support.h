// Shared pieces of the registry tests: a computer image with its four hives.
#pragma once

#include <cstdio>
#include <string>

#include "platform/registry/hive_file.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"

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
