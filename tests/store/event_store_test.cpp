// The event store against real databases: SQLite always, PostgreSQL and MariaDB when their
// test servers run (scripts/services). Every test runs once per backend.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "frame/message_box.h"
#include "store/event_store.h"
#include "tests/store/backends.h"

using storetest::Kind;

namespace storetest {
void PrintTo(const Backend& backend, std::ostream* out) { *out << backend.name; }  // rather than its bytes
}  // namespace storetest

namespace {

struct Box {
  std::string text;
  std::string caption;
};

class RecordingSink : public MessageBoxSink {
 public:
  int Show(HWND, const std::string& text, const char* caption, UINT) override {
    boxes.push_back({text, caption ? caption : ""});
    return IDOK;
  }
  std::vector<Box> boxes;
};

HWND const kOwner = reinterpret_cast<HWND>(0x1234);

// The fraction as the row builder stores times.
TIMESTAMP_STRUCT Stamp(int hour, int minute, int second) {
  auto u = [](int v) { return static_cast<SQLUSMALLINT>(v); };
  return TIMESTAMP_STRUCT{2024, 3, 1, u(hour), u(minute), u(second), 1000};
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

class EventStoreTest : public ::testing::TestWithParam<storetest::Backend> {
 protected:
  void SetUp() override {
    storetest::ConfigureProcess();
    kind = GetParam().kind;
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

  // Stores the rows through one store, committing after each `period` + 1 rows as the gather
  // does, and ends with Finish.
  void Store(const std::vector<EventRow>& rows, const char* table = "System") {
    EventStore store;
    Open(store);
    ASSERT_TRUE(store.PrepareInsert(kOwner, table)) << store.Message();
    for (const EventRow& row : rows) ASSERT_TRUE(store.InsertRow(kOwner, row)) << store.Message();
    ASSERT_TRUE(store.Commit(kOwner)) << store.Message();
    ASSERT_TRUE(store.Finish(kOwner));
    store.ReleaseEnvironment();
  }

  long long Count(const std::string& where = "1=1") {
    storetest::Probe probe(kind);
    auto n = probe.Scalar("SELECT COUNT(*) FROM System WHERE " + where);
    EXPECT_TRUE(n.has_value()) << probe.error();
    return n.value_or(-1);
  }

  Kind kind{};
  DataSourceSettings settings;
  RecordingSink sink;
};

TEST_P(EventStoreTest, ResumeFindsLatestSecondAndItsRowsWhateverTheNamesCase) {
  std::vector<EventRow> rows = {
      MakeRow("SRV1", Stamp(9, 0, 0)),      MakeRow("SRV1", Stamp(10, 0, 4)),    MakeRow("SRV1", Stamp(10, 0, 5)),
      MakeRow("SRV1", Stamp(10, 0, 5)),     MakeRow("srv1", Stamp(10, 0, 5)),    MakeRow("SRV2", Stamp(11, 0, 0)),
      MakeRow("O'BRIEN-PC", Stamp(8, 1, 2)), MakeRow("Q\"UOTE\\PC", Stamp(8, 3, 4)),
      MakeRow("WKS01", Stamp(12, 0, 0), 7000, "OLDPC07"),
  };
  Store(rows);
  ASSERT_FALSE(HasFatalFailure());

  struct Case {
    const char* computer;
    TIMESTAMP_STRUCT latest;
    SQLINTEGER count;
  };
  const Case cases[] = {
      {"SRV1", Stamp(10, 0, 5), 3},       // three rows in the latest second, two spellings
      {"srv1", Stamp(10, 0, 5), 3},       // a list that says "srv1" finds the rows of "SRV1"
      {"Srv2", Stamp(11, 0, 0), 1},
      {"O'BRIEN-PC", Stamp(8, 1, 2), 1},  // a quote neither breaks nor changes the query
      {"o'brien-pc", Stamp(8, 1, 2), 1},
      {"Q\"UOTE\\PC", Stamp(8, 3, 4), 1},
      {"NEVERSEEN", {}, 0},
      {"wks01", Stamp(12, 0, 0), 1},  // the rows of the name the list gives, whatever the records say
      {"OLDPC07", {}, 0},
      {"x' OR '1'='1", {}, 0},  // would match every row if it were pasted into the query
  };
  EventStore store;
  Open(store);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.computer);
    TIMESTAMP_STRUCT stamp{};
    SQLINTEGER count = -1;
    ASSERT_TRUE(store.QueryResumePoint(kOwner, "System", c.computer, &stamp, &count)) << store.Message();
    EXPECT_EQ(count, c.count);
    if (c.count > 0) {
      EXPECT_EQ(Seconds(stamp), Seconds(c.latest));
    }
  }
  // The rows of the latest second, to tell them apart from the records of that second.
  std::vector<StoredRow> atLatest;
  ASSERT_TRUE(store.ReadRowsAt(kOwner, "System", "srv1", Stamp(10, 0, 5), atLatest)) << store.Message();
  ASSERT_EQ(atLatest.size(), 3u);
  for (const StoredRow& r : atLatest) {
    EXPECT_EQ(r.source, "Service Control Manager");
    EXPECT_EQ(r.eventID, 7000);
    EXPECT_EQ(Seconds(r.eventDate), Seconds(Stamp(10, 0, 5)));
    EXPECT_EQ(r.description, "The Messenger service failed to start.");
  }
  // The insert that follows on the same statement, and another resume query after it, find
  // no parameters left over from the other statements.
  ASSERT_TRUE(store.PrepareInsert(kOwner, "System")) << store.Message();
  ASSERT_TRUE(store.InsertRow(kOwner, MakeRow("SRV1", Stamp(10, 0, 5)))) << store.Message();
  TIMESTAMP_STRUCT stamp{};
  SQLINTEGER count = 0;
  ASSERT_TRUE(store.QueryResumePoint(kOwner, "System", "SRV1", &stamp, &count)) << store.Message();
  EXPECT_EQ(count, 4);  // the store's own uncommitted row counts on its own connection
  EXPECT_TRUE(store.Finish(kOwner));
  store.ReleaseEnvironment();
  EXPECT_TRUE(sink.boxes.empty());
}

TEST_P(EventStoreTest, ValuesComeBackAsStored) {
  const std::string longText(100 * 1024, 'x');
  const unsigned char bytes[] = {0x00, 0x01, 0x27, 0x5C, 0x7F, 0x80, 0xFF, 0x00, 0x0A, 0x0D};
  std::string full(50, 'W');  // a field filled to its width, without a terminator

  EventRow noData = MakeRow("NODATA", Stamp(1, 0, 0), 0xC0000064u);
  EventRow binary = MakeRow("BINARY", Stamp(1, 0, 1), 0xFFFFFFFFu);
  binary.data = bytes;
  binary.dataLength = sizeof bytes;
  EventRow large = MakeRow("LARGE", Stamp(1, 0, 2), 0);
  large.description = longText.c_str();
  large.descriptionLength = static_cast<DWORD>(longText.size());
  EventRow empty = MakeRow("EMPTY", Stamp(1, 0, 3), 0x7FFFFFFFu);
  empty.description = "";
  empty.descriptionLength = 0;
  EventRow brim = MakeRow("BRIM", Stamp(1, 0, 4));
  std::memcpy(brim.workstation, full.data(), sizeof brim.workstation);
  Put(brim.userName, sizeof brim.userName, "CORP\\Ann O'Hara \xC3\xA9t\xC3\xA9");
  Store({noData, binary, large, empty, brim});
  ASSERT_FALSE(HasFatalFailure());

  struct Case {
    const char* computer;
    std::optional<std::string> data;
    long long eventID;
    std::string description;
  };
  const Case cases[] = {
      {"NODATA", std::nullopt, 0xC0000064LL, "The Messenger service failed to start."},
      {"BINARY", std::string(reinterpret_cast<const char*>(bytes), sizeof bytes), 0xFFFFFFFFLL,
       "The Messenger service failed to start."},
      {"LARGE", std::nullopt, 0, longText},
      {"EMPTY", std::nullopt, 0x7FFFFFFFLL, ""},
  };
  storetest::Probe probe(kind);
  ASSERT_TRUE(probe.ok()) << probe.error();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.computer);
    auto row = probe.Row(std::string("SELECT Data, EventID, Description FROM System WHERE Computer = '") +
                             c.computer + "'",
                         3);
    ASSERT_TRUE(row.has_value()) << probe.error();
    EXPECT_EQ((*row)[0], c.data);
    ASSERT_TRUE((*row)[1].has_value());
    EXPECT_EQ(std::stoll(*(*row)[1]), c.eventID);
    EXPECT_EQ((*row)[2], std::optional<std::string>(c.description));  // an empty text is not NULL
  }
  auto brimRow = probe.Row("SELECT Workstation, UserName, Source, Type FROM System WHERE Computer = 'BRIM'", 4);
  ASSERT_TRUE(brimRow.has_value()) << probe.error();
  EXPECT_EQ(*brimRow, (std::vector<std::optional<std::string>>{
                          full, "CORP\\Ann O'Hara \xC3\xA9t\xC3\xA9", "Service Control Manager", "Error"}));
}

