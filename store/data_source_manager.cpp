#include "store/data_source_manager.h"

#include <strings.h>

#include <cctype>
#include <cstdio>

namespace {

using platform::DataSourceEntry;
using platform::DataSourceScope;

bool SameName(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

bool Contains(std::string text, const char* part) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text.find(part) != std::string::npos;
}

// One value of the form as the kind's driver names it: written under `key`, read from the
// first of `keys` that the entry has (drivers take several spellings).
struct Field {
  std::string DataSourceForm::*member;
  const char* key;
  std::vector<const char*> keys;
};

const std::vector<Field>& FieldsOf(DatabaseKind kind) {
  static const std::vector<Field> sqlite = {{&DataSourceForm::file, "Database", {"Database"}}};
  // psqlODBC takes the server only as "Servername"; "Server" is read so a data source that
  // (wrongly) has it is put right when saved.
  static const std::vector<Field> postgres = {
      {&DataSourceForm::server, "Servername", {"Servername", "Server"}},
      {&DataSourceForm::port, "Port", {"Port"}},
      {&DataSourceForm::database, "Database", {"Database"}},
      {&DataSourceForm::user, "Username", {"Username", "UID", "User"}},
  };
  static const std::vector<Field> maria = {
      {&DataSourceForm::server, "Server", {"Server", "Servername"}},
      {&DataSourceForm::port, "Port", {"Port"}},
      {&DataSourceForm::database, "Database", {"Database"}},
      {&DataSourceForm::user, "User", {"User", "UID"}},
  };
  return kind == DatabaseKind::Sqlite ? sqlite : kind == DatabaseKind::Postgres ? postgres : maria;
}

const char* const kPasswordKeys[] = {"Password", "PWD"};

// Keys the form owns for `kind`: everything else is kept as it was.
bool FormKey(DatabaseKind kind, const std::string& key) {
  if (SameName(key, "Description")) return true;
  for (const char* k : kPasswordKeys)
    if (SameName(key, k)) return true;
  for (const Field& field : FieldsOf(kind))
    for (const char* k : field.keys)
      if (SameName(key, k)) return true;
  return false;
}

std::string Scope(DataSourceScope scope) { return scope == DataSourceScope::System ? "system" : "user"; }

// A value in a connection string, in braces when it holds what would end it.
std::string ConnectionValue(const std::string& value) {
  if (value.find_first_of(";{}") == std::string::npos && (value.empty() || (value.front() != ' ' && value.back() != ' ')))
    return value;
  std::string braced = "{";
  for (char c : value) braced += c == '}' ? std::string("}}") : std::string(1, c);
  return braced + "}";
}

bool HasControlCharacter(const std::string& text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7f) return true;
  return false;
}

const char* DriverPackage(DatabaseKind kind) {
  return kind == DatabaseKind::Sqlite ? "libsqliteodbc" : kind == DatabaseKind::Postgres ? "odbc-postgresql" : "odbc-mariadb";
}

std::string Place(const DataSourceForm& form) { return form.port.empty() ? form.server : form.server + ":" + form.port; }

}  // namespace

std::optional<DatabaseKind> KindOfDriver(const platform::OdbcDriver& driver) {
  std::string library = driver.library.substr(driver.library.find_last_of('/') + 1);
  for (const std::string* text : std::vector<const std::string*>{&library, &driver.name}) {
    if (Contains(*text, "sqlite")) return DatabaseKind::Sqlite;
    if (Contains(*text, "psqlodbc") || Contains(*text, "postgres")) return DatabaseKind::Postgres;
    if (Contains(*text, "maodbc") || Contains(*text, "mariadb") || Contains(*text, "mysql"))
      return DatabaseKind::Maria;
  }
  return std::nullopt;
}

std::optional<DatabaseKind> KindOfDataSource(const DataSourceEntry& entry,
                                             const std::vector<platform::OdbcDriver>& drivers) {
  if (entry.driver.find('/') != std::string::npos) return KindOfDriver({"", entry.driver, ""});
  for (const platform::OdbcDriver& driver : drivers)
    if (SameName(driver.name, entry.driver)) return KindOfDriver(driver);
  return KindOfDriver({entry.driver, "", ""});
}

