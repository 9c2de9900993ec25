// Error codes from the host's errno values, and the system texts that go with them.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/accounts/accounts.h"
#include "platform/core/system_messages.h"
#include "platform/messages/pe_resources.h"
#include "platform/net/netapi.h"
#include "platform/core/win32.h"

namespace {

// Where Windows answers a failure differently from a plain reading of errno.
TEST(ErrorsTest, ErrnoBecomesTheCodeWindowsGivesForTheSameFailure) {
  const std::pair<int, DWORD> cases[] = {
      {0, ERROR_SUCCESS},
      {ENOTDIR, ERROR_PATH_NOT_FOUND},
      {EISDIR, ERROR_ACCESS_DENIED},  // a folder opened as a file
      {EBUSY, ERROR_SHARING_VIOLATION},
      {ELOOP, ERROR_BAD_PATHNAME},
      {EIO, ERROR_READ_FAULT},
  };
  for (const auto& [err, code] : cases) EXPECT_EQ(Win32FromErrno(err), code) << "errno " << err;
}

// Whatever a host failure turns into, and whatever the services answer besides, an error box
// has a text to show for it.
TEST(ErrorsTest, EveryCodeWeAnswerHasASystemText) {
  std::vector<DWORD> codes = {platform::ERROR_BAD_EXE_FORMAT, ERROR_INVALID_SID, ERROR_NO_BROWSER_SERVERS_FOUND};
  for (int err = 0; err < 134; ++err) codes.push_back(Win32FromErrno(err));
  for (DWORD code : codes) {
    std::string text;
    EXPECT_TRUE(platform::SystemMessageText(code, text)) << code;
    EXPECT_FALSE(text.empty()) << code;
  }
}

}  // namespace