TEST_P(EventStoreTest, FinishRollsBackWhatCameAfterTheLastCommit) {
  EventStore store;
  Open(store);
  ASSERT_TRUE(store.PrepareInsert(kOwner, "System"));
  // Period 100: a commit after rows 101 and 202; rows 203 to 205 are not committed.
  DWORD sinceCommit = 0;
  for (int i = 0; i < 205; ++i) {
    ASSERT_TRUE(store.InsertRow(kOwner, MakeRow("BATCH", Stamp(2, i / 60, i % 60)))) << store.Message();
    if (sinceCommit < 100) {
      ++sinceCommit;
    } else {
      ASSERT_TRUE(store.Commit(kOwner)) << store.Message();
      sinceCommit = 0;
    }
  }
  EXPECT_TRUE(store.Finish(kOwner)) << store.Message();
  store.ReleaseEnvironment();
  EXPECT_EQ(Count(), 202);

  // The next run resumes at the last committed row's time.
  EventStore again;
  Open(again);
  TIMESTAMP_STRUCT stamp{};
  SQLINTEGER count = 0;
  ASSERT_TRUE(again.QueryResumePoint(kOwner, "System", "BATCH", &stamp, &count));
  EXPECT_EQ(count, 1);
  EXPECT_EQ(Seconds(stamp), Seconds(Stamp(2, 201 / 60, 201 % 60)));
  EXPECT_TRUE(again.Finish(kOwner));
  again.ReleaseEnvironment();
}

