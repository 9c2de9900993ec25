// The event store against real databases: SQLite always, PostgreSQL and MariaDB when their
// test servers run (scripts/services). Every test runs once per backend.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "frame/message_box.h"
#include "store/event_store.h"
#include "tests/store/backends.h"

using storetest::Kind;

namespace {

// The message boxes shown, as caption and text.
struct RecordingSink : MessageBoxSink {
  int Show(HWND, const std::string& text, const char* caption, UINT) override { return boxes.emplace_back(caption ? caption : "", text), IDOK; }
  std::vector<std::pair<std::string, std::string>> boxes;
};

HWND const kOwner = reinterpret_cast<HWND>(0x1234);

// The fraction as the row builder stores times.
TIMESTAMP_STRUCT Stamp(int hour, int minute, int second) {
  return TIMESTAMP_STRUCT{2024, 3, 1, SQLUSMALLINT(hour), SQLUSMALLINT(minute), SQLUSMALLINT(second), 1000};
}

// The parts of a stamp that a resume compares, down to the second.
auto Seconds(const TIMESTAMP_STRUCT& t) { return std::tuple(t.year, t.month, t.day, t.hour, t.minute, t.second); }

void Put(char* field, size_t width, const std::string& text) {
  std::memset(field, 0, width);
  std::memcpy(field, text.data(), std::min(width, text.size()));
}

// `recordName`: the name the record carries, when the list names the computer otherwise.
EventRow MakeRow(const std::string& computer, TIMESTAMP_STRUCT when, DWORD eventID = 7000,
                 const std::string& recordName = "") {
  EventRow row;
  Put(row.workstation, sizeof row.workstation, computer);
  row.eventDate = when;
  row.recordDate = when;
  Put(row.source, sizeof row.source, "Service Control Manager");
  Put(row.computer, sizeof row.computer, recordName.empty() ? computer : recordName);
  Put(row.userName, sizeof row.userName, "N/A");
  Put(row.type, sizeof row.type, "Error");
  Put(row.category, sizeof row.category, "None");
  row.eventID = eventID;
  static const char text[] = "The Messenger service failed to start.";
  row.description = text;
  row.descriptionLength = sizeof text - 1;
  return row;
}

class EventStoreTest : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    storetest::ConfigureProcess();
    kind = GetParam();
    std::string why = storetest::Unavailable(kind);
    if (!why.empty()) {
      // In the test script's run PostgreSQL must be there: a missing server is a failure.
      if (kind == Kind::Postgres && std::getenv("TALLYARD_TEST_SERVICES") != nullptr)
        FAIL() << "the test script ran but " << why;
      GTEST_SKIP() << why;
    }
    std::string error;
    ASSERT_TRUE(storetest::FreshTables(kind, &error)) << error;
    settings = storetest::Settings(kind);
    SetMessageBoxSink(&sink);
  }
  void TearDown() override { SetMessageBoxSink(nullptr); }

  // Opens and connects `store`; the test ends when that fails.
  void Open(EventStore& store) {
    ASSERT_TRUE(store.OpenEnvironment());
    ASSERT_TRUE(store.Connect(kOwner, settings)) << store.SqlState() << " " << store.Message();
  }

  // Stores the rows through one store and commits them.
  void Store(const std::vector<EventRow>& rows) {
    EventStore store;
    Open(store);
    ASSERT_TRUE(store.PrepareInsert(kOwner, "System")) << store.Message();
    for (const EventRow& row : rows) ASSERT_TRUE(store.InsertRow(kOwner, row)) << store.Message();
    ASSERT_TRUE(store.Commit(kOwner)) << store.Message();
    Close(store);
  }

  void Close(EventStore& store) {
    EXPECT_TRUE(store.Finish(kOwner)) << store.Message();
    store.ReleaseEnvironment();
  }
  long long Count(const std::string& where = "1=1") {
    return storetest::Probe(kind).Scalar("SELECT COUNT(*) FROM System WHERE " + where).value_or(-1);
  }

  Kind kind{};
  DataSourceSettings settings;
  RecordingSink sink;
};

