#include <gtest/gtest.h>

#include "frame/run_log.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_network.h"

namespace {

// 2026-03-05 14:07:09 in UTC.
constexpr std::time_t kNow = 1772719629;

class RunLogTest : public ::testing::Test {
 protected:
  void SetUp() override { log_.fileName = net_.root() + "/run.log"; }
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
  std::string Written() const { return TempNetwork::ReadFile(log_.fileName); }

  ScopedEnv tz_{"TZ", "UTC"};
  TempNetwork net_;
  RunLog log_;
  // The full report as a reader sees it.
  const std::string full_ = TempNetwork::ReadFile(TALLYARD_SOURCE_DIR "/tests/frame/golden/report_full.txt");
};

TEST_F(RunLogTest, LevelsDecideWhichLinesAreWritten) {
  ASSERT_FALSE(full_.empty());
  Report(FullLog, Overwrite);
  EXPECT_EQ(Written(), full_);
  Report(ErrorLogOnly, Overwrite);
  std::string errorsOnly = full_;
  errorsOnly.erase(errorsOnly.find("Success\tSRV1\n"), 13);
  EXPECT_EQ(Written(), errorsOnly);
  EXPECT_EQ(log_.file, nullptr);
  TempNetwork::WriteFile(log_.fileName, "earlier report\n");
  Report(NoLog, Overwrite);  // never touches the file, even to overwrite it
  EXPECT_EQ(Written(), "earlier report\n");
}

TEST_F(RunLogTest, AppendFollowsOverwriteReplaces) {
  Report(FullLog, Append);
  Report(FullLog, Append);
  EXPECT_EQ(Written(), full_ + full_);
  Report(FullLog, Overwrite);
  EXPECT_EQ(Written(), full_);
  Report(FullLog, 7);  // any mode other than Overwrite appends
  EXPECT_EQ(Written(), full_ + full_);
}

TEST_F(RunLogTest, AnUnusablePathDropsTheReportWithoutMakingAnything) {
  log_.fileName = net_.root() + "/no/such/folder/run.log";
  Report(FullLog, Overwrite);
  EXPECT_FALSE(OpenRunLog(log_));
  EXPECT_EQ(log_.file, nullptr);
  WriteLogLine(log_, LineClass::Always, "%s", "dropped");
  EXPECT_FALSE(std::filesystem::exists(net_.root() + "/no"));
}

TEST_F(RunLogTest, OutsideTextIsWrittenAsItStands) {
  log_.level = FullLog;
  log_.mode = Overwrite;
  ASSERT_TRUE(OpenRunLog(log_));
  WriteLogLine(log_, LineClass::Always, "%s\n", "100% %s %n");
  CloseRunLog(log_);
  EXPECT_EQ(Written(), "100% %s %n\n");
}

}  // namespace
