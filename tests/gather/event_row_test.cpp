// The row builder: each value of the row, the text expansions on their own, message files that
// lie outside the image, and the loops over outside text that must end.
#include "tests/gather/event_row_test.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "gather/event_row.h"
#include "tests/support/golden.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_network.h"

namespace {

using rowtest::RecordSpec;

class EventRowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rowtest::MakeImage(net_.network());
    reader_ = rowtest::MakeReader();
    ASSERT_EQ(reader_->resolver->sourceCount(), 3u);
    handles_ = platform::LiveHandleCount();
  }
  void TearDown() override { EXPECT_EQ(platform::LiveHandleCount(), handles_); }

  BuiltEventRow Build(const RecordSpec& spec) {
    record_ = rowtest::MakeRecord(spec);
    return BuildEventRow(*reader_, rowtest::Rec(record_));
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
  for (const GoldenCase& c : ReadGolden("gather/golden/descriptions.txt"))
    EXPECT_EQ(Description({.eventId = static_cast<DWORD>(c.Number("id")), .source = c.Get("source"), .strings = c.All("string")}),
              c.Get("description")) << c.name;
  for (const GoldenCase& c : ReadGolden("gather/golden/categories.txt"))
    EXPECT_EQ(Build({.category = static_cast<WORD>(c.Number("category")), .source = c.Get("source")}).row.category, c.Get("text"))
        << c.name;
  // 200 letters and 30 two-byte ones: cut to the column, never inside a character, never refused.
  std::string category = Build({.category = 6}).row.category;
  EXPECT_EQ(category, std::string(200, 'x') + category.substr(200));
  EXPECT_EQ(category.size(), 254u);
  EXPECT_EQ(category.substr(252), "\xC3\xA9");
  // "ab%%98" re-expands two characters further on each time: exactly the bounded number of times.
  std::string grown;
  for (int i = 0; i < kMaxParameterExpansions; ++i) grown += "ab";
  EXPECT_EQ(Description({.eventId = 5, .strings = {"%%98", "b"}}), "Logon of " + grown + "%%98 from b failed: %3\r\n");
}

// A registry that names a native or relative path, or a native system root, never opens a file
// of the gathering machine: the row gets the fallback text. Drive paths open inside the image.
TEST_F(EventRowTest, MessageFilesOutsideTheImageAreNotLoaded) {
  const std::string host = net_.root() + "/host";
  rowtest::WriteDll(host + "/host.dll", {{7000, "From the host.\r\n"}});
  rowtest::WriteDll(host + "/System32/svcmsg.dll", {{7000, "From the host.\r\n"}});
  rowtest::WriteDll(net_.network() + "/SRV1/C/WINNT/System32/own.dll", {{7000, "From the image.\r\n"}});
  platform::ComputerImage c;
  ASSERT_EQ(platform::FindComputer("SRV1", c), 0u);
  auto set = [&](const std::string& key, const char* value, DWORD type, const std::string& text) {
    ASSERT_EQ(platform::WriteImageValue(c, key, value, platform::StringValue(type, text), true), 0u);
  };
  const std::string log = "SYSTEM\\ControlSet001\\Services\\EventLog\\Application\\";
  for (auto [source, path] : {std::pair{"Native", host + "/host.dll"}, {"Relative", std::string("host.dll")},
                              {"Slashes", "/" + host + "/host.dll"}, {"Drive", std::string("C:\\WINNT\\System32\\own.dll")}})
    set(log + source, "EventMessageFile", REG_EXPAND_SZ, path);
  ScopedCwd workingFolder(host);  // where a relative name would find host.dll
  ScopedEnv computerName("COMPUTERNAME", "ADMINPC");
  const struct {
    const char* source;
    bool nativeRoot, local;
  } cases[] = {{"Native", false, false}, {"Relative", false, false}, {"Slashes", false, true}, {"Drive", false, false},
               {"Drive", false, true},   {"Svc", true, false},       {"Drive", true, true}};
  for (const auto& k : cases) {
    SCOPED_TRACE(std::string(k.source) + (k.local ? " local" : " SRV1") + (k.nativeRoot ? " native root" : ""));
    set("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot", REG_SZ, k.nativeRoot ? host : "C:\\WINNT");
    computerName.Set(k.local ? "SRV1" : "ADMINPC");
    reader_ = rowtest::MakeReader();
    bool ok = false;
    if (k.local) reader_->resolver = std::make_unique<MessageFileResolver>(nullptr, "Application", ok);
    EXPECT_EQ(Description({.eventId = 7000, .source = k.source}),
              std::string(k.source) == "Drive" ? "From the image.\r\n"
                                              : "The description for Event ID ( 7000 ) in Source ( " + std::string(k.source) +
                                                    " ) could not be found.");
  }
}

