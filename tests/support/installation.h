// An installed suite on the local computer of a test's network: the settings keys of both
// programs with "InstallPath" (and whatever a test adds), and the install folder.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "frame/app_state.h"
#include "platform/registry/hive_file.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_network.h"

class Installation {
 public:
  explicit Installation(const TempNetwork& net) : install(net.root() + "/install") {
    std::string config = net.AddComputer("ADMINPC") + "/C/WINNT/System32/config";
    std::filesystem::create_directories(config);
    std::filesystem::create_directories(install);
    EXPECT_EQ(platform::CreateHiveFile(config + "/SOFTWARE", 0600), 0u);
    EXPECT_EQ(platform::FindComputer("ADMINPC", local), 0u);
    for (Program p : {Program::Corvane, Program::Praxon})
      EXPECT_EQ(platform::WriteImageValue(local, Key(p), "InstallPath", platform::StringValue(REG_SZ, install), true), 0u);
  }

  static const char* Key(Program p) {
    return p == Program::Praxon ? "SOFTWARE\\Quillon\\Tallyard\\CurrentVersion\\Praxon"
                                : "SOFTWARE\\Quillon\\Tallyard\\CurrentVersion";
  }
  // A string value's text, a DWORD as its number, "" when the value is absent.
  std::string Stored(Program p, const char* name) const {
    platform::RegistryValue v;
    if (platform::ReadImageValue(local, Key(p), name, v) != 0) return "";
    DWORD d = 0;
    std::memcpy(&d, v.data.data(), std::min<size_t>(4, v.data.size()));
    return v.type == REG_DWORD ? std::to_string(d) : platform::ValueText(v);
  }

  std::string install;
  platform::ComputerImage local;
};
