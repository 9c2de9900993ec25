// Shared pieces of the registry tests: a computer image with its four hives.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstring>
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

// A value of an image as the settings tests compare it: a string's text, a DWORD's number, or
// "(missing)".
inline std::string ImageValueText(const platform::ComputerImage& image, const std::string& key, const char* name) {
  platform::RegistryValue v;
  if (platform::ReadImageValue(image, key, name, v) != 0) return "(missing)";
  if (v.type != REG_DWORD) return platform::ValueText(v);
  DWORD d = 0;
  std::memcpy(&d, v.data.data(), std::min<size_t>(sizeof d, v.data.size()));
  return std::to_string(d);
}
