#include "programs/sourcewarden/data_source_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "store/data_source.h"

namespace {

constexpr char kTitle[] = "Sourcewarden";
constexpr char kNothingChanged[] = "\n\nNothing was changed.";

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }
std::string Trimmed(const QLineEdit* edit) { return edit->text().trimmed().toStdString(); }

const char* KindName(DatabaseKind kind) {
  return kind == DatabaseKind::Sqlite ? "SQLite" : kind == DatabaseKind::Postgres ? "PostgreSQL" : "MariaDB";
}

bool Ask(QWidget* parent, const std::string& text) {
  return QMessageBox::question(parent, kTitle, Q(text), QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
         QMessageBox::Yes;
}

std::string TablesThere() { return "The log tables Application, Security and System are there."; }

}  // namespace

bool ProbeDatabase(QWidget* parent, const DataSourceForm& form, bool saving) {
  const std::string unchanged = saving ? kNothingChanged : "";
  if (form.kind == DatabaseKind::Sqlite && !QFileInfo::exists(Q(form.file))) {
    if (!Ask(parent, "The database file " + form.file + " does not exist yet. Create it with the three log tables?"))
      return false;
    std::string error;
    if (!CreateDatabaseFile(form, &error)) {
      QMessageBox::critical(parent, kTitle, Q("The database file " + form.file + " could not be made.\n\nThe driver says: " + error + unchanged));
      return false;
    }
  }
  ConnectionCheck check = CheckConnection(ConnectionString(form));
  if (!check.Connected()) {
    QMessageBox::critical(parent, kTitle, Q(DescribeConnectFailure(form, check) + unchanged));
    return false;
  }
  if (!check.unusableTables.empty()) {
    if (Ask(parent, DescribeUnusableTables(check) + "\n\nCreate the missing tables now, with the " + KindName(form.kind) +
                        " schema?")) {
      std::string error;
      if (!CreateLogTables(ConnectionString(form), form.kind, &error)) {
        QMessageBox::critical(parent, kTitle, Q("The log tables could not be made.\n\nThe driver says: " + error + unchanged));
        return !saving;
      }
      check = CheckConnection(ConnectionString(form));
      if (!check.unusableTables.empty()) {
        QMessageBox::warning(parent, kTitle, Q(DescribeUnusableTables(check)));
        return true;
      }
      if (!saving) QMessageBox::information(parent, kTitle, Q("The log tables were made. " + TablesThere()));
    }
    return true;
  }
  if (!saving) QMessageBox::information(parent, kTitle, Q("The connection works. " + TablesThere()));
  return true;
}

