#include "platform/core/system_messages.h"

namespace platform {
namespace {

struct Entry {
  DWORD code;
  const char* text;
};

// English texts of the codes this platform answers with.
constexpr Entry kTexts[] = {
    {0, "The operation completed successfully."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough storage is available to process this command."},
    {11, "An attempt was made to load a program with an incorrect format."},
    {13, "The data is invalid."},
    {14, "Not enough storage is available to complete this operation."},
    {29, "The system cannot write to the specified device."},
    {30, "The system cannot read from the specified device."},
    {32, "The process cannot access the file because it is being used by another process."},
    {38, "Reached the end of the file."},
    {50, "The request is not supported."},
    {53, "The network path was not found."},
    {67, "The network name cannot be found."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {122, "The data area passed to a system call is too small."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {124, "The system call level is not correct."},
    {161, "The specified path is invalid."},
    {183, "Cannot create a file when that file already exists."},
    {193, "%1 is not a valid Win32 application."},
    {206, "The filename or extension is too long."},
    {234, "More data is available."},
    {235, "The operation was not completed."},
    {258, "The wait operation timed out."},
    {259, "No more data is available."},
    {317, "The system cannot find message text for message number 0x%1 in the message file for %2."},
    {1004, "Invalid flags."},
    {1009, "The configuration registry database is corrupt."},
    {1010, "The configuration registry key is invalid."},
    {1011, "The configuration registry key could not be opened."},
    {1012, "The configuration registry key could not be read."},
    {1013, "The configuration registry key could not be written."},
    {1015, "The registry is corrupted."},
    {1016, "An I/O operation initiated by the registry failed unrecoverably."},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
    {1317, "The specified account does not exist."},
    {1332, "No mapping between account names and security IDs was done."},
    {1337, "The security ID structure is invalid."},
    {1500, "The event log file is corrupted."},
    {1501, "No event log file could be opened, so the event logging service did not start."},
    {1502, "The event log file is full."},
    {1503, "The event log file has changed between read operations."},
    {1812, "The specified image file did not contain a resource section."},
    {1813, "The specified resource type cannot be found in the image file."},
    {1814, "The specified resource name cannot be found in the image file."},
    {1815, "The specified resource language ID cannot be found in the image file."},
    {1722, "The RPC server is unavailable."},
    {1723, "The RPC server is too busy to complete this operation."},
    {1726, "The remote procedure call failed."},
    {6118, "The list of servers for this workgroup is not currently available"},
};

}  // namespace

bool SystemMessageText(DWORD code, std::string& text) {
  for (const auto& e : kTexts) {
    if (e.code == code) {
      text = std::string(e.text) + "\r\n";
      return true;
    }
  }
  SetLastError(ERROR_MR_MID_NOT_FOUND);
  return false;
}

}  // namespace platform
