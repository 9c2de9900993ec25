-- The three log tables for SQLite (the default database, Tallyard.db in the install folder).
-- Every log gets the same eleven columns. The resume query looks rows up by upper-cased
-- computer name and record date, hence the index on exactly that expression.
CREATE TABLE IF NOT EXISTS Application (Workstation VARCHAR(50), EventDate TIMESTAMP, RecordDate TIMESTAMP,
  Source VARCHAR(255), Computer VARCHAR(50), UserName VARCHAR(255), Type VARCHAR(50), Category VARCHAR(255),
  EventID INTEGER, Description TEXT, Data BLOB);
CREATE INDEX IF NOT EXISTS Application_Resume ON Application (UPPER(Computer), RecordDate);
CREATE TABLE IF NOT EXISTS Security (Workstation VARCHAR(50), EventDate TIMESTAMP, RecordDate TIMESTAMP,
  Source VARCHAR(255), Computer VARCHAR(50), UserName VARCHAR(255), Type VARCHAR(50), Category VARCHAR(255),
  EventID INTEGER, Description TEXT, Data BLOB);
CREATE INDEX IF NOT EXISTS Security_Resume ON Security (UPPER(Computer), RecordDate);
CREATE TABLE IF NOT EXISTS System (Workstation VARCHAR(50), EventDate TIMESTAMP, RecordDate TIMESTAMP,
  Source VARCHAR(255), Computer VARCHAR(50), UserName VARCHAR(255), Type VARCHAR(50), Category VARCHAR(255),
  EventID INTEGER, Description TEXT, Data BLOB);
CREATE INDEX IF NOT EXISTS System_Resume ON System (UPPER(Computer), RecordDate);