TEST_F(EventRowTest, EveryOtherValue) {
  ScopedEnv tz("TZ", "<+01>-1");
  BuiltEventRow row = Build({.eventId = 0xC0000010u, .type = EVENTLOG_AUDIT_SUCCESS, .written = 86400,
                             .computer = "SRV1-RECORDED", .sid = platform::MakeSid(5, {18}), .data = {1, 2, 3}});
  EXPECT_STREQ(row.row.workstation, "SRV1");
  EXPECT_EQ(std::tuple(row.row.eventDate.year, row.row.eventDate.hour, row.row.eventDate.fraction, row.row.recordDate.day),
            std::tuple(1970, 1, 1000u, 2));
  EXPECT_STREQ(row.row.computer, "SRV1-RECORDED");
  EXPECT_STREQ(row.row.userName, "SYSTEM");
  EXPECT_STREQ(row.row.type, "Success Audit");
  EXPECT_EQ(row.row.eventID, 16u);
  BuiltEventRow moved = std::move(row);  // keeps its pointers valid
  EXPECT_STREQ(moved.row.description, "Severe %1.\r\n");
  EXPECT_EQ(moved.row.data, moved.data.get());
  EXPECT_EQ(std::vector<uint8_t>(moved.row.data, moved.row.data + moved.row.dataLength), (std::vector<uint8_t>{1, 2, 3}));
  BuiltEventRow other = Build({.type = 0});
  EXPECT_EQ(other.row.data, nullptr);
  EXPECT_STREQ(other.row.userName, "");
  EXPECT_STREQ(other.row.type, "Unknown type 0");
}

TEST_F(EventRowTest, LongAndDamagedFieldsAreCut) {
  BuiltEventRow row = Build({.eventId = 1, .source = std::string(300, 's'), .computer = std::string(60, 'c') + "\xC3\xA9"});
  EXPECT_EQ(std::strlen(row.row.source), 254u);
  EXPECT_EQ(std::strlen(row.row.computer), 49u);
  // The fallback names the whole source, not the cut one.
  EXPECT_NE(std::string(row.row.description).find(std::string(300, 's')), std::string::npos);
  // A SID that claims more bytes than the record holds, data beyond the record, and strings
  // whose count runs past the record: each ends at the record's end.
  record_ = rowtest::MakeRecord({.sid = platform::MakeSid(5, {18}), .data = {9, 9}});
  auto* r = reinterpret_cast<EVENTLOGRECORD*>(record_.data());
  r->UserSidLength = 4000;
  r->DataLength = 5000;
  BuiltEventRow damaged = BuildEventRow(*reader_, r);
  EXPECT_STREQ(damaged.row.userName, "");
  EXPECT_EQ(damaged.row.data, nullptr);
  r->UserSidLength = 0;
  r->NumStrings = 500;
  r->EventID = 4242;
  EXPECT_NE(std::string(BuildEventRow(*reader_, r).row.description).find("insertion string(s): "), std::string::npos);
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
