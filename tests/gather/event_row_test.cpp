// The row builder: each value of the row (sources with and without
// files, inserts, parameter messages, categories, fallbacks, times, data), the text expansions
// on their own, and the loops over outside text that must end.
#include "tests/gather/event_row_test.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "gather/event_row.h"
#include "tests/support/temp_network.h"

namespace {

using rowtest::MakeRecord;
using rowtest::Rec;
using rowtest::RecordSpec;

class EventRowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rowtest::MakeImage(net_.network());
    reader_ = rowtest::MakeReader();
    ASSERT_EQ(reader_->resolver->lastRegistryError(), 0);
    ASSERT_EQ(reader_->resolver->sourceCount(), 3u);
    handles_ = platform::LiveHandleCount();
  }
  void TearDown() override { EXPECT_EQ(platform::LiveHandleCount(), handles_); }

  BuiltEventRow Build(const RecordSpec& spec) {
    record_ = MakeRecord(spec);
    return BuildEventRow(*reader_, Rec(record_));
  }
  std::string Description(const RecordSpec& spec) {
    BuiltEventRow row = Build(spec);
    EXPECT_EQ(row.row.descriptionLength, std::strlen(row.row.description));
    return std::string(row.row.description, row.row.descriptionLength);
  }

  TempNetwork net_;
  std::unique_ptr<EventLogReader> reader_;
  std::vector<uint32_t> record_;
  size_t handles_ = 0;
};

