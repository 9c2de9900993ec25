// The network folder and its computers: the only code that knows a computer is a folder.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/win32.h"

namespace platform {

// What the network knows of one computer (its host.ini).
struct HostInfo {
  std::string domain;
  std::string role = "workstation";  // workstation | server | pdc | bdc
  std::string version = "4.0";       // major.minor as the browser reports it
  std::string systemroot = "C:\\WINNT";
  std::string comment;
  std::optional<DWORD> type;  // browse type flags that override the role's
  bool online = true;
  int busy = 0;
  std::set<std::string> deny;  // eventlog (or eventlog:<Log>), clear, registry, lsa-open, lsa-set
  bool Denies(std::string_view what) const;
};

struct ComputerImage {
  std::string name;  // as the folder is named
  std::string root;  // native path of the computer's folder
  HostInfo host;
};

// TALLYARD_NETWORK, else ${XDG_DATA_HOME:-$HOME/.local/share}/tallyard/network.
std::string NetworkFolder();

// COMPUTERNAME, else the host name upper-cased and cut to 15 characters.
std::string LocalComputerName();

// Drops a leading "\\" and compares without regard to case, as NetBIOS names do.
std::string NormalizeComputerName(std::string_view name);
bool SameComputerName(std::string_view a, std::string_view b);

// Finds a computer of the network, switched off or not. ERROR_BAD_NETPATH when there is none
// (also for an empty or malformed name).
DWORD FindComputer(std::string_view name, ComputerImage& out);

// Finds a computer that answers: ERROR_BAD_NETPATH when absent or switched off. An empty name
// (or null) is the local computer.
DWORD ReachComputer(const char* name, ComputerImage& out);

// Every computer of the network folder, in name order.
std::vector<ComputerImage> ListComputers();

// host.ini: read (missing keys keep their defaults; a missing file is ERROR_FILE_NOT_FOUND, one
// that is no regular file or over 64 KiB is ERROR_BAD_FORMAT) and write (replaced whole).
DWORD ReadHostInfo(const std::string& file, HostInfo& out);
DWORD WriteHostInfo(const std::string& file, const HostInfo& info);
HostInfo ParseHostInfo(std::string_view text);
std::string FormatHostInfo(const HostInfo& info);

}  // namespace platform
