#include "frame/settings.h"

#include <cstring>
#include <vector>

#include "frame/app_state.h"
#include "frame/computer_list.h"
#include "frame/run_log.h"
#include "platform/registry/registry.h"

DataSourceSettings dataSourceSettings;
GatherSettings gatherSettings;
PolicySettings policySettings;
DWORD praxonTimeOut = 60;

const char kCorvaneSettingsKey[] = "SOFTWARE\\Quillon\\Tallyard\\CurrentVersion\\";
const char kPraxonSettingsKey[] = "SOFTWARE\\Quillon\\Tallyard\\CurrentVersion\\Praxon";

namespace {

constexpr DWORD kPathSize = 260;

// The audit values in stored order: success then failure for each category, category order.
const char* const kAuditValueNames[kAuditCategoryCount][2] = {
    {"SystemSuccess", "SystemFailure"},
    {"LogonSuccess", "LogonFailure"},
    {"ObjectAccessSuccess", "ObjectAccessFailure"},
    {"PrivilegeUseSuccess", "PrivilegeUseFailure"},
    {"DetailedTrackingSuccess", "DetailedTrackingFailure"},
    {"PolicyChangeSuccess", "PolicyChangeFailure"},
    {"AccountManagementSuccess", "AccountManagementFailure"},
};

bool IsPraxon() { return appState.program == Program::Praxon; }

// A DWORD setting read into a 32-bit field of any signedness.
template <typename T>
void ReadNumber(const char* name, T& field) {
  static_assert(sizeof(T) == 4);
  DWORD v = 0;
  if (ReadSetting(name, REG_DWORD, &v, sizeof v) == ERROR_SUCCESS) std::memcpy(&field, &v, sizeof v);
}

bool WriteNumber(const char* name, DWORD value) { return WriteSetting(name, REG_DWORD, &value, sizeof value); }

// A fixed buffer may hold a string without its NUL only if someone wrote past it: never send
// more than the buffer holds.
bool WriteText(const char* name, const char* text, size_t capacity) {
  const size_t len = strnlen(text, capacity - 1);
  std::string s(text, len);
  return WriteSetting(name, REG_SZ, s.c_str(), static_cast<DWORD>(len + 1));
}

bool WriteText(const char* name, const std::string& text) {
  return WriteSetting(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void LoadRunLogSettings(const std::string& installPath) {
  // The run log's file name is about to change: a file still open under the old one is closed.
  CloseRunLog(runLog);
  char logFile[kPathSize];
  CopyText(logFile, sizeof logFile, InstallFilePath(installPath, IsPraxon() ? "Praxon.log" : "Tallyard.log"));
  ReadSetting("LogFile", REG_SZ, logFile, sizeof logFile);
  runLog.fileName = logFile;
  int32_t level = FullLog, mode = Overwrite;
  ReadNumber("LogFullErrorNo", level);
  ReadNumber("LogAppendOverwrite", mode);
  runLog.level = level;
  runLog.mode = mode;
}

void LoadCorvaneValues() {
  DataSourceSettings& ds = dataSourceSettings;
  std::memset(ds.dsn, 0, sizeof ds.dsn);
  // Only a value that is not there at all means "no data source yet"; one that is there but
  // unreadable (too long, say) reads as empty and is left for the user to fix.
  ds.dataSourceMissing = ReadSetting("DSN", REG_SZ, ds.dsn, sizeof ds.dsn) == ERROR_FILE_NOT_FOUND ? 1 : 0;
  ds.type = 1;
  ReadNumber("Type", ds.type);
  std::memset(ds.description, 0, sizeof ds.description);
  ReadSetting("Description", REG_SZ, ds.description, sizeof ds.description);
  std::memset(ds.user, 0, sizeof ds.user);
  ReadSetting("User", REG_SZ, ds.user, sizeof ds.user);
  std::memset(ds.password, 0, sizeof ds.password);
  ReadSetting("Password", REG_SZ, ds.password, sizeof ds.password);
  ds.regAccess = 0;
  ReadNumber("RegAccess", ds.regAccess);
  GatherSettings& g = gatherSettings;
  g.timeOut = 180;
  ReadNumber("TimeOut", g.timeOut);
  g.eraseLogs = 0;
  ReadNumber("EraseLogs", g.eraseLogs);
  g.transactionPeriod = 100;
  ReadNumber("TransactionPeriod", g.transactionPeriod);
  g.loadDescriptions = 1;
  ReadNumber("LoadDescriptions", g.loadDescriptions);
}

void LoadPraxonValues() {
  praxonTimeOut = 60;
  ReadNumber("TimeOut", praxonTimeOut);
  policySettings = PolicySettings{};
  ReadNumber("AuditingMode", policySettings.auditingMode);
  for (int i = 0; i < kAuditCategoryCount; ++i) {
    ReadNumber(kAuditValueNames[i][0], policySettings.successChoices[i]);
    ReadNumber(kAuditValueNames[i][1], policySettings.failureChoices[i]);
  }
}

DWORD Stored(AuditChoice c) { return static_cast<DWORD>(static_cast<int32_t>(c)); }

bool SaveCorvaneValues() {
  const DataSourceSettings& ds = dataSourceSettings;
  if (ds.dsn[0]) {
    if (!WriteText("DSN", ds.dsn, sizeof ds.dsn)) return false;
    if (!WriteNumber("Type", ds.type)) return false;
    if (!WriteText("Description", ds.description, sizeof ds.description)) return false;
  }
  const GatherSettings& g = gatherSettings;
  return WriteText("User", ds.user, sizeof ds.user) && WriteText("Password", ds.password, sizeof ds.password) &&
         WriteNumber("RegAccess", ds.regAccess) && WriteNumber("TimeOut", g.timeOut) &&
         WriteNumber("EraseLogs", g.eraseLogs) && WriteNumber("TransactionPeriod", g.transactionPeriod) &&
         WriteNumber("LoadDescriptions", g.loadDescriptions);
}

bool SavePraxonValues() {
  if (!WriteNumber("TimeOut", praxonTimeOut)) return false;
  if (!WriteNumber("AuditingMode", static_cast<DWORD>(policySettings.auditingMode))) return false;
  for (int i = 0; i < kAuditCategoryCount; ++i) {
    if (!WriteNumber(kAuditValueNames[i][0], Stored(policySettings.successChoices[i]))) return false;
    if (!WriteNumber(kAuditValueNames[i][1], Stored(policySettings.failureChoices[i]))) return false;
  }
  return true;
}

}  // namespace

const char* SettingsKey() { return IsPraxon() ? kPraxonSettingsKey : kCorvaneSettingsKey; }

std::string InstallFilePath(const std::string& installPath, const char* fileName) {
  // A native install folder gets a native name, the one a person is shown and types; a stored
  // drive path keeps the backslash. The path function takes either.
  const char* separator = !installPath.empty() && installPath[0] == '/' ? "/" : "\\";
  return installPath + separator + fileName;
}

LONG ReadSetting(const char* valueName, DWORD expectedType, void* buffer, DWORD bufferSize) {
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKey(), 0, KEY_QUERY_VALUE, &key);
  if (rc != ERROR_SUCCESS) return rc;
  if (IsPraxon()) {
    // Praxon asks first: a value of another type, or one that does not fit (a DWORD of any
    // size but 4 included), is as good as missing.
    DWORD type = 0, size = 0;
    rc = RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size);
    if (rc == ERROR_SUCCESS &&
        (type != expectedType || size > bufferSize || (expectedType == REG_DWORD && size != sizeof(DWORD))))
      rc = ERROR_FILE_NOT_FOUND;
  }
  if (rc == ERROR_SUCCESS) {
    // Read through a zeroed copy: a short DWORD is zero-extended, a failure changes nothing,
    // and a string that fills the whole buffer without its NUL is refused as too long.
    std::vector<BYTE> copy(bufferSize, 0);
    DWORD size = bufferSize;
    rc = RegQueryValueExA(key, valueName, nullptr, nullptr, copy.data(), &size);
    if (rc == ERROR_SUCCESS && expectedType == REG_SZ && (bufferSize == 0 || copy[bufferSize - 1] != 0))
      rc = ERROR_MORE_DATA;
    if (rc == ERROR_SUCCESS) std::memcpy(buffer, copy.data(), bufferSize);
  }
  RegCloseKey(key);
  return rc;
}

