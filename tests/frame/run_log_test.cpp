#include <gtest/gtest.h>

#include "frame/run_log.h"
#include "tests/support/temp_network.h"

namespace {

// 2026-03-05 14:07:09 in UTC.
constexpr std::time_t kNow = 1772719629;

class RunLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    log_.fileName = net_.root() + "/run.log";
  }
  void Report(int level, int mode) {
    log_.level = level;
    log_.mode = mode;
    ReportFrame frame{"Gathering completed\n", "Status\tComputer\n",
                      [](RunLog& l) {
                        WriteLogLine(l, LineClass::FullOnly, "Success\t%s\n", "SRV1");
                        WriteLogLine(l, LineClass::Always, "Error\t%s\n", "SRV2");
                      },
                      2, 1};
    WriteReport(log_, frame, kNow);
  }
  TempNetwork net_;
  RunLog log_;
};

const char kFull[] =
    "===============================\n"
    "03/05/2026 14:07:09 Gathering completed\n"
    "Status\tComputer\n"
    "===============================\n"
    "Success\tSRV1\n"
    "Error\tSRV2\n"
    "\n===============================\n"
    "Processed\t2\n"
    "Errors\t1\n"
    "\n";

TEST_F(RunLogTest, LevelsDecideWhichLinesAreWritten) {
  Report(FullLog, Overwrite);
  EXPECT_EQ(TempNetwork::ReadFile(log_.fileName), kFull);
  Report(ErrorLogOnly, Overwrite);
  std::string expected = kFull;
  expected.erase(expected.find("Success\tSRV1\n"), 13);
  EXPECT_EQ(TempNetwork::ReadFile(log_.fileName), expected);
  EXPECT_EQ(log_.file, nullptr);
}

TEST_F(RunLogTest, NoLogNeverTouchesTheFileEvenInOverwriteMode) {
  TempNetwork::WriteFile(log_.fileName, "earlier report\n");
  Report(NoLog, Overwrite);
  EXPECT_EQ(TempNetwork::ReadFile(log_.fileName), "earlier report\n");
}

TEST_F(RunLogTest, AppendFollowsOverwriteReplaces) {
  Report(FullLog, Append);
  Report(FullLog, Append);
  EXPECT_EQ(TempNetwork::ReadFile(log_.fileName), std::string(kFull) + kFull);
  Report(FullLog, Overwrite);
  EXPECT_EQ(TempNetwork::ReadFile(log_.fileName), kFull);
  log_.mode = 7;  // any mode other than 1 appends
  Report(FullLog, 7);
  EXPECT_EQ(TempNetwork::ReadFile(log_.fileName), std::string(kFull) + kFull);
}

TEST_F(RunLogTest, AnUnusablePathDropsTheReportSilently) {
  log_.fileName = net_.root() + "/no/such/folder/run.log";
  Report(FullLog, Overwrite);
  EXPECT_FALSE(OpenRunLog(log_));
  EXPECT_EQ(log_.file, nullptr);
  WriteLogLine(log_, LineClass::Always, "%s", "dropped");
}

TEST_F(RunLogTest, OutsideTextIsWrittenAsItStands) {
  log_.level = FullLog;
  log_.mode = Overwrite;
  ASSERT_TRUE(OpenRunLog(log_));
  WriteLogLine(log_, LineClass::Always, "%s\n", "100% %s %n");
  CloseRunLog(log_);
  EXPECT_EQ(TempNetwork::ReadFile(log_.fileName), "100% %s %n\n");
}

}  // namespace
