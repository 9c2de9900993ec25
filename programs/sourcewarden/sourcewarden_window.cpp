#include "programs/sourcewarden/sourcewarden_window.h"

#include <strings.h>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/registry/registry.h"
#include "programs/sourcewarden/data_source_dialog.h"
#include "store/data_source_manager.h"

namespace {

constexpr char kTitle[] = "Sourcewarden";

QString Q(const std::string& s) { return QString::fromStdString(s); }

bool SameName(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

// Corvane's data-source values as its settings hold them now; none without the settings key.
std::optional<DataSourceSettings> ReadCorvaneDataSource() {
  char installPath[260] = {};
  if (ReadSetting("InstallPath", REG_SZ, installPath, sizeof installPath) != ERROR_SUCCESS) return std::nullopt;
  DataSourceSettings s;
  ReadSetting("DSN", REG_SZ, s.dsn, sizeof s.dsn);
  ReadSetting("Description", REG_SZ, s.description, sizeof s.description);
  ReadSetting("User", REG_SZ, s.user, sizeof s.user);
  ReadSetting("Password", REG_SZ, s.password, sizeof s.password);
  return s;
}

std::string Where(const platform::DataSourceEntry& entry, const std::vector<platform::OdbcDriver>& drivers) {
  std::optional<DatabaseKind> kind = KindOfDataSource(entry, drivers);
  if (!kind) return std::string();
  DataSourceForm form = FormOfEntry(entry, *kind);
  if (*kind == DatabaseKind::Sqlite) return form.file;
  std::string place = form.server.empty() ? "localhost" : form.server;
  if (!form.port.empty()) place += ":" + form.port;
  return place + "/" + form.database;
}

}  // namespace

SourcewardenWindow::SourcewardenWindow(QWidget* parent) : QWidget(parent) {
  setWindowTitle("Sourcewarden - ODBC Data Sources");

  sourceList = new QTreeWidget;
  sourceList->setObjectName("sources");
  sourceList->setRootIsDecorated(false);
  sourceList->setHeaderLabels({"Name", "Driver", "Kept in", "Database", "Used by"});
  sourceList->setSelectionMode(QAbstractItemView::SingleSelection);

  auto* add = new QPushButton("&Add...");
  add->setObjectName("add");
  editButton = new QPushButton("&Edit...");
  editButton->setObjectName("edit");
  removeButton = new QPushButton("&Remove");
  removeButton->setObjectName("remove");
  testButton = new QPushButton("&Test...");
  testButton->setObjectName("test");
  corvaneButton = new QPushButton("&Use for Corvane...");
  corvaneButton->setObjectName("useForCorvane");
  auto* buttons = new QVBoxLayout;
  for (QPushButton* b : {add, editButton, removeButton, testButton, corvaneButton}) buttons->addWidget(b);
  buttons->addStretch(1);

  auto* sourcesPage = new QWidget;
  auto* sourcesLayout = new QHBoxLayout(sourcesPage);
  sourcesLayout->addWidget(sourceList, 1);
  sourcesLayout->addLayout(buttons);

  driverList = new QTreeWidget;
  driverList->setObjectName("drivers");
  driverList->setRootIsDecorated(false);
  driverList->setHeaderLabels({"Driver", "Library", "Found at"});

  auto* tabs = new QTabWidget;
  tabs->addTab(sourcesPage, "Data Sources");
  tabs->addTab(driverList, "Drivers");

  filesLabel = new QLabel;
  filesLabel->setObjectName("files");
  filesLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  corvaneLabel = new QLabel;
  corvaneLabel->setObjectName("corvane");
  corvaneLabel->setWordWrap(true);

  auto* refresh = new QPushButton("Re&fresh");
  refresh->setObjectName("refresh");
  auto* close = new QPushButton("&Close");
  close->setObjectName("close");
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(refresh);
  bottom->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs, 1);
  layout->addWidget(filesLabel);
  layout->addWidget(corvaneLabel);
  layout->addLayout(bottom);

  connect(add, &QPushButton::clicked, this, [this] { AddDataSource(); });
  connect(editButton, &QPushButton::clicked, this, [this] { EditDataSource(false); });
  connect(corvaneButton, &QPushButton::clicked, this, [this] { EditDataSource(true); });
  connect(removeButton, &QPushButton::clicked, this, [this] { RemoveDataSource(); });
  connect(testButton, &QPushButton::clicked, this, [this] { TestDataSource(); });
  connect(refresh, &QPushButton::clicked, this, [this] { Refresh(); });
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  connect(sourceList, &QTreeWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });
  connect(sourceList, &QTreeWidget::itemDoubleClicked, this, [this] { EditDataSource(false); });

  resize(820, 440);
  Refresh();
}

