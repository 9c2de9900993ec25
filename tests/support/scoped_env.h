// Environment changes that a test undoes on every path, a failed assertion included.
#pragma once

#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <optional>
#include <string>

// Sets (or, with nullopt, removes) one variable; the old value comes back at the end of scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  void Set(const std::optional<std::string>& value) const {
    if (value) ::setenv(name_.c_str(), value->c_str(), 1);
    else ::unsetenv(name_.c_str());
    if (name_ == "TZ") ::tzset();
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Changes the working folder until the end of scope.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::filesystem::path& to) : before_(std::filesystem::current_path()) {
    std::filesystem::current_path(to);
  }
  ~ScopedCwd() {
    std::error_code ec;
    std::filesystem::current_path(before_, ec);
  }
  ScopedCwd(const ScopedCwd&) = delete;
  ScopedCwd& operator=(const ScopedCwd&) = delete;

 private:
  std::filesystem::path before_;
};