TEST_P(EventStoreTest, ConnectFailuresCarryTheDriversStateAndText) {
  struct Case {
    const char* name;
    Kind only;  // Kind::Sqlite here means every backend
    std::string dsn, user, password;
    const char* state;
    std::string text;
  };
  std::string user = settings.user;
  const Case cases[] = {
      {"missing data source", Kind::Sqlite, "NoSuchSource", "", "", "IM002", "Data source name not found"},
      {"wrong password", Kind::Postgres, settings.dsn, user, "wrong", "08001", "password authentication failed"},
      {"wrong password", Kind::Maria, settings.dsn, user, "wrong", "28000", "Access denied"},
  };
  for (const Case& c : cases) {
    if (c.only != Kind::Sqlite && c.only != kind) continue;
    SCOPED_TRACE(c.name);
    sink.boxes.clear();
    DataSourceSettings s = settings;
    std::snprintf(s.dsn, sizeof s.dsn, "%s", c.dsn.c_str());
    std::snprintf(s.user, sizeof s.user, "%s", c.user.c_str());
    std::snprintf(s.password, sizeof s.password, "%s", c.password.c_str());
    EventStore store;
    ASSERT_TRUE(store.OpenEnvironment());
    EXPECT_FALSE(store.Connect(kOwner, s));
    EXPECT_EQ(store.LastReturnCode(), SQL_SUCCESS);  // the error query itself found the error
    EXPECT_STREQ(store.SqlState(), c.state);
    EXPECT_NE(std::string(store.Message()).find(c.text), std::string::npos) << store.Message();
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, "SQLConnect");
    EXPECT_EQ(sink.boxes[0].text, store.Message());
    store.ReleaseEnvironment();

    // Without an owner window nothing is shown, and the state is the same.
    EventStore quiet;
    ASSERT_TRUE(quiet.OpenEnvironment());
    EXPECT_FALSE(quiet.Connect(nullptr, s));
    EXPECT_STREQ(quiet.SqlState(), store.SqlState());
    EXPECT_EQ(sink.boxes.size(), 1u);
    quiet.ReleaseEnvironment();
  }
}

TEST_P(EventStoreTest, MissingTableFailsWithTheTableAsCaption) {
  EventStore store;
  Open(store);
  TIMESTAMP_STRUCT stamp{};
  SQLINTEGER count = 0;
  EXPECT_FALSE(store.QueryResumePoint(kOwner, "NoSuchTable", "SRV1", &stamp, &count));
  std::string state = store.SqlState();
  const char* expected = kind == Kind::Sqlite ? "S1000" : kind == Kind::Postgres ? "42P01" : "S0002";
  EXPECT_EQ(state, expected);
  ASSERT_EQ(sink.boxes.size(), 1u);
  EXPECT_EQ(sink.boxes[0].caption, "NoSuchTable");
  EXPECT_NE(sink.boxes[0].text.find(kind == Kind::Postgres ? "nosuchtable" : "NoSuchTable"), std::string::npos)
      << sink.boxes[0].text;

  // The insert is refused when prepared or, by drivers that prepare lazily, when executed.
  sink.boxes.clear();
  bool prepared = store.PrepareInsert(kOwner, "NoSuchTable");
  if (prepared) {
    EXPECT_FALSE(store.InsertRow(kOwner, MakeRow("SRV1", Stamp(1, 1, 1))));
  }
  ASSERT_EQ(sink.boxes.size(), 1u);
  EXPECT_EQ(sink.boxes[0].caption, prepared ? "SQLExecute" : "SQLPrepare");
  EXPECT_STRNE(store.SqlState(), "");
  EXPECT_TRUE(store.Finish(kOwner));
  store.ReleaseEnvironment();
}