void SourcewardenWindow::Refresh() {
  std::string keep;
  if (const platform::DataSourceEntry* s = Selected()) keep = s->name;
  sources = platform::ListDataSources();
  drivers = platform::ListOdbcDrivers();
  corvane = ReadCorvaneDataSource();

  sourceList->clear();
  bool corvaneFound = false;
  for (size_t i = 0; i < sources.size(); ++i) {
    const platform::DataSourceEntry& s = sources[i];
    bool system = s.scope == platform::DataSourceScope::System;
    // The driver manager finds a user data source first; a system one of the same name is hidden.
    bool hidden = false;
    for (const platform::DataSourceEntry& other : sources)
      hidden = hidden || (system && other.scope == platform::DataSourceScope::User && SameName(other.name, s.name));
    bool corvanes = corvane && !hidden && SameName(s.name, corvane->dsn);
    corvaneFound = corvaneFound || corvanes;
    auto* item = new QTreeWidgetItem(sourceList, {Q(s.name), Q(s.driver), system ? "System" : "User", Q(Where(s, drivers)),
                                                  hidden ? "(hidden by the user data source)" : corvanes ? "Corvane" : ""});
    item->setData(0, Qt::UserRole, static_cast<int>(i));
    if (corvanes) {
      QFont bold = item->font(0);
      bold.setBold(true);
      for (int c = 0; c < sourceList->columnCount(); ++c) item->setFont(c, bold);
    }
    if (!keep.empty() && s.name == keep) item->setSelected(true);
  }
  for (int c = 0; c < sourceList->columnCount(); ++c) sourceList->resizeColumnToContents(c);

  driverList->clear();
  for (const platform::OdbcDriver& d : drivers)
    new QTreeWidgetItem(driverList, {Q(d.name), Q(d.library), d.libraryPath.empty() ? "missing" : Q(d.libraryPath)});
  for (int c = 0; c < driverList->columnCount(); ++c) driverList->resizeColumnToContents(c);

  auto file = [](platform::DataSourceScope scope) {
    return Q(platform::DataSourceFile(scope)) + (platform::CanWriteDataSources(scope) ? "" : "  (you may not change it)");
  };
  filesLabel->setText("System data sources: " + file(platform::DataSourceScope::System) +
                      "\nUser data sources: " + file(platform::DataSourceScope::User));

  if (!corvane) {
    corvaneLabel->setText("Tallyard is not installed on this computer, so no data source can be given to Corvane "
                          "here (run tallyard-setup).");
  } else if (corvane->dsn[0] == '\0') {
    corvaneLabel->setText("Corvane has no data source yet: choose one and press \"Use for Corvane...\".");
  } else {
    QString text = "Corvane gathers into \"" + QString(corvane->dsn) + "\" (driver " + corvane->description +
                   (corvane->user[0] ? ", user " + QString(corvane->user) : QString()) + ").";
    if (!corvaneFound) text += " There is no data source of that name!";
    corvaneLabel->setText(text);
  }
  SelectionChanged();
}

const platform::DataSourceEntry* SourcewardenWindow::Selected() const {
  QList<QTreeWidgetItem*> items = sourceList->selectedItems();
  if (items.isEmpty()) return nullptr;
  int index = items.first()->data(0, Qt::UserRole).toInt();
  return index >= 0 && static_cast<size_t>(index) < sources.size() ? &sources[static_cast<size_t>(index)] : nullptr;
}

void SourcewardenWindow::SelectionChanged() {
  bool any = Selected() != nullptr;
  for (QPushButton* b : {editButton, removeButton, testButton}) b->setEnabled(any);
  corvaneButton->setEnabled(any && corvane.has_value());
}

void SourcewardenWindow::AddDataSource() {
  DataSourceDialog dialog(drivers, sources, nullptr, corvane ? &*corvane : nullptr, this);
  dialog.exec();
  Refresh();
}

void SourcewardenWindow::EditDataSource(bool forCorvane) {
  const platform::DataSourceEntry* entry = Selected();
  if (entry == nullptr) return;
  if (!KindOfDataSource(*entry, drivers)) {
    QMessageBox::information(this, kTitle, Q("Sourcewarden makes and changes data sources of the SQLite, PostgreSQL and "
                                             "MariaDB drivers; \"" + entry->name + "\" uses the driver \"" +
                                             entry->driver + "\"."));
    return;
  }
  DataSourceDialog dialog(drivers, sources, entry, corvane ? &*corvane : nullptr, this);
  if (forCorvane) dialog.OfferForCorvane();
  dialog.exec();
  Refresh();
}

void SourcewardenWindow::RemoveDataSource() {
  const platform::DataSourceEntry* entry = Selected();
  if (entry == nullptr) return;
  std::string file = platform::DataSourceFile(entry->scope);
  std::string question = "Remove the data source \"" + entry->name + "\" from " + file + "?";
  if (corvane && SameName(entry->name, corvane->dsn))
    question += "\n\nCorvane gathers into it: it cannot gather until it has a data source again.";
  if (QMessageBox::question(this, kTitle, Q(question), QMessageBox::Yes | QMessageBox::No, QMessageBox::No) !=
      QMessageBox::Yes)
    return;
  std::string error;
  if (!platform::RemoveDataSource(entry->name, entry->scope, &error))
    QMessageBox::critical(this, kTitle, Q("The data source was not removed: " + error));
  Refresh();
}

void SourcewardenWindow::TestDataSource() {
  const platform::DataSourceEntry* entry = Selected();
  if (entry == nullptr) return;
  std::optional<DatabaseKind> kind = KindOfDataSource(*entry, drivers);
  if (!kind) {
    QMessageBox::information(this, kTitle, Q("Sourcewarden tries data sources of the SQLite, PostgreSQL and MariaDB "
                                             "drivers only."));
    return;
  }
  DataSourceForm form = FormOfEntry(*entry, *kind);
  if (*kind != DatabaseKind::Sqlite) {
    // Corvane's own login for its data source; else the password is asked for.
    if (corvane && SameName(entry->name, corvane->dsn) && corvane->user[0] != '\0') {
      form.user = corvane->user;
      form.password = corvane->password;
    } else if (form.password.empty()) {
      bool ok = false;
      QString given = QInputDialog::getText(this, kTitle,
                                            Q("Password of the user \"" + form.user + "\" for \"" + entry->name + "\":"),
                                            QLineEdit::Password, QString(), &ok);
      if (!ok) return;
      form.password = given.toStdString();
    }
  }
  ProbeDatabase(this, form, false);
}