TEST_P(EventStoreTest, ResumeFindsLatestSecondAndItsRowsWhateverTheNamesCase) {
  Store({MakeRow("SRV1", Stamp(9, 0, 0)), MakeRow("SRV1", Stamp(10, 0, 4)), MakeRow("SRV1", Stamp(10, 0, 5)),
         MakeRow("SRV1", Stamp(10, 0, 5)), MakeRow("srv1", Stamp(10, 0, 5)), MakeRow("SRV2", Stamp(11, 0, 0)),
         MakeRow("O'BRIEN-PC", Stamp(8, 1, 2)), MakeRow("Q\"UOTE\\PC", Stamp(8, 3, 4)),
         MakeRow("WKS01", Stamp(12, 0, 0), 7000, "OLDPC07")});
  ASSERT_FALSE(HasFatalFailure());
  const struct {
    const char* computer;
    TIMESTAMP_STRUCT latest;
    SQLINTEGER count;
  } cases[] = {
      {"SRV1", Stamp(10, 0, 5), 3},  // three rows in the latest second, two spellings
      {"srv1", Stamp(10, 0, 5), 3},  {"Srv2", Stamp(11, 0, 0), 1},
      {"o'brien-pc", Stamp(8, 1, 2), 1},  // a quote neither breaks nor changes the query
      {"Q\"UOTE\\PC", Stamp(8, 3, 4), 1}, {"NEVERSEEN", {}, 0},
      {"wks01", Stamp(12, 0, 0), 1},  // the rows of the name the list gives, whatever the records say
      {"OLDPC07", {}, 0},
      {"x' OR '1'='1", {}, 0},  // would match every row if it were pasted into the query
  };
  EventStore store;
  Open(store);
  for (const auto& c : cases) {
    TIMESTAMP_STRUCT stamp{};
    SQLINTEGER count = -1;
    ASSERT_TRUE(store.QueryResumePoint(kOwner, "System", c.computer, &stamp, &count)) << store.Message();
    EXPECT_EQ(count, c.count) << c.computer;
    EXPECT_EQ(Seconds(c.count ? stamp : c.latest), Seconds(c.latest)) << c.computer;
  }
  // The rows of the latest second, to tell them apart from the records of that second.
  std::vector<StoredRow> at;
  ASSERT_TRUE(store.ReadRowsAt(kOwner, "System", "srv1", Stamp(10, 0, 5), at)) << store.Message();
  ASSERT_EQ(at.size(), 3u);
  for (const StoredRow& r : at)
    EXPECT_EQ(std::tuple(r.source, r.eventID, Seconds(r.eventDate), r.description),
              std::tuple("Service Control Manager", 7000, Seconds(Stamp(10, 0, 5)), "The Messenger service failed to start."));
  // The insert that follows on the same statement, and the queries after it, find no parameters
  // left over from the other statements; a description longer than a piece comes back whole.
  const std::string longText(20000, 'd');
  EventRow longRow = MakeRow("SRV1", Stamp(10, 0, 5));
  longRow.description = longText.c_str();
  longRow.descriptionLength = static_cast<DWORD>(longText.size());
  ASSERT_TRUE(store.PrepareInsert(kOwner, "System")) << store.Message();
  ASSERT_TRUE(store.InsertRow(kOwner, longRow)) << store.Message();
  TIMESTAMP_STRUCT stamp{};
  SQLINTEGER count = 0;
  ASSERT_TRUE(store.QueryResumePoint(kOwner, "System", "SRV1", &stamp, &count)) << store.Message();
  EXPECT_EQ(count, 4);  // the store's own uncommitted row counts on its own connection
  ASSERT_TRUE(store.ReadRowsAt(kOwner, "System", "SRV1", Stamp(10, 0, 5), at)) << store.Message();
  ASSERT_EQ(at.size(), 4u);
  EXPECT_EQ(at[0].description.size() + at[1].description.size() + at[2].description.size() + at[3].description.size(),
            longText.size() + 3 * 38);
  Close(store);
  EXPECT_TRUE(sink.boxes.empty());
}