TEST_P(EventStoreTest, RejectedRowFailsCleanlyAndKeepsWhatWasCommitted) {
  EventStore store;
  Open(store);
  ASSERT_TRUE(store.PrepareInsert(kOwner, "System"));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(store.InsertRow(kOwner, MakeRow("KEEP", Stamp(3, 0, i))));
  ASSERT_TRUE(store.Commit(kOwner));
  ASSERT_TRUE(store.InsertRow(kOwner, MakeRow("LATER", Stamp(3, 1, 0))));

  // Text that is not UTF-8 is the row builder's fault, but it must come back as a failure
  // with its state, not as a crash or a silent loss.
  EventRow bad = MakeRow("BAD", Stamp(3, 2, 0));
  static const char latin1[] = "caf\xE9 latin-1";
  bad.description = latin1;
  bad.descriptionLength = sizeof latin1 - 1;
  bool stored = store.InsertRow(kOwner, bad);
  if (kind == Kind::Sqlite) {
    EXPECT_TRUE(stored);  // SQLite keeps the bytes as they are
  } else {
    EXPECT_FALSE(stored);
    EXPECT_EQ(std::string(store.SqlState()), kind == Kind::Postgres ? "22021" : "22008");
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, "SQLExecute");
  }
  store.Finish(kOwner);
  store.ReleaseEnvironment();
  EXPECT_EQ(Count("Computer = 'KEEP'"), 3);
  EXPECT_EQ(Count("Computer <> 'KEEP'"), 0);
}

TEST_P(EventStoreTest, ServerGoneInTheMiddleOfInsertsKeepsCommittedRows) {
  if (kind == Kind::Sqlite) GTEST_SKIP() << "SQLite has no server to lose";
  // The call after the loss is an insert (a statement error) or a commit (a connection
  // error, whose diagnostics are not on the statement).
  struct Case {
    const char* computer;
    bool commitNext;
    const char* caption;
  };
  for (const Case& c : {Case{"GONE1", false, "SQLExecute"}, Case{"GONE2", true, "SQLTransact"}}) {
    SCOPED_TRACE(c.caption);
    sink.boxes.clear();
    EventStore store;
    Open(store);
    ASSERT_TRUE(store.PrepareInsert(kOwner, "System"));
    for (int i = 0; i < 101; ++i)
      ASSERT_TRUE(store.InsertRow(kOwner, MakeRow(c.computer, Stamp(4, i / 60, i % 60))));
    ASSERT_TRUE(store.Commit(kOwner));
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(store.InsertRow(kOwner, MakeRow(c.computer, Stamp(5, 0, i))));
    std::string error;
    ASSERT_TRUE(storetest::DropStoreConnections(kind, &error)) << error;

    bool failed = false;
    for (int i = 0; i < 5 && !failed; ++i)
      failed = c.commitNext ? !store.Commit(kOwner) : !store.InsertRow(kOwner, MakeRow(c.computer, Stamp(6, 0, i)));
    ASSERT_TRUE(failed);
    EXPECT_STRNE(store.SqlState(), "");
    EXPECT_STRNE(store.Message(), "");
    ASSERT_FALSE(sink.boxes.empty());
    EXPECT_EQ(sink.boxes.back().caption, c.caption);
    EXPECT_EQ(sink.boxes.back().text, store.Message());
    // Finish may fail on a lost connection and leave it allocated; the environment must
    // still be freed, with whatever Finish left.
    store.Finish(kOwner);
    store.ReleaseEnvironment();
    EXPECT_EQ(store.LastReturnCode(), SQL_SUCCESS);
    EXPECT_EQ(Count(std::string("Computer = '") + c.computer + "'"), 101);
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, EventStoreTest, ::testing::ValuesIn(storetest::AllBackends()),
                         [](const auto& p) { return storetest::BackendName(p.param); });

}  // namespace
