// The computers and records of a gather's test network, for the tests that drive a gather from
// outside the gather's own test (the windows' run flows).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/network.h"
#include "platform/eventlog/eventlog.h"
#include "platform/registry/hive_image.h"
#include "platform/registry/registry.h"

namespace gathertest {


// Records of one log: `n` of them from `first` on, a new second every `perSecond` records, each
// with a serial of its own (so no two rows are alike) and the name `computer` in the record.
inline std::vector<platform::EventInput> Records(int n, DWORD first, const std::string& computer, int perSecond = 3,
                                                 int serial = 0) {
  std::vector<platform::EventInput> out;
  for (int i = 0; i < n; ++i) {
    platform::EventInput in;
    in.source = "Service Control Manager";
    in.computer = computer;
    in.timeGenerated = in.timeWritten = first + static_cast<DWORD>(i / perSecond);
    in.eventId = 7036;
    in.strings = {"Spooler", "#" + std::to_string(serial + i)};
    out.push_back(in);
  }
  return out;
}

inline void AddComputer(const std::string& name, const platform::HostInfo& host = {}) {
  platform::ImageSpec spec;
  spec.name = name;
  spec.host = host;
  ASSERT_EQ(platform::BuildComputerImage(spec), 0u) << name;
  // Logs of tens of thousands of records.
  platform::ComputerImage image;
  ASSERT_EQ(platform::FindComputer(name, image), 0u);
  for (const char* log : {"System", "Security", "Application"})
    ASSERT_EQ(platform::WriteImageValue(image, std::string("SYSTEM\\ControlSet001\\Services\\EventLog\\") + log, "MaxSize",
                                        platform::DwordValue(64 << 20)),
              0u);
}

inline void Append(const std::string& computer, const char* log, const std::vector<platform::EventInput>& records) {
  platform::ComputerImage image;
  platform::EventLogLocation location;
  ASSERT_EQ(platform::FindComputer(computer, image), 0u);
  ASSERT_EQ(platform::LocateImageEventLog(image, log, location), 0u);
  ASSERT_EQ(platform::AppendEventRecords(location, records), 0u) << computer << " " << log;
}

}  // namespace gathertest
