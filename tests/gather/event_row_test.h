// An image with event log sources and their message DLLs, and records in the A layout, for
// the row builder's tests and benchmark.
#pragma once

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "gather/event_log_reader.h"
#include "platform/accounts/accounts.h"
#include "platform/eventlog/eventlog.h"
#include "platform/registry/hive_file.h"
#include "platform/messages/message_dll_writer.h"
#include "platform/registry/registry.h"

namespace rowtest {

struct RecordSpec {
  DWORD eventId = 0;
  WORD type = EVENTLOG_INFORMATION_TYPE;
  WORD category = 0;
  DWORD generated = 0, written = 0;
  std::string source = "Svc", computer = "SRV1";
  std::vector<uint8_t> sid;
  std::vector<std::string> strings;
  std::vector<uint8_t> data;
};

// The record as ReadEventLogA lays it out, in 4-byte aligned storage.
inline std::vector<uint32_t> MakeRecord(const RecordSpec& s) {
  std::vector<uint8_t> b(sizeof(EVENTLOGRECORD), 0);
  auto text = [&](const std::string& t) { b.insert(b.end(), t.begin(), t.end()); b.push_back(0); };
  auto pad = [&] { while (b.size() % 4) b.push_back(0); };
  text(s.source);
  text(s.computer);
  pad();
  DWORD sidOffset = static_cast<DWORD>(b.size());
  b.insert(b.end(), s.sid.begin(), s.sid.end());
  DWORD stringOffset = static_cast<DWORD>(b.size());
  for (const auto& t : s.strings) text(t);
  DWORD dataOffset = static_cast<DWORD>(b.size());
  b.insert(b.end(), s.data.begin(), s.data.end());
  pad();
  b.resize(b.size() + 4);
  EVENTLOGRECORD r = {};
  r.Length = static_cast<DWORD>(b.size());
  r.Reserved = 0x654c664c;
  r.RecordNumber = 1;
  r.TimeGenerated = s.generated;
  r.TimeWritten = s.written;
  r.EventID = s.eventId;
  r.EventType = s.type;
  r.NumStrings = static_cast<WORD>(s.strings.size());
  r.EventCategory = s.category;
  r.StringOffset = stringOffset;
  r.UserSidLength = static_cast<DWORD>(s.sid.size());
  r.UserSidOffset = sidOffset;
  r.DataLength = static_cast<DWORD>(s.data.size());
  r.DataOffset = dataOffset;
  std::memcpy(b.data(), &r, sizeof r);
  std::memcpy(b.data() + b.size() - 4, &r.Length, 4);
  std::vector<uint32_t> out(b.size() / 4);
  std::memcpy(out.data(), b.data(), b.size());
  return out;
}

inline const EVENTLOGRECORD* Rec(const std::vector<uint32_t>& r) { return reinterpret_cast<const EVENTLOGRECORD*>(r.data()); }

inline void WriteDll(const std::string& path, const std::vector<platform::MessageDllMessage>& messages, bool ansi = false) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  auto bytes = platform::WriteMessageDll({{0x0409, messages}}, {ansi, false});
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// SRV1 with an Application log whose sources are "Svc" (two event files, a category file and a
// parameter file), "NoFiles" (a key without values) and "Broken" (files that do not load).
inline void MakeImage(const std::string& network) {
  std::string root = network + "/SRV1";
  std::filesystem::create_directories(root + "/C/WINNT/System32/config");
  FILE* ini = std::fopen((root + "/host.ini").c_str(), "w");
  std::fputs("[host]\ndomain = LAB\nrole = server\n", ini);
  std::fclose(ini);
  platform::ComputerImage c;
  platform::FindComputer("SRV1", c);
  std::string file;
  for (const char* hive : {"SYSTEM", "SOFTWARE"}) {
    platform::ImageHiveFile(c, hive, file, true);
    platform::CreateHiveFile(file, 0644);
  }
  platform::WriteImageValue(c, "SYSTEM\\Select", "Current", platform::DwordValue(1), true);
  platform::WriteImageValue(c, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot",
                            platform::StringValue(REG_SZ, "C:\\WINNT"), true);
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
  const std::string sys = root + "/C/WINNT/System32/";
  WriteDll(sys + "svcmsg.dll", {{7000, "The %1 service failed to start due to the following error: %n%2\r\n"},
                                {0xC0000010u, "Severe %1.\r\n"},
                                {5, "Logon of %1 from %2 failed: %3\r\n"},
                                {6, "%1%2|%%1|%0 dropped"},
                                {9, "No inserts.\r\n"},
                                {10, "Typical: %1 at %2 by %3\r\n"}});
  WriteDll(sys + "second.dll", {{8, "From the second file.\r\n"}}, true);
  WriteDll(sys + "cat.dll", {{1, "Logon/Logoff\r\n"}, {2, "X"}, {3, "Y\n"}, {4, "Z\r"}, {5, "Two\r\n\r\n"}, {6, std::string(200, 'x') + "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\r\n"}});
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
