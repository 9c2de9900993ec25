-- The three log tables for PostgreSQL (psqlODBC, driver "PostgreSQL Unicode"; a UTF8 database).
-- EventID is BIGINT: event IDs reach 2^32 - 1. Times are local times without zone, to the
-- microsecond. The resume query looks rows up by the upper-cased name of the gathered computer
-- (Workstation, as the list names it) and record date. Running the script again brings an older
-- database up to date: the index on Computer that an earlier version used goes.
CREATE TABLE IF NOT EXISTS Application (Workstation VARCHAR(50), EventDate TIMESTAMP, RecordDate TIMESTAMP,
  Source VARCHAR(255), Computer VARCHAR(50), UserName VARCHAR(255), Type VARCHAR(50), Category VARCHAR(255),
  EventID BIGINT, Description TEXT, Data BYTEA);
DROP INDEX IF EXISTS Application_Resume;
CREATE INDEX IF NOT EXISTS Application_Workstation ON Application (UPPER(Workstation), RecordDate);
CREATE TABLE IF NOT EXISTS Security (Workstation VARCHAR(50), EventDate TIMESTAMP, RecordDate TIMESTAMP,
  Source VARCHAR(255), Computer VARCHAR(50), UserName VARCHAR(255), Type VARCHAR(50), Category VARCHAR(255),
  EventID BIGINT, Description TEXT, Data BYTEA);
DROP INDEX IF EXISTS Security_Resume;
CREATE INDEX IF NOT EXISTS Security_Workstation ON Security (UPPER(Workstation), RecordDate);
CREATE TABLE IF NOT EXISTS System (Workstation VARCHAR(50), EventDate TIMESTAMP, RecordDate TIMESTAMP,
  Source VARCHAR(255), Computer VARCHAR(50), UserName VARCHAR(255), Type VARCHAR(50), Category VARCHAR(255),
  EventID BIGINT, Description TEXT, Data BYTEA);
DROP INDEX IF EXISTS System_Resume;
CREATE INDEX IF NOT EXISTS System_Workstation ON System (UPPER(Workstation), RecordDate);