TEST_F(EventRowTest, Descriptions) {
  struct Case {
    const char* name;
    RecordSpec spec;
    std::string expected;
  };
  auto spec = [](const char* source, DWORD id, std::vector<std::string> strings) {
    RecordSpec s;
    s.source = source;
    s.eventId = id;
    s.strings = std::move(strings);
    return s;
  };
  const Case cases[] = {
      {"two inserts and a parameter", spec("Svc", 7000, {"Alerter", "%%1234"}),
       "The Alerter service failed to start due to the following error: \r\nparameter text\r\n"},
      {"source matched without case", spec("svc", 7000, {"A", "B"}),
       "The A service failed to start due to the following error: \r\nB\r\n"},
      {"insert beyond the strings stays", spec("Svc", 5, {"alice", "WS1"}), "Logon of alice from WS1 failed: %3\r\n"},
      {"adjacent inserts, %%1 kept, %0 ends the text", spec("Svc", 6, {"a", "b"}), "ab|%%1|"},
      {"no strings: the text as returned", spec("Svc", 9, {}), "No inserts.\r\n"},
      {"no strings, inserts stay", spec("Svc", 5, {}), "Logon of %1 from %2 failed: %3\r\n"},
      {"the whole 32-bit id is looked up", spec("Svc", 0xC0000010u, {"x"}), "Severe x.\r\n"},
      {"low word alone is another id", spec("Svc", 0x40000010u, {}),
       "The description for Event ID ( 16 ) in Source ( Svc ) could not be found."},
      {"the second file of the list (ANSI)", spec("Svc", 8, {}), "From the second file.\r\n"},
      {"missing event with strings", spec("Svc", 4242, {"a", "b", "c"}),
       "The description for Event ID ( 4242 ) in Source( Svc ) could not be found. It contains the following "
       "insertion string(s): a b c "},
      {"unknown source, parameters not expanded", spec("Ghost", 1, {"%%1234"}),
       "The description for Event ID ( 1 ) in Source( Ghost ) could not be found. It contains the following "
       "insertion string(s): %%1234 "},
      {"source without files", spec("NoFiles", 7000, {}),
       "The description for Event ID ( 7000 ) in Source ( NoFiles ) could not be found."},
      {"files that do not load", spec("Broken", 7000, {"x"}),
       "The description for Event ID ( 7000 ) in Source( Broken ) could not be found. It contains the following "
       "insertion string(s): x "},
      {"parameter message naming itself", spec("Svc", 5, {"%%99", "ab"}), "Logon of %%99 from ab failed: %3\r\n"},
      // The search goes on two characters into the inserted text, so a reference right at its
      // start stays; later ones are expanded.
      {"parameters naming parameters", spec("Svc", 5, {"%%97", "-"}),
       "Logon of %%1234 and last from - failed: %3\r\n"},
      {"a missing parameter stops the expansion", spec("Svc", 5, {"%%5555 %%1234", "-"}),
       "Logon of %%5555 %%1234 from - failed: %3\r\n"},
      {"%% at the end of a string", spec("Svc", 5, {"x%%", "%%0"}), "Logon of x%% from %%0 failed: %3\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Description(c.spec), c.expected);
  }
}

TEST_F(EventRowTest, AGrowingParameterMessageIsBounded) {
  RecordSpec s;
  s.source = "Svc";
  s.eventId = 5;
  s.strings = {"%%98", "b"};
  std::string d = Description(s);
  // "ab%%98" re-expands two characters further on each time: a bounded number of times.
  EXPECT_LT(d.size(), 4u * kMaxParameterExpansions + 100);
  EXPECT_NE(d.find("abababab"), std::string::npos);
}

// A registry that names a native or relative path, or a native system root, never opens a file
// of the gathering machine: the row gets the fallback text. Drive paths still open inside the
// image, for a named computer and for the local one.
TEST_F(EventRowTest, MessageFilesOutsideTheImageAreNotLoaded) {
  const std::string host = net_.root() + "/host";
  rowtest::WriteDll(host + "/host.dll", {{7000, "From the host.\r\n"}});
  rowtest::WriteDll(host + "/System32/svcmsg.dll", {{7000, "From the host.\r\n"}});
  rowtest::WriteDll(net_.network() + "/SRV1/C/WINNT/System32/own.dll", {{7000, "From the image.\r\n"}});
  platform::ComputerImage c;
  ASSERT_EQ(platform::FindComputer("SRV1", c), 0u);
  const std::string log = "SYSTEM\\ControlSet001\\Services\\EventLog\\Application\\";
  auto set = [&](const std::string& key, const char* value, DWORD type, const std::string& text) {
    ASSERT_EQ(platform::WriteImageValue(c, key, value, platform::StringValue(type, text), true), 0u);
  };
  set(log + "Native", "EventMessageFile", REG_EXPAND_SZ, host + "/host.dll");
  set(log + "Relative", "EventMessageFile", REG_EXPAND_SZ, "host.dll");
  set(log + "Slashes", "EventMessageFile", REG_EXPAND_SZ, "/" + host + "/host.dll");
  set(log + "Drive", "EventMessageFile", REG_EXPAND_SZ, "C:\\WINNT\\System32\\own.dll");
  // The working folder is where a relative name would find host.dll; put back on every path.
  struct WorkingFolder {
    std::filesystem::path before = std::filesystem::current_path();
    ~WorkingFolder() { std::filesystem::current_path(before); }
  } workingFolder;
  std::filesystem::current_path(host);
  auto fallback = [](const std::string& source) {
    return "The description for Event ID ( 7000 ) in Source ( " + source + " ) could not be found.";
  };
  const struct {
    const char* source;
    bool nativeRoot;
    std::string expected;
  } cases[] = {
      {"Native", false, fallback("Native")},   {"Relative", false, fallback("Relative")},
      {"Slashes", false, fallback("Slashes")}, {"Drive", false, "From the image.\r\n"},
      {"Svc", true, fallback("Svc")},          {"Drive", true, "From the image.\r\n"},
  };
  for (bool local : {false, true}) {
    for (const auto& k : cases) {
      SCOPED_TRACE(std::string(k.source) + (local ? " local" : " SRV1") + (k.nativeRoot ? " native root" : ""));
      set("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot", REG_SZ,
          k.nativeRoot ? host : "C:\\WINNT");
      ::setenv("COMPUTERNAME", local ? "SRV1" : "ADMINPC", 1);
      reader_ = rowtest::MakeReader();
      bool ok = false;
      if (local) reader_->resolver = std::make_unique<MessageFileResolver>(nullptr, "Application", ok);
      ASSERT_EQ(reader_->resolver->lastRegistryError(), 0);
      RecordSpec s;
      s.source = k.source;
      s.eventId = 7000;
      EXPECT_EQ(Description(s), k.expected);
    }
  }
  ::setenv("COMPUTERNAME", "ADMINPC", 1);
}

TEST_F(EventRowTest, Categories) {
  struct Case {
    const char* source;
    WORD category;
    const char* expected;
  };
  const Case cases[] = {
      {"Svc", 1, "Logon/Logoff"}, {"Svc", 2, "X"},   {"Svc", 3, "Y"},     {"Svc", 4, "Z"},
      {"Svc", 5, "Two\r\n"},      {"Svc", 0, "None"}, {"Svc", 77, "None"}, {"NoFiles", 1, "Not found."},
      {"Ghost", 1, "Not found."}, {"Broken", 1, "None"},
  };
  for (const Case& c : cases) {
    RecordSpec s;
    s.source = c.source;
    s.category = c.category;
    EXPECT_STREQ(Build(s).row.category, c.expected) << c.source << " " << c.category;
  }
  // 200 letters and 30 two-byte ones: more than the column holds, so it is cut, never split
  // inside a character (not refused and stored as "None").
  RecordSpec s;
  s.category = 6;
  std::string category = Build(s).row.category;
  EXPECT_EQ(category.size(), 254u);
  EXPECT_EQ(category.substr(0, 200), std::string(200, 'x'));
  EXPECT_EQ(category.substr(252), "\xC3\xA9");
}

TEST_F(EventRowTest, EveryOtherValue) {
  ::setenv("TZ", "<+01>-1", 1);
  ::tzset();
  RecordSpec s;
  s.eventId = 0xC0000010u;
  s.type = EVENTLOG_AUDIT_SUCCESS;
  s.generated = 0;
  s.written = 86400;
  s.computer = "SRV1-RECORDED";
  s.sid = platform::MakeSid(5, {18});
  s.data = {1, 2, 3};
  BuiltEventRow row = Build(s);
  EXPECT_STREQ(row.row.workstation, "SRV1");
  EXPECT_EQ(row.row.eventDate.year, 1970);
  EXPECT_EQ(row.row.eventDate.hour, 1);
  EXPECT_EQ(row.row.eventDate.fraction, 1000u);
  EXPECT_EQ(row.row.recordDate.day, 2);
  EXPECT_STREQ(row.row.source, "Svc");
  EXPECT_STREQ(row.row.computer, "SRV1-RECORDED");
  EXPECT_STREQ(row.row.userName, "SYSTEM");
  EXPECT_STREQ(row.row.type, "Success Audit");
  EXPECT_EQ(row.row.eventID, 16u);
  ASSERT_EQ(row.row.dataLength, 3u);
  EXPECT_EQ(row.row.data[2], 3);
  ::unsetenv("TZ");
  ::tzset();

  // Moving the row keeps its pointers valid.
  BuiltEventRow moved = std::move(row);
  EXPECT_STREQ(moved.row.description, "Severe %1.\r\n");
  EXPECT_EQ(moved.row.data, moved.data.get());

  RecordSpec plain;
  plain.type = 0;
  BuiltEventRow other = Build(plain);
  EXPECT_EQ(other.row.dataLength, 0u);
  EXPECT_EQ(other.row.data, nullptr);
  EXPECT_STREQ(other.row.userName, "");
  EXPECT_STREQ(other.row.type, "Unknown type 0");
}

TEST_F(EventRowTest, LongAndDamagedFieldsAreCut) {
  RecordSpec s;
  s.source = std::string(300, 's');
  s.computer = std::string(60, 'c') + "\xC3\xA9";
  s.eventId = 1;
  s.strings = {"x"};
  BuiltEventRow row = Build(s);
  EXPECT_EQ(std::strlen(row.row.source), 254u);
  EXPECT_EQ(std::strlen(row.row.computer), 49u);
  // The fallback names the whole source, not the cut one.
  EXPECT_NE(std::string(row.row.description).find(std::string(300, 's')), std::string::npos);

  // A SID that claims more bytes than the record holds, and data beyond the record.
  RecordSpec bad;
  bad.sid = platform::MakeSid(5, {18});
  bad.data = {9, 9};
  record_ = MakeRecord(bad);
  auto* r = reinterpret_cast<EVENTLOGRECORD*>(record_.data());
  r->UserSidLength = 4000;
  r->DataLength = 5000;
  BuiltEventRow damaged = BuildEventRow(*reader_, r);
  EXPECT_STREQ(damaged.row.userName, "");
  EXPECT_EQ(damaged.row.data, nullptr);
  // Strings whose count runs past the record end at its end.
  r->UserSidLength = 0;
  r->NumStrings = 500;
  r->EventID = 4242;
  BuiltEventRow many = BuildEventRow(*reader_, r);
  EXPECT_NE(std::string(many.row.description).find("insertion string(s): "), std::string::npos);
  EXPECT_EQ(RecordStrings(r).size(), 500u);
}

TEST(EventRowTextTest, SubstituteInserts) {
  struct Case {
    const char* text;
    std::vector<std::string> strings;
    const char* expected;
    bool replaced;
  };
  const Case cases[] = {
      {"%1%2%1", {"a", "b"}, "aba", true},
      {"%%1", {"a"}, "%%1", false},
      {"%0 %3 %", {"a"}, "%0 %3 %", false},
      {"%10", {"a"}, "%10", false},  // all digits make the number
      {"%01", {"a"}, "a", true},
      {"%1 %99999999999999999999", {"a"}, "a %99999999999999999999", true},
      {"100%", {"a"}, "100%", false},
      {"%1", {"%1"}, "%1", true},  // an insert's own text is not scanned again
      {"x%1y", {""}, "xy", true},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(SubstituteInserts(text, c.strings), c.replaced) << c.text;
    EXPECT_EQ(text, c.expected) << c.text;
  }
}

// The row tests cover the fallback's two forms; here an id above the low word and an empty string.
TEST(EventRowTextTest, FallbackTexts) {
  EXPECT_EQ(FallbackDescription(70000, "S", {"", "b"}),
            "The description for Event ID ( 4464 ) in Source( S ) could not be found. It contains the following "
            "insertion string(s):  b ");
  EXPECT_EQ(EventTypeName(16), "Failure Audit");
}

}  // namespace