TEST_P(EventStoreTest, ValuesComeBackAsStored) {
  const std::string longText(100 * 1024, 'x');
  const unsigned char bytes[] = {0x00, 0x01, 0x27, 0x5C, 0x7F, 0x80, 0xFF, 0x00, 0x0A, 0x0D};
  std::string full(50, 'W');  // a field filled to its width, without a terminator
  std::vector<EventRow> rows = {MakeRow("NODATA", Stamp(1, 0, 0), 0xC0000064u), MakeRow("BINARY", Stamp(1, 0, 1), 0xFFFFFFFFu),
                                MakeRow("LARGE", Stamp(1, 0, 2), 0), MakeRow("EMPTY", Stamp(1, 0, 3), 0x7FFFFFFFu),
                                MakeRow("BRIM", Stamp(1, 0, 4))};
  rows[1].data = bytes;
  rows[1].dataLength = sizeof bytes;
  rows[2].description = longText.c_str();
  rows[2].descriptionLength = static_cast<DWORD>(longText.size());
  rows[3].description = "";
  rows[3].descriptionLength = 0;
  std::memcpy(rows[4].workstation, full.data(), sizeof rows[4].workstation);
  Put(rows[4].userName, sizeof rows[4].userName, "CORP\\Ann O'Hara \xC3\xA9t\xC3\xA9");
  Store(rows);
  ASSERT_FALSE(HasFatalFailure());
  using Row = std::vector<std::optional<std::string>>;
  const std::string text = "The Messenger service failed to start.";
  const std::pair<const char*, Row> cases[] = {
      {"NODATA", {std::nullopt, "3221225572", text}},
      {"BINARY", {std::string(reinterpret_cast<const char*>(bytes), sizeof bytes), "4294967295", text}},
      {"LARGE", {std::nullopt, "0", longText}},
      {"EMPTY", {std::nullopt, "2147483647", ""}},  // an empty text is not NULL
  };
  storetest::Probe probe(kind);
  for (const auto& [computer, expected] : cases)
    EXPECT_EQ(probe.Row(std::string("SELECT Data, EventID, Description FROM System WHERE Computer = '") + computer + "'", 3),
              expected) << computer << probe.error();
  EXPECT_EQ(probe.Row("SELECT Workstation, UserName, Source, Type FROM System WHERE Computer = 'BRIM'", 4),
            (Row{full, "CORP\\Ann O'Hara \xC3\xA9t\xC3\xA9", "Service Control Manager", "Error"}));
}

TEST_P(EventStoreTest, FinishRollsBackWhatCameAfterTheLastCommit) {
  EventStore store;
  Open(store);
  ASSERT_TRUE(store.PrepareInsert(kOwner, "System"));
  for (int i = 0; i < 205; ++i) {  // a commit after rows 101 and 202
    ASSERT_TRUE(store.InsertRow(kOwner, MakeRow("BATCH", Stamp(2, i / 60, i % 60)))) << store.Message();
    ASSERT_TRUE(i % 101 != 100 || store.Commit(kOwner)) << store.Message();
  }
  Close(store);
  EXPECT_EQ(Count(), 202);
  // The next run resumes at the last committed row's time.
  EventStore again;
  Open(again);
  TIMESTAMP_STRUCT stamp{};
  SQLINTEGER count = 0;
  ASSERT_TRUE(again.QueryResumePoint(kOwner, "System", "BATCH", &stamp, &count));
  EXPECT_EQ(count, 1);
  EXPECT_EQ(Seconds(stamp), Seconds(Stamp(2, 201 / 60, 201 % 60)));
  Close(again);
}

