// The one path function: every file name the programs handle becomes a native path here.
#pragma once

#include <string>
#include <string_view>

#include "platform/core/network.h"
#include "platform/core/win32.h"

namespace platform {

enum class PathUse { Read, Create };

// Accepts a native path ("/home/x/list.imp", "list.imp"), a drive path of the local computer
// ("C:\WINNT\...", mapped into <network>/<COMPUTERNAME>/C/...) and an administrative share path
// ("\\SRV1\C$\WINNT\...", mapped into <network>/SRV1/C/...; "\\SRV1\ADMIN$\..." is the computer's
// system root). Backslash and slash both separate.
// Inside an image names resolve without regard to case, and nothing may climb out of the drive
// folder at any moment: callers open the native path again beneath the drive folder
// (platform/core/beneath.h). Errors: 53 (computer absent or switched off), 67 (not an
// administrative share), 3 (a folder on the way is missing), 5 (the path leaves the image),
// 161 (malformed).
DWORD ResolvePath(std::string_view path, std::string& native, PathUse use = PathUse::Read);

// Resolves a Windows drive path ("C:\WINNT\system32\x.dll") inside one computer's image.
DWORD ResolveImagePath(const ComputerImage& computer, std::string_view winPath,
                       std::string& native, PathUse use = PathUse::Read);

// Makes the missing folders of a drive path ("C:\WINNT\System32\config") inside the image,
// each found or made through the drive folder's descriptor (a drive folder that is missing is
// made too); `native` is the deepest. Errors as ResolveImagePath.
DWORD MakeImageFolders(const ComputerImage& computer, std::string_view winFolder, unsigned mode, std::string& native);

// Replaces %SystemRoot% and %WinDir% (any case) with the computer's system root.
std::string ExpandSystemRoot(std::string_view text, std::string_view systemRoot);

// Case-insensitive comparison of ASCII letters, as Windows compares names.
bool EqualsNoCase(std::string_view a, std::string_view b);

// Creates the folders of a native path with the given mode (existing ones are left alone).
DWORD MakeFolders(const std::string& native, unsigned mode);

}  // namespace platform

// Removes a file named as ResolvePath takes it. ERROR_FILE_NOT_FOUND when there is none,
// ERROR_ACCESS_DENIED for a folder.
BOOL DeleteFileA(LPCSTR fileName);
