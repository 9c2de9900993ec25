// A private ODBC configuration folder: the system's drivers without their communication logs.
#pragma once

#include <string>

#include "tests/support/temp_network.h"

// Writes <folder>/odbcinst.ini from the system's; false when the SQLite3 driver is not there.
inline bool WriteOdbcDrivers(const std::string& folder) {
  std::string drivers = TempNetwork::ReadFile("/etc/odbcinst.ini");
  for (size_t at; (at = drivers.find("CommLog=1")) != std::string::npos;) drivers.replace(at, 9, "CommLog=0");
  TempNetwork::WriteFile(folder + "/odbcinst.ini", drivers);
  return drivers.find("[SQLite3]") != std::string::npos;
}
