// Computers whose audit policy value a test chooses, for the LSA's tests and the audit run's.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "tests/platform/registry/registry_support.h"

constexpr char kPolicyKey[] = "SECURITY\\Policy\\PolAdtEv";

// A PolAdtEv value: mode and padding (4 bytes), the options, then their count.
inline std::string Lay(std::string head, std::initializer_list<uint32_t> options) {
  auto put = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) head.push_back(static_cast<char>(v >> (8 * i)));
  };
  for (uint32_t o : options) put(o);
  put(static_cast<uint32_t>(options.size()));
  return head;
}

// NT 4.0 auditing everything, with the garbage padding ("21 14 00") real values carry.
inline const std::string kNt4AuditAll = Lay(std::string("\x01\x21\x14\x00", 4), {3, 3, 3, 3, 3, 3, 3});

inline platform::ComputerImage AddPolicyComputer(const TempNetwork& net, const std::string& name, const std::string& value,
                                                 const platform::HostInfo& host = {}) {
  AddImageWithHives(net, name, host);
  platform::ComputerImage image;
  EXPECT_EQ(platform::FindComputer(name, image), 0u);
  EXPECT_EQ(platform::WriteImageValue(image, kPolicyKey, "", {REG_NONE, value}, true), 0u);
  return image;
}

inline std::string PolicyValue(const platform::ComputerImage& image) {
  platform::RegistryValue v;
  EXPECT_EQ(platform::ReadImageValue(image, kPolicyKey, "", v), 0u);
  return v.data;
}

inline std::string SecurityHive(const platform::ComputerImage& image) {
  std::string file;
  EXPECT_EQ(platform::ImageHiveFile(image, "SECURITY", file), 0u);
  return file;
}
