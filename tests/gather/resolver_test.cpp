// Message file resolution against computer images whose registries name the sources' files.
#include "gather/message_file_resolver.h"

#include <gtest/gtest.h>

#include "tests/platform/registry/registry_support.h"

using namespace platform;

namespace {

const std::string kLogs = "SYSTEM\\ControlSet001\\Services\\EventLog\\";

void SetText(const ComputerImage& c, const std::string& key, const char* value, const std::string& text) {
  ASSERT_EQ(WriteImageValue(c, key, value, StringValue(REG_EXPAND_SZ, text), true), 0u);
}

// `n` euro signs: three bytes each in UTF-8, one character each in a key name.
std::string Euros(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += "\xE2\x82\xAC";
  return s;
}

// An image whose System log has these sources, in this order.
void AddSources(const TempNetwork& net, const std::string& name, bool withSystemRoot = true) {
  AddImageWithHives(net, name);
  ComputerImage c;
  ASSERT_EQ(FindComputer(name, c), 0u);
  ASSERT_EQ(WriteImageValue(c, "SYSTEM\\Select", "Current", DwordValue(1), true), 0u);
  SetText(c, kLogs + "System\\NetLogon", "EventMessageFile", "%SystemRoot%\\System32\\netmsg.dll");
  SetText(c, kLogs + "System\\NetLogon", "CategoryMessageFile", "%systemroot%\\System32\\cat.dll");
  SetText(c, kLogs + "System\\NetLogon", "ParameterMessageFile", "kernel32.dll");
  SetText(c, kLogs + "System\\Service Control Manager", "EventMessageFile",
          "%SystemRoot%\\System32\\a.dll;%SystemRoot%\\System32\\b.dll");
  ASSERT_EQ(ChangeImageKey(c, kLogs + "System\\Bare", true, [](Hive&, HiveNode) { return DWORD{0}; }), 0u);
  SetText(c, kLogs + "System\\Remote", "EventMessageFile", "D:\\Apps\\msg.dll");
  SetText(c, kLogs + "System\\Odd", "EventMessageFile", "a.dll;;\\\\FILES\\share\\m.dll;");
  SetText(c, kLogs + "System\\Odd", "CategoryMessageFile", "%SystemRoot%");
  SetText(c, kLogs + "System\\" + std::string(255, 'x'), "EventMessageFile", "long.dll");
  SetText(c, kLogs + "System\\" + Euros(255), "EventMessageFile", "wide.dll");
  ASSERT_EQ(ChangeImageKey(c, kLogs + "Empty", true, [](Hive&, HiveNode) { return DWORD{0}; }), 0u);
  if (withSystemRoot) {
    ASSERT_EQ(WriteImageValue(c, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot",
                              StringValue(REG_SZ, "C:\\WINNT"), true),
              0u);
  }
}

class ResolverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AddSources(net, "SRV1");
    AddImageWithHives(net, "ADMINPC");  // the local machine: a registry without those sources
    ComputerImage local;
    ASSERT_EQ(FindComputer("ADMINPC", local), 0u);
    ASSERT_EQ(WriteImageValue(local, "SYSTEM\\Select", "Current", DwordValue(1), true), 0u);
    SetText(local, kLogs + "System\\EventLog", "EventMessageFile", "%SystemRoot%\\System32\\netevent.dll");
    ASSERT_EQ(WriteImageValue(local, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot",
                              StringValue(REG_SZ, "C:\\WINDOWS"), true),
              0u);
  }
  TempNetwork net;
};

enum class Getter { Event, Category, Parameter };

