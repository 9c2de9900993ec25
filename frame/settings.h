// The settings of both programs, kept under their key of HKEY_LOCAL_MACHINE.
// (The load and save procedures arrive with the registry; the records are fixed here so that
// every subsystem agrees on them.)
#pragma once

#include "platform/win32.h"

// Corvane's data source, used by the event store and the data-source creation.
struct DataSourceSettings {
  char dsn[33] = {};
  char description[260] = {};
  DWORD dataSourceMissing = 0;
  DWORD type = 1;
  char user[260] = {};
  char password[260] = {};
  DWORD regAccess = 0;
};

// Corvane's gather settings.
struct GatherSettings {
  DWORD timeOut = 180;            // minutes the unattended run waits for its worker
  DWORD eraseLogs = 0;            // 1: clear each log after a complete gather
  DWORD transactionPeriod = 100;  // commit period in inserted rows
  DWORD loadDescriptions = 1;     // 1: message files of the remote computer, 0: of this one
};

extern DataSourceSettings dataSourceSettings;
extern GatherSettings gatherSettings;
