// A private ODBC configuration folder: the system's drivers without their communication logs.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// Writes <folder>/odbcinst.ini from the system's; false when the SQLite3 driver is not there.
inline bool WriteOdbcDrivers(const std::string& folder) {
  std::ifstream in("/etc/odbcinst.ini");
  std::stringstream s;
  s << in.rdbuf();
  std::string drivers = s.str();
  for (size_t at; (at = drivers.find("CommLog=1")) != std::string::npos;) drivers.replace(at, 9, "CommLog=0");
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/odbcinst.ini") << drivers;
  return drivers.find("[SQLite3]") != std::string::npos;
}