TEST_F(ResolverTest, Lookups) {
  bool ok = false;
  MessageFileResolver remote("SRV1", "System", ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(remote.lastRegistryError(), 0);
  EXPECT_EQ(remote.systemRoot(), "C:\\WINNT");
  EXPECT_EQ(remote.sourceCount(), 7u);
  MessageFileResolver local(nullptr, "System", ok);
  ASSERT_TRUE(ok);
  const std::string longest(255, 'x'), cut(254, 'x'), euros = Euros(255), cutEuros = Euros(254);

  struct Case {
    const MessageFileResolver* resolver;
    const char* source;
    Getter getter;
    bool found;
    std::vector<std::string> paths;
  } cases[] = {
      {&remote, "netlogon", Getter::Event, true, {"\\\\SRV1\\C$\\WINNT\\System32\\netmsg.dll"}},
      {&remote, "NETLOGON", Getter::Category, true, {"\\\\SRV1\\C$\\WINNT\\System32\\cat.dll"}},
      {&remote, "NetLogon", Getter::Parameter, true, {"kernel32.dll"}},
      {&remote, "Service Control Manager", Getter::Event, true,
       {"\\\\SRV1\\C$\\WINNT\\System32\\a.dll", "\\\\SRV1\\C$\\WINNT\\System32\\b.dll"}},
      {&remote, "Service Control Manager", Getter::Category, false, {}},
      {&remote, "Bare", Getter::Event, false, {}},
      {&remote, "Remote", Getter::Event, true, {"\\\\SRV1\\D$\\Apps\\msg.dll"}},
      {&remote, "Odd", Getter::Event, true, {"a.dll", "", "\\\\FILES\\share\\m.dll", ""}},
      {&remote, "Odd", Getter::Category, true, {"%SystemRoot%"}},
      {&remote, "NoSuchSource", Getter::Event, false, {}},
      {&remote, "NetLogo", Getter::Event, false, {}},
      // The longest names a key can have, 255 and 765 bytes, are kept whole.
      {&remote, longest.c_str(), Getter::Event, true, {"long.dll"}},
      {&remote, cut.c_str(), Getter::Event, false, {}},
      {&remote, euros.c_str(), Getter::Event, true, {"wide.dll"}},
      {&remote, cutEuros.c_str(), Getter::Event, false, {}},
      // The local registry: drive paths stay, and sources of the gathered computer are unknown.
      {&local, "EventLog", Getter::Event, true, {"C:\\WINDOWS\\System32\\netevent.dll"}},
      {&local, "NetLogon", Getter::Event, false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.source).substr(0, 30));
    int32_t index = 7;
    bool foundSource = c.resolver->FindSource(c.source, index);
    FileList list;
    bool got = false;
    if (c.getter == Getter::Event) got = c.resolver->GetEventMessageFiles(index, list);
    if (c.getter == Getter::Category) got = c.resolver->GetCategoryMessageFiles(index, list);
    if (c.getter == Getter::Parameter) got = c.resolver->GetParameterMessageFiles(index, list);
    EXPECT_EQ(got, c.found);
    EXPECT_EQ(list.paths, c.paths);
    EXPECT_EQ(list.count, c.paths.size());
    if (!foundSource) {
      EXPECT_EQ(index, -1);
    }
  }
  FileList list;
  EXPECT_FALSE(remote.GetEventMessageFiles(7, list));
  EXPECT_FALSE(remote.GetEventMessageFiles(-1, list));
}

TEST_F(ResolverTest, ConstructionOutcomes) {
  platform::HostInfo off;
  off.online = false;
  net.AddComputer("OFF", off);
  AddSources(net, "NOROOT", false);
  platform::HostInfo denied;
  denied.deny = {"registry"};
  AddImageWithHives(net, "DENIED", denied);
  struct Case {
    const char* computer;
    const char* log;
    bool ok;
    int32_t error;
    DWORD sources;
  } cases[] = {
      {"SRV1", "Empty", true, 0, 0},                      // a log without sources is still ok
      {"SRV1", "Security", false, ERROR_FILE_NOT_FOUND, 0},  // no such log key
      {"NOWHERE", "System", false, ERROR_BAD_NETPATH, 0},
      {"OFF", "System", false, ERROR_BAD_NETPATH, 0},
      {"DENIED", "System", false, ERROR_ACCESS_DENIED, 0},
      {"NOROOT", "System", false, ERROR_FILE_NOT_FOUND, 7},  // sources read, SystemRoot missing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.computer) + " " + c.log);
    size_t handles = LiveHandleCount();
    bool ok = !c.ok;
    MessageFileResolver r(c.computer, c.log, ok);
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(r.lastRegistryError(), c.error);
    EXPECT_EQ(r.sourceCount(), c.sources);
    EXPECT_EQ(LiveHandleCount(), handles);  // every key closed on every path
  }
}

TEST_F(ResolverTest, ExpandFileList) {
  bool ok = false;
  MessageFileResolver remote("SRV1", "System", ok);
  MessageFileResolver local(nullptr, "System", ok);
  const struct {
    const MessageFileResolver* r;
    const char* stored;
    std::vector<std::string> paths;
  } cases[] = {
      {&remote, "a.dll;;b.dll", {"a.dll", "", "b.dll"}},
      {&remote, "a.dll;", {"a.dll", ""}},
      {&remote, "", {""}},
      {&remote, " x.dll ; y.dll", {" x.dll ", " y.dll"}},
      {&remote, "%SYSTEMROOT%\\x.dll", {"\\\\SRV1\\C$\\WINNT\\x.dll"}},
      {&remote, "%SystemRoot%", {"%SystemRoot%"}},
      {&remote, "C:\\%SystemRoot%\\x.dll", {"\\\\SRV1\\C$\\%SystemRoot%\\x.dll"}},
      {&remote, "%WinDir%\\x.dll", {"%WinDir%\\x.dll"}},
      {&remote, "\\\\OTHER\\C$\\x.dll", {"\\\\OTHER\\C$\\x.dll"}},
      {&local, "%SystemRoot%\\x.dll;D:\\y.dll", {"C:\\WINDOWS\\x.dll", "D:\\y.dll"}},
  };
  for (const auto& c : cases) {
    FileList list = c.r->ExpandFileList(c.stored);
    EXPECT_EQ(list.paths, c.paths) << c.stored;
    EXPECT_EQ(list.count, c.paths.size()) << c.stored;
  }
}

}  // namespace
