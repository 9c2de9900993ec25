// The computers of the network: the browse list of this computer's domain, and the type of
// computers whose names came from a list file.
#pragma once

#include "frame/computer_list.h"
#include "platform/net/netapi.h"
#include "platform/core/win32.h"

constexpr DWORD kFirstBrowseBufferSize = 65000;
constexpr int kMaxBrowseCalls = 10;
constexpr DWORD kBrowseTypeMask = SV_TYPE_WORKSTATION | SV_TYPE_SERVER | SV_TYPE_DOMAIN_CTRL | SV_TYPE_DOMAIN_BAKCTRL;
constexpr int kMaxLookupCalls = 10;
constexpr DWORD kLookupRetryMs = 500;

// Replaces `list` with the Windows NT computers of this computer's primary domain, in the order
// of the browse answer. A browse that fails leaves the list empty. Always true.
bool BrowseNetwork(ComputerList& list = computerList);

// Name (at most 15 characters of sv101_name) and type of one browse entry; no lookup thread.
ComputerRecord RecordFromServerInfo(const SERVER_INFO_101& entry);

// The one place that turns type flags and version into `typeText` and `typeImage`.
void DescribeServer(const SERVER_INFO_101& entry, ComputerRecord& record);

// Determines the type of every record, one thread per record, all started before the first is
// waited for, waited for in list order under the Loading dialog; returns when all are done.
// No dialog for an empty list.
void LookupComputerTypes(ComputerList& list, HWND owner);

// The thread procedure of one lookup; `param` is the ComputerRecord it writes.
DWORD TypeLookupThread(LPVOID param);
