// What the gather run's tests share: a progress window without a window (it records what the
// worker shows and can press Cancel, or do anything else, when the bar reaches a record), the
// computers and records of a test network, and a PostgreSQL server of the test's own that it
// may stop in the middle of a run.
#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "frame/run_progress.h"
#include "platform/eventlog/eventlog.h"
#include "platform/registry/hive_image.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"

namespace gathertest {

// The progress window of an interactive run, drawn nowhere.
class WindowlessRun : public RunWindows, public RunProgress {
 public:
  // Called on the worker thread with the text line and the bar's position at every move.
  std::function<void(const std::string& text, uint32_t position)> onPosition;
  std::vector<std::string> texts;
  uint32_t range = 0;

  HWND Owner() override { return reinterpret_cast<HWND>(this); }
  void SetText(const std::string& text) override { texts.push_back(text); }
  void SetRange(uint32_t count) override { range = count; }
  void SetPosition(uint32_t position) override {
    if (onPosition) onPosition(texts.empty() ? "" : texts.back(), position);
  }
  void Done() override {
    std::unique_lock<std::mutex> lock(m_);
    if (std::this_thread::get_id() == windowThread_) {  // a run that could not start its worker
      done_ = left_ = true;
      return;
    }
    done_ = true;
    cv_.notify_all();
    cv_.wait(lock, [&] { return closed_; });
    left_ = true;
    cv_.notify_all();
  }
  void ShowProgress(HWND, const RunWindowSteps& steps) override {
    texts.clear();
    done_ = closed_ = left_ = false;
    windowThread_ = std::this_thread::get_id();
    CancelRequested = 0;
    steps.start(*this);
    std::unique_lock<std::mutex> lock(m_);
    ASSERT_TRUE(cv_.wait_for(lock, std::chrono::minutes(5), [&] { return done_; })) << "the worker never ended";
    lock.unlock();
    steps.finish();
    lock.lock();
    closed_ = true;
    cv_.notify_all();
    cv_.wait(lock, [&] { return left_; });
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool done_ = false, closed_ = false, left_ = false;
  std::thread::id windowThread_;
};

// Records of one log: `n` of them from `first` on, a new second every `perSecond` records, each
// with a serial of its own (so no two rows are alike) and the name `computer` in the record.
inline std::vector<platform::EventInput> Records(int n, DWORD first, const std::string& computer, int perSecond = 3,
                                                 int serial = 0) {
  std::vector<platform::EventInput> out;
  for (int i = 0; i < n; ++i) {
    platform::EventInput in;
    in.source = "Service Control Manager";
    in.computer = computer;
    in.timeGenerated = in.timeWritten = first + static_cast<DWORD>(i / perSecond);
    in.eventId = 7036;
    in.strings = {"Spooler", "#" + std::to_string(serial + i)};
    out.push_back(in);
  }
  return out;
}

inline void AddComputer(const std::string& name, const platform::HostInfo& host = {}) {
  platform::ImageSpec spec;
  spec.name = name;
  spec.host = host;
  ASSERT_EQ(platform::BuildComputerImage(spec), 0u) << name;
  // Logs of tens of thousands of records.
  platform::ComputerImage image;
  ASSERT_EQ(platform::FindComputer(name, image), 0u);
  for (const char* log : {"System", "Security", "Application"})
    ASSERT_EQ(platform::WriteImageValue(image, std::string("SYSTEM\\ControlSet001\\Services\\EventLog\\") + log, "MaxSize",
                                        platform::DwordValue(64 << 20)),
              0u);
}

inline void Append(const std::string& computer, const char* log, const std::vector<platform::EventInput>& records) {
  platform::ComputerImage image;
  platform::EventLogLocation location;
  ASSERT_EQ(platform::FindComputer(computer, image), 0u);
  ASSERT_EQ(platform::LocateImageEventLog(image, log, location), 0u);
  ASSERT_EQ(platform::AppendEventRecords(location, records), 0u) << computer << " " << log;
}

// A PostgreSQL server of this process alone (its own folder and port, no durability), so a
// test can stop it under a running gather. Root runs it as the postgres account.
class PrivatePostgres {
 public:
  // Empty when the server can be started; else why not.
  std::string Start() {
    std::string bin;
    if (RunTool("ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1", &bin) != 0 || bin.size() < 2)
      return "the PostgreSQL server binaries are not installed";
    bin_ = bin.substr(0, bin.size() - 1);
    char tmpl[] = "/tmp/tallyard-pg-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    std::filesystem::permissions(dir_, std::filesystem::perms::all ^ std::filesystem::perms::others_write ^
                                           std::filesystem::perms::group_write);
    as_ = ::getuid() == 0 ? "runuser -u postgres -- " : "";
    if (::getuid() == 0) RunTool("chown postgres " + Quoted(dir_));
    port_ = FreePort();
    std::string out;
    if (RunTool(as_ + bin_ + "/initdb -D " + Quoted(dir_ + "/data") + " -U postgres --auth=trust -E UTF8 --locale=C.UTF-8",
                &out) != 0)
      return "initdb failed: " + out;
    if (!Run("start", out)) return "the server did not start: " + out;
    if (RunTool("psql -qX -h " + Quoted(dir_) + " -p " + std::to_string(port_) +
                    " -U postgres -c 'CREATE DATABASE tallyard'",
                &out) != 0)
      return "no database: " + out;
    return "";
  }
  bool Stop() {
    std::string out;
    return Run("stop", out);
  }
  bool Restart() {
    std::string out;
    return Run("start", out);
  }
  int port() const { return port_; }
  ~PrivatePostgres() {
    if (dir_.empty()) return;
    Stop();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

 private:
  bool Run(const std::string& what, std::string& out) {
    std::string options = "-c listen_addresses=127.0.0.1 -p " + std::to_string(port_) + " -k " + dir_ + " -c fsync=off";
    return RunTool(as_ + bin_ + "/pg_ctl -D " + Quoted(dir_ + "/data") + " -l " + Quoted(dir_ + "/log") +
                       " -w -t 30 -m immediate -o " + Quoted(options) + " " + what,
                   &out) == 0;
  }
  static int FreePort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
  }
  std::string bin_, dir_, as_;
  int port_ = 0;
};

}  // namespace gathertest
