// The dialog that makes a new data source or changes one: the database kind and its driver,
// the name, the file it is kept in, the database file or the server's values, and whether
// Corvane gathers into it. OK tries the database first and changes nothing when that fails.
#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "frame/settings.h"
#include "platform/odbc/odbc_ini.h"
#include "store/data_source_manager.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QGroupBox;

// Tries the form's database and tells the user what it found; offers to make a SQLite file
// that is not there and log tables that are missing. `saving`: a failure says that nothing was
// changed, and success is silent. True when the database was reached.
bool ProbeDatabase(QWidget* parent, const DataSourceForm& form, bool saving);

class DataSourceDialog : public QDialog {
  Q_OBJECT

 public:
  // `original`: the data source to change, or null for a new one. `corvane`: Corvane's data
  // source as its settings hold it, or null when Tallyard is not installed here.
  DataSourceDialog(std::vector<platform::OdbcDriver> drivers, std::vector<platform::DataSourceEntry> existing,
                   const platform::DataSourceEntry* original, const DataSourceSettings* corvane, QWidget* parent = nullptr);

  // Ticks "Corvane gathers into this data source" and puts the cursor where a login is asked.
  void OfferForCorvane();
  DataSourceForm Form() const;

  void accept() override;

 private:
  void KindChanged();
  void ChooseFile();
  void Test();

  std::vector<platform::OdbcDriver> drivers;
  std::vector<platform::DataSourceEntry> existing;
  std::optional<platform::DataSourceEntry> original;
  platform::IniEntries otherAttributes;
  bool installed = false;

  QComboBox* kind;
  QComboBox* driver;
  QLineEdit* name;
  QLineEdit* description;
  QRadioButton* systemScope;
  QRadioButton* userScope;
  QGroupBox* filePage;
  QGroupBox* serverPage;
  QLineEdit* file;
  QLineEdit* server;
  QLineEdit* port;
  QLineEdit* database;
  QLineEdit* user;
  QLineEdit* password;
  QLabel* passwordNote;
  QCheckBox* forCorvane;
};
