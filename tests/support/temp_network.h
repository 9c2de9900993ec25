// A private network folder for one test: TALLYARD_NETWORK, COMPUTERNAME and XDG_RUNTIME_DIR
// point into a fresh folder under $TMPDIR (or /tmp); the folder is removed and the variables
// restored afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/core/network.h"
#include "tests/support/scoped_env.h"

// Set before a platform call whose error is checked: a call that sets none leaves this, which
// is neither success nor any code a test expects.
constexpr DWORD kUnsetError = 0xDEADBEEF;

// A new folder <$TMPDIR or /tmp>/<prefix>-XXXXXX.
inline std::string MakeTempFolder(const char* prefix) {
  const char* tmp = ::getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  return std::filesystem::canonical(tmpl).string();  // as the tools print it, whatever $TMPDIR says
}

class TempNetwork {
 public:
  explicit TempNetwork(const char* localName = "ADMINPC")
      : root_(MakeRoot()), network_(root_ + "/network"), networkVar_("TALLYARD_NETWORK", network_),
        nameVar_("COMPUTERNAME", localName), runVar_("XDG_RUNTIME_DIR", root_ + "/run") {
    std::filesystem::create_directories(network_);
    std::filesystem::create_directories(root_ + "/run");
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
  // The same with the domain and role set.
  std::string Add(const std::string& name, const std::string& domain, const std::string& role,
                  platform::HostInfo info = {}) const {
    info.domain = domain;
    info.role = role;
    return AddComputer(name, info);
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
  static std::string MakeRoot() { return MakeTempFolder("tallyard-test"); }
  std::string root_;
  std::string network_;
  ScopedEnv networkVar_, nameVar_, runVar_;
};
