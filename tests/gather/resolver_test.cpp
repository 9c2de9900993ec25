// Message file resolution against computer images whose registries name the sources' files.
#include "gather/message_file_resolver.h"

#include <gtest/gtest.h>

#include "tests/platform/registry/registry_support.h"
#include "tests/support/golden.h"

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

TEST_F(ResolverTest, GoldenLookups) {
  bool ok = false;
  MessageFileResolver remote("SRV1", "System", ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(remote.lastRegistryError(), 0);
  EXPECT_EQ(remote.systemRoot(), "C:\\WINNT");
  EXPECT_EQ(remote.sourceCount(), 7u);
  MessageFileResolver local(nullptr, "System", ok);
  ASSERT_TRUE(ok);
  for (const GoldenCase& c : ReadGolden("gather/golden/message_files.txt")) {
    SCOPED_TRACE(c.name);
    const MessageFileResolver& r = c.Get("computer") == "local" ? local : remote;
    int32_t index = 7;
    if (!r.FindSource(c.Get("source").c_str(), index)) {
      EXPECT_EQ(index, -1);
    }
    FileList list;
    const std::string getter = c.Get("getter");
    bool got = getter == "event"      ? r.GetEventMessageFiles(index, list)
               : getter == "category" ? r.GetCategoryMessageFiles(index, list)
                                      : r.GetParameterMessageFiles(index, list);
    EXPECT_EQ(got, c.Number("found") != 0);
    EXPECT_EQ(list.paths, c.All("path"));
    EXPECT_EQ(list.count, list.paths.size());
  }
  for (const GoldenCase& c : ReadGolden("gather/golden/file_lists.txt")) {
    FileList list = (c.Get("computer") == "local" ? local : remote).ExpandFileList(c.Get("stored"));
    EXPECT_EQ(list.paths, c.All("path")) << c.name;
    EXPECT_EQ(list.count, list.paths.size()) << c.name;
  }
  FileList list;
  EXPECT_FALSE(remote.GetEventMessageFiles(7, list));
  EXPECT_FALSE(remote.GetEventMessageFiles(-1, list));
}

// The longest names a key can have, 255 and 765 bytes, are kept whole.
TEST_F(ResolverTest, LongestSourceNames) {
  bool ok = false;
  MessageFileResolver remote("SRV1", "System", ok);
  const std::pair<std::string, bool> cases[] = {
      {std::string(255, 'x'), true}, {std::string(254, 'x'), false}, {Euros(255), true}, {Euros(254), false}};
  for (const auto& [source, found] : cases) {
    int32_t index = -1;
    FileList list;
    EXPECT_EQ(remote.FindSource(source.c_str(), index) && remote.GetEventMessageFiles(index, list), found) << source.size();
  }
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

}  // namespace
