// A private network folder for one test: TALLYARD_NETWORK, COMPUTERNAME and XDG_RUNTIME_DIR
// point into a fresh temporary folder that is removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/core/network.h"

class TempNetwork {
 public:
  TempNetwork() {
    char tmpl[] = "/tmp/tallyard-test-XXXXXX";
    const char* made = ::mkdtemp(tmpl);
    if (!made) throw std::runtime_error("mkdtemp failed");
    root_ = made;
    network_ = root_ + "/network";
    std::filesystem::create_directories(network_);
    std::filesystem::create_directories(root_ + "/run");
    ::setenv("TALLYARD_NETWORK", network_.c_str(), 1);
    ::setenv("COMPUTERNAME", "ADMINPC", 1);
    ::setenv("XDG_RUNTIME_DIR", (root_ + "/run").c_str(), 1);
  }
  ~TempNetwork() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  TempNetwork(const TempNetwork&) = delete;
  TempNetwork& operator=(const TempNetwork&) = delete;

  const std::string& root() const { return root_; }
  const std::string& network() const { return network_; }

  // A computer folder with its host.ini and an empty C drive; returns the folder.
  std::string AddComputer(const std::string& name, const platform::HostInfo& info = {}) const {
    std::string dir = network_ + "/" + name;
    std::filesystem::create_directories(dir + "/C");
    EXPECT_EQ(platform::WriteHostInfo(dir + "/host.ini", info), 0u);
    return dir;
  }

  static void WriteFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string root_;
  std::string network_;
};
