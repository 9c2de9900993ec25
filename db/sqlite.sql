-- The three log tables for SQLite (the default database, Tallyard.db in the install folder).
-- Every log gets the same eleven columns. The resume query looks rows up by the upper-cased
-- name of the gathered computer (Workstation, as the list names it) and record date, hence the
-- index on exactly that expression. Running the script again (tallyard-setup does) brings an older
-- database up to date: the index on Computer that an earlier version used goes.
CREATE TABLE IF NOT EXISTS Application (Workstation VARCHAR(50), EventDate TIMESTAMP, RecordDate TIMESTAMP,
  Source VARCHAR(255), Computer VARCHAR(50), UserName VARCHAR(255), Type VARCHAR(50), Category VARCHAR(255),
  EventID INTEGER, Description TEXT, Data BLOB);
DROP INDEX IF EXISTS Application_Resume;
CREATE INDEX IF NOT EXISTS Application_Workstation ON Application (UPPER(Workstation), RecordDate);
CREATE TABLE IF NOT EXISTS Security (Workstation VARCHAR(50), EventDate TIMESTAMP, RecordDate TIMESTAMP,
  Source VARCHAR(255), Computer VARCHAR(50), UserName VARCHAR(255), Type VARCHAR(50), Category VARCHAR(255),
  EventID INTEGER, Description TEXT, Data BLOB);
DROP INDEX IF EXISTS Security_Resume;
CREATE INDEX IF NOT EXISTS Security_Workstation ON Security (UPPER(Workstation), RecordDate);
CREATE TABLE IF NOT EXISTS System (Workstation VARCHAR(50), EventDate TIMESTAMP, RecordDate TIMESTAMP,
  Source VARCHAR(255), Computer VARCHAR(50), UserName VARCHAR(255), Type VARCHAR(50), Category VARCHAR(255),
  EventID INTEGER, Description TEXT, Data BLOB);
DROP INDEX IF EXISTS System_Resume;
CREATE INDEX IF NOT EXISTS System_Workstation ON System (UPPER(Workstation), RecordDate);
