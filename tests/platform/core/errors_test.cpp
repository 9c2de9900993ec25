// Error codes from the host's errno values, and the system texts that go with them.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/accounts/accounts.h"
#include "platform/net/netapi.h"
#include "platform/messages/pe_resources.h"
#include "platform/core/system_messages.h"
#include "platform/core/win32.h"

namespace {

TEST(ErrorsTest, ErrnoBecomesTheCodeWindowsGivesForTheSameFailure) {
  const std::pair<int, DWORD> cases[] = {
      {0, ERROR_SUCCESS},
      {ENOENT, ERROR_FILE_NOT_FOUND},
      {ENOTDIR, ERROR_PATH_NOT_FOUND},
      {EACCES, ERROR_ACCESS_DENIED},
      {EROFS, ERROR_ACCESS_DENIED},
      {EISDIR, ERROR_ACCESS_DENIED},  // a folder opened as a file
      {EBUSY, ERROR_SHARING_VIOLATION},
      {ENOSPC, ERROR_DISK_FULL},
      {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
      {ELOOP, ERROR_BAD_PATHNAME},
      {EIO, ERROR_READ_FAULT},
  };
  for (const auto& [err, code] : cases) EXPECT_EQ(Win32FromErrno(err), code) << "errno " << err;
}

// Whatever a host failure turns into, an error box has a text to show for it.
TEST(ErrorsTest, EveryCodeFromErrnoHasASystemText) {
  for (int err = 0; err < 134; ++err) {
    std::string text;
    EXPECT_TRUE(platform::SystemMessageText(Win32FromErrno(err), text)) << "errno " << err;
  }
}

TEST(ErrorsTest, SystemTextsOfCodesAnsweredOutsideFileAccess) {
  const std::pair<DWORD, const char*> cases[] = {
      {ERROR_SHARING_VIOLATION, "The process cannot access the file because it is being used by another process.\r\n"},
      {ERROR_DISK_FULL, "There is not enough space on the disk.\r\n"},
      {platform::ERROR_BAD_EXE_FORMAT, "%1 is not a valid Win32 application.\r\n"},
      {ERROR_INVALID_SID, "The security ID structure is invalid.\r\n"},
      {ERROR_NO_BROWSER_SERVERS_FOUND, "The list of servers for this workgroup is not currently available\r\n"},
  };
  for (const auto& [code, expected] : cases) {
    std::string text;
    ASSERT_TRUE(platform::SystemMessageText(code, text)) << code;
    EXPECT_EQ(text, expected) << code;
  }
}

}  // namespace