DataSourceDialog::DataSourceDialog(std::vector<platform::OdbcDriver> driverList,
                                   std::vector<platform::DataSourceEntry> sources,
                                   const platform::DataSourceEntry* edited, const DataSourceSettings* corvane,
                                   QWidget* parent)
    : QDialog(parent), drivers(std::move(driverList)), existing(std::move(sources)), installed(corvane != nullptr) {
  if (edited != nullptr) original = *edited;
  setWindowTitle(edited ? "Data Source " + Q(edited->name) : QString("New Data Source"));

  kind = new QComboBox;
  kind->setObjectName("kind");
  for (DatabaseKind k : {DatabaseKind::Sqlite, DatabaseKind::Postgres, DatabaseKind::Maria})
    kind->addItem(KindName(k), static_cast<int>(k));
  driver = new QComboBox;
  driver->setObjectName("driver");
  name = new QLineEdit;
  name->setObjectName("name");
  name->setMaxLength(32);
  description = new QLineEdit;
  description->setObjectName("description");

  systemScope = new QRadioButton("&System data source, for every user: " + Q(platform::DataSourceFile(platform::DataSourceScope::System)));
  systemScope->setObjectName("systemScope");
  userScope = new QRadioButton("&User data source, yours only: " + Q(platform::DataSourceFile(platform::DataSourceScope::User)));
  userScope->setObjectName("userScope");
  auto* scopeBox = new QVBoxLayout;
  scopeBox->addWidget(systemScope);
  scopeBox->addWidget(userScope);

  auto* general = new QFormLayout;
  general->addRow("&Database:", kind);
  general->addRow("D&river:", driver);
  general->addRow("&Name:", name);
  general->addRow("D&escription:", description);
  general->addRow("Kept in:", scopeBox);

  // SQLite: a file.
  file = new QLineEdit;
  file->setObjectName("file");
  auto* browse = new QPushButton("&Browse...");
  browse->setObjectName("browse");
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(file, 1);
  fileRow->addWidget(browse);
  filePage = new QGroupBox("Database file");
  auto* fileForm = new QFormLayout(filePage);
  auto* fileLabel = new QLabel("&File:");
  fileLabel->setBuddy(file);
  fileForm->addRow(fileLabel, fileRow);

  // PostgreSQL and MariaDB: a server.
  server = new QLineEdit;
  server->setObjectName("server");
  port = new QLineEdit;
  port->setObjectName("port");
  port->setMaxLength(5);
  database = new QLineEdit;
  database->setObjectName("database");
  user = new QLineEdit;
  user->setObjectName("user");
  password = new QLineEdit;
  password->setObjectName("password");
  password->setEchoMode(QLineEdit::Password);
  passwordNote = new QLabel;
  passwordNote->setObjectName("passwordNote");
  passwordNote->setWordWrap(true);
  serverPage = new QGroupBox("Server");
  auto* serverForm = new QFormLayout(serverPage);
  serverForm->addRow("&Server:", server);
  serverForm->addRow("&Port:", port);
  serverForm->addRow("Data&base:", database);
  serverForm->addRow("U&ser:", user);
  serverForm->addRow("Pass&word:", password);
  serverForm->addRow(passwordNote);

  forCorvane = new QCheckBox("&Corvane gathers into this data source");
  forCorvane->setObjectName("forCorvane");
  if (!installed) {
    forCorvane->setEnabled(false);
    forCorvane->setToolTip("Tallyard is not installed on this computer (run tallyard-setup).");
  }

  auto* test = new QPushButton("&Test");
  test->setObjectName("test");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->setObjectName("buttons");
  buttons->addButton(test, QDialogButtonBox::ActionRole);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(general);
  layout->addWidget(filePage);
  layout->addWidget(serverPage);
  layout->addWidget(forCorvane);
  layout->addWidget(buttons);

  connect(kind, &QComboBox::currentIndexChanged, this, [this] { KindChanged(); });
  connect(browse, &QPushButton::clicked, this, [this] { ChooseFile(); });
  connect(test, &QPushButton::clicked, this, [this] { Test(); });
  connect(buttons, &QDialogButtonBox::accepted, this, &DataSourceDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &DataSourceDialog::reject);

  // A file this user may not write cannot take a data source; the edited one's own file stays
  // open, so the data source can be tested and chosen for Corvane unchanged.
  for (auto [button, scope] : {std::pair{systemScope, platform::DataSourceScope::System},
                               std::pair{userScope, platform::DataSourceScope::User}}) {
    if (!platform::CanWriteDataSources(scope) && !(original && original->scope == scope)) {
      button->setEnabled(false);
      button->setToolTip("You may not change " + Q(platform::DataSourceFile(scope)) + ".");
    }
  }
  bool system = original ? original->scope == platform::DataSourceScope::System
                         : platform::CanWriteDataSources(platform::DataSourceScope::System);
  (system ? systemScope : userScope)->setChecked(true);

  std::optional<DatabaseKind> editedKind;
  if (original) editedKind = KindOfDataSource(*original, drivers);
  if (editedKind) kind->setCurrentIndex(kind->findData(static_cast<int>(*editedKind)));
  KindChanged();
  if (!original) server->setText("localhost");
  if (original && editedKind) {
    DataSourceForm form = FormOfEntry(*original, *editedKind);
    kind->setEnabled(false);
    if (driver->findData(Q(form.driver)) < 0) driver->addItem(Q(form.driver), Q(form.driver));
    driver->setCurrentIndex(driver->findData(Q(form.driver)));
    name->setText(Q(form.name));
    description->setText(Q(form.description));
    file->setText(Q(form.file));
    server->setText(Q(form.server));
    port->setText(Q(form.port));
    database->setText(Q(form.database));
    user->setText(Q(form.user));
    password->setText(Q(form.password));
    otherAttributes = form.otherAttributes;
    // Corvane logs in with its own settings; for its data source those are the ones to show.
    if (corvane != nullptr && form.name == corvane->dsn) {
      forCorvane->setChecked(true);
      if (corvane->user[0] != '\0') user->setText(corvane->user);
      if (corvane->password[0] != '\0' || corvane->user[0] != '\0') password->setText(corvane->password);
    }
    if (KeepsPassword(*original))
      passwordNote->setText(passwordNote->text() + "\nThis data source keeps a password in " +
                            Q(platform::DataSourceFile(original->scope)) + "; saving takes it out of there.");
  }
}