DataSourceForm FormOfEntry(const DataSourceEntry& entry, DatabaseKind kind) {
  DataSourceForm form;
  form.kind = kind;
  form.name = entry.name;
  form.scope = entry.scope;
  form.driver = entry.driver;
  form.description = platform::IniValue(entry.attributes, "Description");
  for (const Field& field : FieldsOf(kind))
    for (const char* key : field.keys)
      if (std::string value = platform::IniValue(entry.attributes, key); form.*field.member == "" && !value.empty())
        form.*field.member = value;
  for (const char* key : kPasswordKeys)
    if (form.password.empty()) form.password = platform::IniValue(entry.attributes, key);
  for (const auto& pair : entry.attributes)
    if (!FormKey(kind, pair.first)) form.otherAttributes.push_back(pair);
  return form;
}

bool KeepsPassword(const DataSourceEntry& entry) {
  for (const char* key : kPasswordKeys)
    if (!platform::IniValue(entry.attributes, key).empty()) return true;
  return false;
}

DataSourceEntry EntryOfForm(const DataSourceForm& form) {
  DataSourceEntry entry{form.name, form.scope, form.driver, {}};
  if (!form.description.empty()) entry.attributes.emplace_back("Description", form.description);
  for (const Field& field : FieldsOf(form.kind))
    if (!(form.*field.member).empty()) entry.attributes.emplace_back(field.key, form.*field.member);
  for (const auto& pair : form.otherAttributes)
    if (!FormKey(form.kind, pair.first)) entry.attributes.push_back(pair);
  return entry;
}

std::string CheckFormName(const DataSourceForm& form, const DataSourceEntry* original,
                          const std::vector<DataSourceEntry>& existing) {
  // Corvane keeps the name in 33 bytes; the installer refuses these characters in a name.
  if (form.name.empty()) return "Give the data source a name.";
  if (form.name.size() > 32) return "The name of a data source has at most 32 characters.";
  if (form.name.find_first_of("[]{}(),;?*=!@\\") != std::string::npos || HasControlCharacter(form.name) ||
      form.name.front() == ' ' || form.name.back() == ' ')
    return "The name of a data source cannot hold any of [ ] { } ( ) , ; ? * = ! @ \\ nor begin or end with a space.";
  for (const DataSourceEntry& other : existing) {
    bool itself = original != nullptr && SameName(other.name, original->name) && other.scope == original->scope;
    if (!itself && SameName(other.name, form.name))
      return "There is already a " + Scope(other.scope) + " data source named \"" + other.name + "\".";
  }
  return std::string();
}

std::string CheckFormValues(const DataSourceForm& form) {
  if (form.driver.empty()) return "Choose the driver.";
  for (const std::string* text : std::vector<const std::string*>{&form.description, &form.driver, &form.file, &form.server, &form.port, &form.database,
                                  &form.user, &form.password})
    if (HasControlCharacter(*text)) return "The values cannot hold line breaks or other control characters.";
  if (form.driver.size() > 259 || form.user.size() > 259 || form.password.size() > 259)
    return "The driver's name, the user name and the password have at most 259 characters each.";
  if (form.kind == DatabaseKind::Sqlite) {
    if (form.file.empty() || form.file.front() != '/') return "Choose the database file (a full path).";
    return std::string();
  }
  if (form.server.empty()) return "Enter the server's name or address.";
  if (!form.port.empty()) {
    bool digits = form.port.size() <= 5 && form.port.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stol(form.port) < 1 || std::stol(form.port) > 65535) return "The port is a number from 1 to 65535.";
  }
  if (form.database.empty()) return "Enter the database's name.";
  if (form.user.empty()) return "Enter the user name to log in with.";
  return std::string();
}

std::string ConnectionString(const DataSourceForm& form) {
  std::string text = "Driver=" + ConnectionValue(form.driver) + ";";
  auto add = [&](const char* key, const std::string& value) {
    if (!value.empty()) text += std::string(key) + "=" + ConnectionValue(value) + ";";
  };
  std::vector<std::string> own;
  if (form.kind == DatabaseKind::Sqlite) {
    add("Database", form.file);
    // The driver makes an empty file of a name that does not exist: a test must not.
    add("NoCreat", "1");
    own = {"Database", "NoCreat"};
  } else {
    add(form.kind == DatabaseKind::Postgres ? "Servername" : "Server", form.server);
    add("Port", form.port);
    add("Database", form.database);
    add("UID", form.user);
    add("PWD", form.password);
    own = {"Servername", "Server", "Port", "Database", "UID", "PWD"};
  }
  for (const auto& [key, value] : form.otherAttributes) {
    bool mine = FormKey(form.kind, key);
    for (const std::string& k : own) mine = mine || SameName(k, key);
    if (!mine) add(key.c_str(), value);
  }
  return text;
}