bool WriteSetting(const char* valueName, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKey(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
  LONG rc = RegSetValueExA(key, valueName, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

bool LoadSettings() {
  char installPath[kPathSize] = {};
  if (ReadSetting("InstallPath", REG_SZ, installPath, sizeof installPath) != ERROR_SUCCESS) return false;
  appState.installPath = installPath;
  appState.helpFile = InstallFilePath(appState.installPath, "Tallyard.hlp");
  LoadRunLogSettings(appState.installPath);
  if (IsPraxon()) LoadPraxonValues();
  else LoadCorvaneValues();
  return true;
}

bool SaveSettings() {
  if (!WriteText("LogFile", runLog.fileName)) return false;
  if (!WriteNumber("LogFullErrorNo", static_cast<DWORD>(runLog.level))) return false;
  if (!WriteNumber("LogAppendOverwrite", static_cast<DWORD>(runLog.mode))) return false;
  return IsPraxon() ? SavePraxonValues() : SaveCorvaneValues();
}

bool CheckDataSource() {
  DataSourceSettings& ds = dataSourceSettings;
  if (ReadSetting("DSN", REG_SZ, ds.dsn, sizeof ds.dsn) != ERROR_SUCCESS) return false;
  if (ReadSetting("Type", REG_DWORD, &ds.type, sizeof ds.type) != ERROR_SUCCESS) ds.type = 1;
  return ReadSetting("Description", REG_SZ, ds.description, sizeof ds.description) == ERROR_SUCCESS &&
         ReadSetting("User", REG_SZ, ds.user, sizeof ds.user) == ERROR_SUCCESS &&
         ReadSetting("Password", REG_SZ, ds.password, sizeof ds.password) == ERROR_SUCCESS &&
         ReadSetting("RegAccess", REG_DWORD, &ds.regAccess, sizeof ds.regAccess) == ERROR_SUCCESS;
}
