// A private network folder for the network-call tests: TALLYARD_NETWORK and COMPUTERNAME point
// into a fresh temporary folder, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/core/network.h"

class NetTestNetwork {
 public:
  explicit NetTestNetwork(const char* localName = "ADMINPC") {
    char tmpl[] = "/tmp/tallyard-net-XXXXXX";
    const char* made = ::mkdtemp(tmpl);
    if (!made) throw std::runtime_error("mkdtemp failed");
    root_ = made;
    std::filesystem::create_directories(root_ + "/network");
    ::setenv("TALLYARD_NETWORK", (root_ + "/network").c_str(), 1);
    ::setenv("COMPUTERNAME", localName, 1);
  }
  ~NetTestNetwork() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  NetTestNetwork(const NetTestNetwork&) = delete;
  NetTestNetwork& operator=(const NetTestNetwork&) = delete;

  // A computer of `domain` with the given role; the rest of host.ini as `info` has it.
  void Add(const std::string& name, const std::string& domain, const std::string& role,
           platform::HostInfo info = {}) const {
    info.domain = domain;
    info.role = role;
    std::string dir = root_ + "/network/" + name;
    std::filesystem::create_directories(dir);
    ASSERT_EQ(platform::WriteHostInfo(dir + "/host.ini", info), 0u) << name;
  }

 private:
  std::string root_;
};
