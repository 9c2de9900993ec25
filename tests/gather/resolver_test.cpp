// Message file resolution against computer images whose registries name the sources' files.
#include "gather/message_file_resolver.h"

#include <gtest/gtest.h>

#include <tuple>

#include "tests/platform/registry/registry_support.h"
#include "tests/support/golden.h"

using namespace platform;

namespace {

const std::string kLogs = "SYSTEM\\ControlSet001\\Services\\EventLog\\";

// `n` euro signs: three bytes each in UTF-8, one character each in a key name.
std::string Euros(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += "\xE2\x82\xAC";
  return s;
}

// An image whose System log has these sources, in this order; `systemRoot` empty for none.
void AddSources(const TempNetwork& net, const std::string& name, const std::string& systemRoot,
                std::vector<std::tuple<std::string, const char*, std::string>> values) {
  AddImageWithHives(net, name);
  ComputerImage c;
  ASSERT_EQ(FindComputer(name, c), 0u);
  ASSERT_EQ(WriteImageValue(c, "SYSTEM\\Select", "Current", DwordValue(1), true), 0u);
  for (const auto& [key, value, text] : values)
    ASSERT_EQ(text.empty() ? ChangeImageKey(c, kLogs + key, true, [](Hive&, HiveNode) { return DWORD{0}; })
                           : WriteImageValue(c, kLogs + key, value, StringValue(REG_EXPAND_SZ, text), true), 0u);
  if (!systemRoot.empty()) {
    ASSERT_EQ(WriteImageValue(c, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot",
                              StringValue(REG_SZ, systemRoot), true), 0u);
  }
}

class ResolverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"SRV1", "NOROOT"})
      AddSources(net, name, name[0] == 'S' ? "C:\\WINNT" : "",
                 {{"System\\NetLogon", "EventMessageFile", "%SystemRoot%\\System32\\netmsg.dll"},
                  {"System\\NetLogon", "CategoryMessageFile", "%systemroot%\\System32\\cat.dll"},
                  {"System\\NetLogon", "ParameterMessageFile", "kernel32.dll"},
                  {"System\\Service Control Manager", "EventMessageFile", "%SystemRoot%\\System32\\a.dll;%SystemRoot%\\System32\\b.dll"},
                  {"System\\Bare", "", ""},
                  {"System\\Remote", "EventMessageFile", "D:\\Apps\\msg.dll"},
                  {"System\\Odd", "EventMessageFile", "a.dll;;\\\\FILES\\share\\m.dll;"},
                  {"System\\Odd", "CategoryMessageFile", "%SystemRoot%"},
                  {"System\\" + std::string(255, 'x'), "EventMessageFile", "long.dll"},
                  {"System\\" + Euros(255), "EventMessageFile", "wide.dll"},
                  {"Empty", "", ""}});
    // The local machine: a registry without those sources.
    AddSources(net, "ADMINPC", "C:\\WINDOWS", {{"System\\EventLog", "EventMessageFile", "%SystemRoot%\\System32\\netevent.dll"}});
  }
  TempNetwork net;
};

TEST_F(ResolverTest, GoldenLookups) {
  bool ok = false;
  MessageFileResolver remote("SRV1", "System", ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(remote.systemRoot(), "C:\\WINNT");
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
  }
  FileList list;
  EXPECT_FALSE(remote.GetEventMessageFiles(7, list));
  EXPECT_FALSE(remote.GetEventMessageFiles(-1, list));
  // The longest names a key can have, 255 and 765 bytes, are kept whole.
  for (const auto& [source, found] : {std::pair{std::string(255, 'x'), true}, {std::string(254, 'x'), false},
                                      {Euros(255), true}, {Euros(254), false}}) {
    int32_t index = -1;
    EXPECT_EQ(remote.FindSource(source.c_str(), index) && remote.GetEventMessageFiles(index, list), found) << source.size();
  }
}

TEST_F(ResolverTest, ConstructionOutcomes) {
  net.AddComputer("OFF", HostThat(false));
  AddImageWithHives(net, "DENIED", HostThat(true, {"registry"}));
  const struct {
    const char* computer;
    const char* log;
    bool ok;
    int32_t error;
    DWORD sources;
  } cases[] = {
      {"SRV1", "System", true, 0, 7},
      {"SRV1", "Empty", true, 0, 0},                         // a log without sources is still ok
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
    EXPECT_EQ(std::tuple(ok, r.lastRegistryError(), r.sourceCount()), std::tuple(c.ok, c.error, c.sources));
    EXPECT_EQ(LiveHandleCount(), handles);  // every key closed on every path
  }
}

}  // namespace