// A missing data source, a wrong password and a missing table fail with the driver's state and
// text, in a box captioned with the call (or the table) when there is an owner window.
TEST_P(EventStoreTest, FailuresCarryTheDriversStateAndText) {
  const struct {
    Kind only;  // Kind::Sqlite here means every backend
    std::string dsn, password;
    const char *state, *text;
  } cases[] = {
      {Kind::Sqlite, "NoSuchSource", "", "IM002", "Data source name not found"},
      {Kind::Postgres, settings.dsn, "wrong", "08001", "password authentication failed"},
      {Kind::Maria, settings.dsn, "wrong", "28000", "Access denied"},
  };
  for (const auto& c : cases) {
    if (c.only != Kind::Sqlite && c.only != kind) continue;
    sink.boxes.clear();
    DataSourceSettings s = settings;
    std::snprintf(s.dsn, sizeof s.dsn, "%s", c.dsn.c_str());
    std::snprintf(s.password, sizeof s.password, "%s", c.password.c_str());
    for (HWND owner : {kOwner, HWND{}}) {
      EventStore store;
      ASSERT_TRUE(store.OpenEnvironment());
      EXPECT_FALSE(store.Connect(owner, s));
      EXPECT_EQ(store.LastReturnCode(), SQL_SUCCESS);  // the error query itself found the error
      EXPECT_STREQ(store.SqlState(), c.state);
      EXPECT_NE(std::string(store.Message()).find(c.text), std::string::npos) << store.Message();
      ASSERT_EQ(sink.boxes.size(), 1u);  // none without an owner
      EXPECT_EQ(sink.boxes[0], std::pair(std::string("SQLConnect"), std::string(store.Message())));
      store.ReleaseEnvironment();
    }
  }
  sink.boxes.clear();
  EventStore store;
  Open(store);
  TIMESTAMP_STRUCT stamp{};
  SQLINTEGER count = 0;
  EXPECT_FALSE(store.QueryResumePoint(kOwner, "NoSuchTable", "SRV1", &stamp, &count));
  EXPECT_STREQ(store.SqlState(), kind == Kind::Sqlite ? "S1000" : kind == Kind::Postgres ? "42P01" : "S0002");
  ASSERT_EQ(sink.boxes.size(), 1u);
  EXPECT_EQ(sink.boxes[0].first, "NoSuchTable");
  Close(store);
}

// A row the server refuses (text that is not UTF-8) or a server that goes away: a failure with
// its state, never a crash or a silent loss, and what was committed stays.
TEST_P(EventStoreTest, RejectedRowOrServerGoneKeepsWhatWasCommitted) {
  const struct {
    const char* computer;
    bool latin1, commitNext;  // after the loss: an insert (a statement error) or a commit
    const char* caption;
  } cases[] = {{"BAD", true, false, "SQLExecute"}, {"GONE1", false, false, "SQLExecute"}, {"GONE2", false, true, "SQLTransact"}};
  static const char latin1[] = "caf\xE9 latin-1";
  for (const auto& c : cases) {
    if (kind == Kind::Sqlite) break;  // SQLite keeps any bytes, and has no server to lose
    SCOPED_TRACE(c.computer);
    sink.boxes.clear();
    EventStore store;
    Open(store);
    ASSERT_TRUE(store.PrepareInsert(kOwner, "System"));
    for (int i = 0; i < 101; ++i) ASSERT_TRUE(store.InsertRow(kOwner, MakeRow(c.computer, Stamp(4, i / 60, i % 60))));
    ASSERT_TRUE(store.Commit(kOwner));
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(store.InsertRow(kOwner, MakeRow(c.computer, Stamp(5, 0, i))));
    std::string error;
    ASSERT_TRUE(c.latin1 || storetest::DropStoreConnections(kind, &error)) << error;
    EventRow bad = MakeRow(c.computer, Stamp(6, 0, 0));
    bad.description = latin1;
    bad.descriptionLength = sizeof latin1 - 1;
    bool failed = false;
    for (int i = 0; i < 5 && !failed; ++i) failed = c.commitNext ? !store.Commit(kOwner) : !store.InsertRow(kOwner, bad);
    ASSERT_TRUE(failed);
    EXPECT_STREQ(store.SqlState(), c.latin1 ? (kind == Kind::Postgres ? "22021" : "22008") : store.SqlState());
    EXPECT_STRNE(store.SqlState(), "");
    ASSERT_FALSE(sink.boxes.empty());
    EXPECT_EQ(sink.boxes.back(), std::pair(std::string(c.caption), std::string(store.Message())));
    // Finish may fail on a lost connection and leave it allocated; the environment must still
    // be freed, with whatever Finish left.
    store.Finish(kOwner);
    store.ReleaseEnvironment();
    EXPECT_EQ(store.LastReturnCode(), SQL_SUCCESS);
    EXPECT_EQ(Count(std::string("Computer = '") + c.computer + "'"), 101);
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, EventStoreTest, ::testing::Values(Kind::Sqlite, Kind::Postgres, Kind::Maria),
                         [](const auto& p) { return storetest::Name(p.param); });

}  // namespace
