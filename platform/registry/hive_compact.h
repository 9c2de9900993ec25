// Rewriting a hive without its dead cells. hivex never reuses a freed cell, and it copies a
// key's whole subkey list to add one subkey: a key given thousands of subkeys leaves a file of
// dead lists that grows with the square of their number. The compacted copy holds every cell
// that a walk from the root key reaches, once, in fresh bins: keys keep their names, flags,
// times, classes and security cells; lists keep their kinds; values keep their data.
#pragma once

#include <string>
#include <string_view>

#include "platform/core/win32.h"

namespace platform {

// The compacted copy of the hive whose whole file is `hive`. ERROR_REGISTRY_CORRUPT when a cell
// on the way does not check out or the copy would be no smaller (the caller then keeps the hive
// as it is).
DWORD CompactHive(std::string_view hive, std::string& out);

}  // namespace platform