bool CreateDatabaseFile(const DataSourceForm& form, std::string* error) {
  std::string text = "Driver=" + ConnectionValue(form.driver) + ";Database=" + ConnectionValue(form.file) + ";";
  return CreateLogTables(text, DatabaseKind::Sqlite, error);
}

std::string DescribeConnectFailure(const DataSourceForm& form, const ConnectionCheck& check) {
  std::string text;
  switch (check.failure) {
    case ConnectFailure::MissingDriver:
      text = "The ODBC driver \"" + form.driver + "\" cannot be loaded: it is not installed, or its library is missing. " +
             "Choose another driver, or install it (Debian's package for this database is " + DriverPackage(form.kind) +
             ").";
      break;
    case ConnectFailure::MissingDataSource:
      text = "There is no data source \"" + form.name + "\".";
      break;
    case ConnectFailure::WrongLogin:
      text = "The server refused the login: the user name \"" + form.user + "\" or its password is wrong.";
      break;
    case ConnectFailure::ServerUnreachable:
      text = "No database server answers at " + Place(form) +
             ": the server is not running, or the server's name or port is wrong.";
      break;
    case ConnectFailure::MissingDatabase:
      text = "The server " + Place(form) + " has no database \"" + form.database + "\".";
      break;
    case ConnectFailure::None:
    case ConnectFailure::Other:
      text = form.kind == DatabaseKind::Sqlite ? "The database file " + form.file + " cannot be opened."
                                               : "The connection to " + Place(form) + " failed.";
      break;
  }
  return text + "\n\nThe driver says: " + (check.sqlState.empty() ? "" : check.sqlState + " ") + check.message;
}

std::string DescribeUnusableTables(const ConnectionCheck& check) {
  if (check.unusableTables.empty()) return std::string();
  std::string names, details;
  for (const auto& [table, why] : check.unusableTables) {
    names += (names.empty() ? "" : ", ") + table;
    details += "\n" + table + ": " + why;
  }
  return "The database lacks log tables that Corvane writes to, or they lack columns: " + names + ".\n" + details;
}

bool SaveDataSource(const DataSourceForm& form, const DataSourceEntry* original, std::string* error) {
  DataSourceEntry entry = EntryOfForm(form);
  // Compared in the form's own order and spelling; a password in the file counts as a change.
  if (original != nullptr && !KeepsPassword(*original)) {
    DataSourceEntry before = EntryOfForm(FormOfEntry(*original, form.kind));
    if (before.name == entry.name && before.scope == entry.scope && before.driver == entry.driver &&
        before.attributes == entry.attributes)
      return true;
  }
  if (!platform::WriteDataSource(entry, error)) return false;
  if (original == nullptr || (SameName(original->name, form.name) && original->scope == form.scope)) return true;
  std::string why;
  if (!platform::RemoveDataSource(original->name, original->scope, &why)) {
    if (error) *error = "The data source was saved as \"" + form.name + "\", but the old one could not be removed: " + why;
    return false;
  }
  return true;
}

DataSourceSettings CorvaneSettingsOf(const DataSourceForm& form) {
  DataSourceSettings settings;
  std::snprintf(settings.dsn, sizeof settings.dsn, "%s", form.name.c_str());
  std::snprintf(settings.description, sizeof settings.description, "%s", form.driver.c_str());
  settings.type = static_cast<DWORD>(form.kind);
  std::snprintf(settings.user, sizeof settings.user, "%s", form.kind == DatabaseKind::Sqlite ? "" : form.user.c_str());
  std::snprintf(settings.password, sizeof settings.password, "%s",
                form.kind == DatabaseKind::Sqlite ? "" : form.password.c_str());
  settings.regAccess = form.scope == DataSourceScope::System ? 0 : 1;
  return settings;
}
