// Sourcewarden's window: the ODBC data sources and drivers of this computer, and the data
// source that Corvane gathers into.
#pragma once

#include <QWidget>
#include <optional>
#include <vector>

#include "frame/settings.h"
#include "platform/odbc/odbc_ini.h"

class QLabel;
class QPushButton;
class QTreeWidget;

class SourcewardenWindow : public QWidget {
  Q_OBJECT

 public:
  explicit SourcewardenWindow(QWidget* parent = nullptr);

  // Reads the ODBC files and Corvane's settings again.
  void Refresh();

 private:
  void AddDataSource();
  void EditDataSource(bool forCorvane);
  void RemoveDataSource();
  void TestDataSource();
  void SelectionChanged();
  const platform::DataSourceEntry* Selected() const;

  std::vector<platform::DataSourceEntry> sources;
  std::vector<platform::OdbcDriver> drivers;
  std::optional<DataSourceSettings> corvane;  // none: Tallyard is not installed here

  QTreeWidget* sourceList;
  QTreeWidget* driverList;
  QLabel* filesLabel;
  QLabel* corvaneLabel;
  QPushButton* editButton;
  QPushButton* removeButton;
  QPushButton* testButton;
  QPushButton* corvaneButton;
};
