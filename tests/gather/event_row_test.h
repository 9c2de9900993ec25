// An image with event log sources and their message DLLs, and records in the A layout, for
// the row builder's tests and benchmark.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "gather/event_log_reader.h"
#include "platform/accounts/accounts.h"
#include "platform/eventlog/eventlog.h"
#include "platform/eventlog/evt_format.h"
#include "platform/messages/message_dll_writer.h"
#include "platform/registry/hive_image.h"
#include "platform/registry/registry.h"

namespace rowtest {

struct RecordSpec {
  DWORD eventId = 0;
  WORD type = EVENTLOG_INFORMATION_TYPE;
  WORD category = 0;
  DWORD generated = 0, written = 0;
  std::string source = "Svc", computer = "SRV1";
  std::vector<uint8_t> sid{};
  std::vector<std::string> strings{};
  std::vector<uint8_t> data{};
};

// The record as ReadEventLogA lays it out, in 4-byte aligned storage.
inline std::vector<uint32_t> MakeRecord(const RecordSpec& s) {
  const auto disk = platform::evt::BuildRecord(
      {s.source, s.computer, s.generated, s.written, s.eventId, s.type, s.category, s.sid, s.strings, s.data}, 1);
  platform::evt::RecordParts parts;
  platform::evt::ParseRecord(disk.data(), static_cast<uint32_t>(disk.size()), parts);
  std::vector<uint32_t> out((platform::evt::AnsiSize(disk.data(), parts) + 3) / 4);
  platform::evt::WriteAnsi(disk.data(), parts, reinterpret_cast<uint8_t*>(out.data()));
  return out;
}

inline const EVENTLOGRECORD* Rec(const std::vector<uint32_t>& r) { return reinterpret_cast<const EVENTLOGRECORD*>(r.data()); }

inline void WriteDll(const std::string& path, const std::vector<platform::MessageDllMessage>& messages, bool ansi = false) {
  auto bytes = platform::WriteMessageDll({{0x0409, messages}}, {ansi, false});
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// SRV1 with an Application log whose sources are "Svc" (two event files, a category file and a
// parameter file), "NoFiles" (a key without values) and "Broken" (files that do not load).
inline void MakeImage(const std::string& network) {
  platform::ImageSpec spec;
  spec.name = "SRV1";
  platform::BuildComputerImage(spec);
  platform::ComputerImage c;
  platform::FindComputer("SRV1", c);
  const std::string log = "SYSTEM\\ControlSet001\\Services\\EventLog\\Application\\";
  auto value = [&](const std::string& src, const char* name, const std::string& text) {
    platform::WriteImageValue(c, log + src, name, platform::StringValue(REG_EXPAND_SZ, text), true);
  };
  value("Svc", "EventMessageFile", "%SystemRoot%\\System32\\svcmsg.dll;%SystemRoot%\\System32\\second.dll");
  value("Svc", "CategoryMessageFile", "%SystemRoot%\\System32\\cat.dll");
  value("Svc", "ParameterMessageFile", "%SystemRoot%\\System32\\param.dll;%SystemRoot%\\System32\\svcmsg.dll");
  platform::WriteImageValue(c, log + "NoFiles", "Other", platform::DwordValue(1), true);
  value("Broken", "EventMessageFile", ";%SystemRoot%\\System32\\missing.dll;%SystemRoot%\\System32\\config\\SYSTEM");
  value("Broken", "CategoryMessageFile", "%SystemRoot%\\System32\\missing.dll");
  const std::string sys = network + "/SRV1/C/WINNT/System32/";
  WriteDll(sys + "svcmsg.dll", {{7000, "The %1 service failed to start due to the following error: %n%2\r\n"},
                                {0xC0000010u, "Severe %1.\r\n"},
                                {5, "Logon of %1 from %2 failed: %3\r\n"},
                                {6, "%1%2|%%1|%0 dropped"},
                                {9, "No inserts.\r\n"},
                                {10, "Typical: %1 at %2 by %3\r\n"}});
  WriteDll(sys + "second.dll", {{8, "From the second file.\r\n"}}, true);
  std::string wide = std::string(200, 'x');  // 200 letters and 30 two-byte ones: more than a column holds
  for (int i = 0; i < 30; ++i) wide += "\xC3\xA9";
  WriteDll(sys + "cat.dll", {{1, "Logon/Logoff\r\n"}, {2, "X"}, {3, "Y\n"}, {4, "Z\r"}, {5, "Two\r\n\r\n"}, {6, wide + "\r\n"}});
  WriteDll(sys + "param.dll", {{1234, "parameter text"}, {99, "%%99"}, {98, "ab%%98"}, {97, "%%1234 and %%96"},
                               {96, "last"}});
}

// A reader of SRV1's Application log with its resolver, as Open leaves it.
inline std::unique_ptr<EventLogReader> MakeReader(const char* computer = "SRV1") {
  auto reader = std::make_unique<EventLogReader>(nullptr, "Application");
  std::snprintf(reader->computerName, sizeof reader->computerName, "%s", computer);
  bool ok = false;
  reader->resolver = std::make_unique<MessageFileResolver>(computer, "Application", ok);
  return reader;
}

}  // namespace rowtest
