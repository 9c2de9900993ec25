// Building a computer image: the folder, host.ini, the drive and the four hives of a minimal
// Windows NT computer. Used by hostkit (new computers) and tallyard-setup (this computer).
#pragma once

#include <string>

#include "platform/core/network.h"
#include "platform/core/win32.h"

namespace platform {

struct ImageSpec {
  std::string name;  // the computer's name, also its folder's
  HostInfo host;     // role, domain, version and systemroot shape the hives
  unsigned folderMode = 0755;
  unsigned fileMode = 0644;
};

// Creates what is missing of the image and fills in the hives' keys and values that are not
// there yet: an existing image keeps every value it has (so running this twice changes
// nothing). The hives get:
//   SYSTEM    Select (Current 1), ControlSet001\Control\ComputerName\ComputerName,
//             Control\ProductOptions\ProductType (WinNT, ServerNT, LanmanNT), and
//             Services\EventLog\{Application,Security,System} with File, MaxSize, Retention;
//   SOFTWARE  Microsoft\Windows NT\CurrentVersion: SystemRoot, CurrentVersion (and
//             CurrentBuildNumber 1381 for 4.0);
//   SECURITY  Policy\PolAdtEv: auditing off, 7 categories (9 from version 5.0 on), and
//             Policy\PolSrvRo for controllers (3 primary, 2 backup);
//   SAM       SAM\Domains\Account with the machine SID in V, users Administrator (500) and
//             Guest (501) with their Names entries.
// The machine SID comes from the name, so an image built again is the same image.
DWORD BuildComputerImage(const ImageSpec& spec);

// The audit policy value of an image with all categories off and auditing off (36 bytes for
// NT 4.0's 7 categories, 44 for 9).
std::string EmptyAuditPolicy(int categories);

}  // namespace platform