void DataSourceDialog::KindChanged() {
  auto chosen = static_cast<DatabaseKind>(kind->currentData().toInt());
  // Only the kind's own values show, and the dialog takes their size.
  filePage->setVisible(chosen == DatabaseKind::Sqlite);
  serverPage->setVisible(chosen != DatabaseKind::Sqlite);
  port->setPlaceholderText(chosen == DatabaseKind::Postgres ? "5432" : "3306");
  driver->clear();
  // The first is the likely choice: a driver whose library is there, Unicode before ANSI
  // (the store sends UTF-8 text).
  for (bool found : {true, false})
    for (bool unicode : {true, false})
      for (const platform::OdbcDriver& d : drivers)
        if (KindOfDriver(d) == chosen && d.libraryPath.empty() != found &&
            QString::fromStdString(d.name).contains("Unicode", Qt::CaseInsensitive) == unicode)
          driver->addItem(Q(d.name) + (found ? "" : "  (library missing)"), Q(d.name));
  passwordNote->setText("The password is not written to the data source's file, which others may read; Corvane "
                        "keeps it in its own settings, readable by you only.");
  adjustSize();
}

void DataSourceDialog::ChooseFile() {
  QString chosen = QFileDialog::getSaveFileName(this, "Database file", file->text(), "SQLite databases (*.db *.sqlite);;All files (*)",
                                                nullptr, QFileDialog::DontConfirmOverwrite);
  if (!chosen.isEmpty()) file->setText(chosen);
}

void DataSourceDialog::OfferForCorvane() {
  if (!forCorvane->isEnabled()) return;
  forCorvane->setChecked(true);
  if (kind->currentData().toInt() != static_cast<int>(DatabaseKind::Sqlite)) password->setFocus();
}

DataSourceForm DataSourceDialog::Form() const {
  DataSourceForm form;
  form.kind = static_cast<DatabaseKind>(kind->currentData().toInt());
  form.name = Trimmed(name);
  form.description = Trimmed(description);
  form.scope = systemScope->isChecked() ? platform::DataSourceScope::System : platform::DataSourceScope::User;
  form.driver = S(driver->currentData().toString());
  if (form.kind == DatabaseKind::Sqlite) {
    form.file = Trimmed(file);
  } else {
    form.server = Trimmed(server);
    form.port = Trimmed(port);
    form.database = Trimmed(database);
    form.user = Trimmed(user);
    form.password = S(password->text());
  }
  form.otherAttributes = otherAttributes;
  return form;
}

void DataSourceDialog::Test() {
  DataSourceForm form = Form();
  if (std::string why = CheckFormValues(form); !why.empty()) {
    QMessageBox::warning(this, kTitle, Q(why));
    return;
  }
  ProbeDatabase(this, form, false);
}

void DataSourceDialog::accept() {
  DataSourceForm form = Form();
  const platform::DataSourceEntry* edited = original ? &*original : nullptr;
  std::string why = CheckFormName(form, edited, existing);
  if (why.empty()) why = CheckFormValues(form);
  if (!why.empty()) {
    QMessageBox::warning(this, kTitle, Q(why));
    return;
  }
  DataSourceSettings corvane = CorvaneSettingsOf(form);
  if (forCorvane->isChecked() && !CanStoreDataSourceSettings(corvane, &why)) {
    QMessageBox::critical(this, kTitle, Q(why + kNothingChanged));
    return;
  }
  if (!ProbeDatabase(this, form, true)) return;
  if (!SaveDataSource(form, edited, &why)) {
    QMessageBox::critical(this, kTitle, Q(why));
    return;
  }
  if (forCorvane->isChecked() && !StoreDataSourceSettings(corvane, &why))
    QMessageBox::critical(this, kTitle, Q("The data source was saved, but Corvane's settings were not changed: " + why));
  QDialog::accept();
}
