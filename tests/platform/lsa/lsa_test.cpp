// The LSA over images: the open's answers and the status mapping, both known layouts read and
// written byte for byte under the set's rules, handle rights, unknown layouts never touched.
#include "platform/lsa/lsa.h"

#include <gtest/gtest.h>

#include "tests/platform/lsa/lsa_support.h"

namespace {

using Read = std::vector<DWORD>;  // a query's mode and options, or its failing status alone

NTSTATUS Open(std::u16string name, LSA_HANDLE& handle, ACCESS_MASK access = POLICY_ALL_ACCESS) {
  LSA_UNICODE_STRING s{USHORT(name.size() * 2), USHORT(name.size() * 2 + 2), reinterpret_cast<PWSTR>(name.data())};
  LSA_OBJECT_ATTRIBUTES attributes{};
  return LsaOpenPolicy(name == u"(none)" ? nullptr : &s, &attributes, access, &handle);
}

Read Query(LSA_HANDLE handle) {
  PVOID buffer = nullptr;
  if (NTSTATUS s = LsaQueryInformationPolicy(handle, PolicyAuditEventsInformation, &buffer)) return {DWORD(s)};
  const auto& info = *static_cast<POLICY_AUDIT_EVENTS_INFO*>(buffer);
  Read out{info.AuditingMode};
  out.insert(out.end(), info.EventAuditingOptions, info.EventAuditingOptions + info.MaximumAuditEventCount);
  EXPECT_EQ(LsaFreeMemory(buffer), STATUS_SUCCESS);
  return out;
}

NTSTATUS Set(LSA_HANDLE handle, BOOLEAN mode, std::vector<DWORD> options) {
  POLICY_AUDIT_EVENTS_INFO info{mode, options.data(), DWORD(options.size())};
  return LsaSetInformationPolicy(handle, PolicyAuditEventsInformation, &info);
}

TEST(LsaTest, OpenAnswersAsTheNetworkDoes) {
  TempNetwork net;
  platform::HostInfo off, denied;
  off.online = false;
  denied.deny = {"lsa-open"};
  for (const char* name : {"SRV1", "ADMINPC"}) AddPolicyComputer(net, name, kNt4AuditAll);
  AddPolicyComputer(net, "OFF", kNt4AuditAll, off);
  AddPolicyComputer(net, "DENIED", kNt4AuditAll, denied);
  const std::pair<std::u16string, NTSTATUS> cases[] = {
      {u"\\\\srv1", STATUS_SUCCESS}, {u"", STATUS_SUCCESS}, {u"(none)", STATUS_SUCCESS},  // both: this computer
      {u"GHOST", RPC_NT_SERVER_UNAVAILABLE}, {u"OFF", RPC_NT_SERVER_UNAVAILABLE},
      {std::u16string(u"ADMINPC\0X", 9), RPC_NT_SERVER_UNAVAILABLE}, {u"DENIED", STATUS_ACCESS_DENIED}};
  for (const auto& [name, status] : cases) {
    LSA_HANDLE handle = &net;  // a sentinel: failures leave it
    EXPECT_EQ(Open(name, handle), status) << name.size();
    if (status != STATUS_SUCCESS) {
      EXPECT_EQ(handle, &net);
      continue;
    }
    EXPECT_EQ(LsaClose(handle), STATUS_SUCCESS);
    EXPECT_EQ(LsaClose(handle), STATUS_INVALID_HANDLE);
  }
  const std::pair<uint32_t, DWORD> statuses[] = {{0xD0020017, RPC_S_SERVER_UNAVAILABLE}, {0xC0000058, ERROR_UNKNOWN_REVISION},
      {0xE0001234, 0xE0001234}, {0x80070005, ERROR_ACCESS_DENIED}, {0xC0001234, ERROR_MR_MID_NOT_FOUND}};
  for (auto [status, error] : statuses) EXPECT_EQ(LsaNtStatusToWinError(NTSTATUS(status)), error) << std::hex << status;
}

// Each case stores a value, reads it and sends one set; a refused set leaves the hive file as it was.
TEST(LsaTest, SetsFollowTheLsaRulesAndKeepWhatTheyDoNotTouch) {
  TempNetwork net;
  const std::string on("\x01\0\0\0", 4), xp = Lay(on, {1, 2, 3, 0, 0, 0, 1, 3, 2});
  const Read nt4All{1, 3, 3, 3, 3, 3, 3, 3}, unknown{DWORD(STATUS_UNKNOWN_REVISION)};
  const struct {
    std::string stored;
    Read read;
    BOOLEAN mode;
    std::vector<DWORD> sent;  // 0 leaves, 1 and 2 are added, 4 clears first
    NTSTATUS status;
    std::string expected;
  } cases[] = {
      {kNt4AuditAll, nt4All, 0, {0, 1, 2, 4, 5, 6, 7}, 0, Lay(std::string("\0\x21\x14\0", 4), {3, 3, 3, 0, 1, 2, 3})},
      {xp, {1, 1, 2, 3, 0, 0, 0, 1, 3, 2}, 1, {4, 4}, 0, Lay(on, {0, 0, 3, 0, 0, 0, 1, 3, 2})},
      {kNt4AuditAll, nt4All, 1, {4, 4, 4, 4, 4, 4, 4, 4, 4}, STATUS_INVALID_PARAMETER, ""},
      {std::string(136, '\x02'), unknown, 1, {4}, STATUS_UNKNOWN_REVISION, ""},  // as later Windows versions keep it
      {xp.substr(0, 32) + std::string("\x09\0\0\0", 4), unknown, 1, {4}, STATUS_UNKNOWN_REVISION, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    platform::ComputerImage image = AddPolicyComputer(net, "SRV1", c.stored);
    const std::string before = TempNetwork::ReadFile(SecurityHive(image));
    LSA_HANDLE handle = nullptr;
    ASSERT_EQ(Open(u"SRV1", handle), STATUS_SUCCESS);
    LSA_HANDLE viewOnly = nullptr;
    ASSERT_EQ(Open(u"SRV1", viewOnly, POLICY_VIEW_AUDIT_INFORMATION), STATUS_SUCCESS);
    EXPECT_EQ(Query(viewOnly), c.read);
    EXPECT_EQ(Set(viewOnly, c.mode, c.sent), STATUS_ACCESS_DENIED);
    EXPECT_EQ(Set(handle, c.mode, c.sent), c.status);
    EXPECT_EQ(LsaClose(handle) | LsaClose(viewOnly), STATUS_SUCCESS);
    EXPECT_EQ(c.status ? TempNetwork::ReadFile(SecurityHive(image)) : PolicyValue(image), c.status ? before : c.expected);
  }
}

}  // namespace
