// The row builder: each value of the row (sources with and without
// files, inserts, parameter messages, categories, fallbacks, times, data), the text expansions
// on their own, and the loops over outside text that must end.
#include "tests/gather/event_row_test.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "gather/event_row.h"
#include "tests/support/golden.h"
#include "tests/support/scoped_env.h"
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

TEST_F(EventRowTest, GoldenDescriptionsAndCategories) {
  for (const GoldenCase& c : ReadGolden("gather/golden/descriptions.txt")) {
    RecordSpec s;
    s.source = c.Get("source");
    s.eventId = static_cast<DWORD>(c.Number("id"));
    s.strings = c.All("string");
    EXPECT_EQ(Description(s), c.Get("description")) << c.name;
  }
  for (const GoldenCase& c : ReadGolden("gather/golden/categories.txt")) {
    RecordSpec s;
    s.source = c.Get("source");
    s.category = static_cast<WORD>(c.Number("category"));
    EXPECT_EQ(Build(s).row.category, c.Get("text")) << c.name;
  }
}

TEST_F(EventRowTest, AGrowingParameterMessageIsBounded) {
  RecordSpec s;
  s.source = "Svc";
  s.eventId = 5;
  s.strings = {"%%98", "b"};
  // "ab%%98" re-expands two characters further on each time: exactly the bounded number of times.
  std::string grown;
  for (int i = 0; i < kMaxParameterExpansions; ++i) grown += "ab";
  EXPECT_EQ(Description(s), "Logon of " + grown + "%%98 from b failed: %3\r\n");
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
  ScopedCwd workingFolder(host);
  ScopedEnv computerName("COMPUTERNAME", "ADMINPC");
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
      computerName.Set(local ? "SRV1" : "ADMINPC");
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
}

TEST_F(EventRowTest, LongCategoryIsCutNotRefused) {
  // 200 letters and 30 two-byte ones: more than the column holds, so it is cut, never split
  // inside a character (not refused and stored as "None").
  RecordSpec s;
  s.source = "Svc";
  s.category = 6;
  std::string category = Build(s).row.category;
  EXPECT_EQ(category.size(), 254u);
  EXPECT_EQ(category.substr(0, 200), std::string(200, 'x'));
  EXPECT_EQ(category.substr(252), "\xC3\xA9");
}

TEST_F(EventRowTest, EveryOtherValue) {
  ScopedEnv tz("TZ", "<+01>-1");
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

TEST(EventRowTextTest, GoldenInserts) {
  for (const GoldenCase& c : ReadGolden("gather/golden/inserts.txt")) {
    std::string text = c.Get("text");
    EXPECT_EQ(SubstituteInserts(text, c.All("string")), c.Number("replaced") != 0) << c.name;
    EXPECT_EQ(text, c.Get("out")) << c.name;
  }
  EXPECT_EQ(EventTypeName(16), "Failure Audit");
}

}  // namespace
