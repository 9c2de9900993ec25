-- The three log tables for PostgreSQL (psqlODBC, driver "PostgreSQL Unicode"; a UTF8 database).
-- EventID is BIGINT: event IDs reach 2^32 - 1. Times are local times without zone, to the
-- microsecond. The resume query looks rows up by upper-cased computer name and record date.
CREATE TABLE IF NOT EXISTS Application (Workstation VARCHAR(50), EventDate TIMESTAMP, RecordDate TIMESTAMP,
  Source VARCHAR(255), Computer VARCHAR(50), UserName VARCHAR(255), Type VARCHAR(50), Category VARCHAR(255),
  EventID BIGINT, Description TEXT, Data BYTEA);
CREATE INDEX IF NOT EXISTS Application_Resume ON Application (UPPER(Computer), RecordDate);
CREATE TABLE IF NOT EXISTS Security (Workstation VARCHAR(50), EventDate TIMESTAMP, RecordDate TIMESTAMP,
  Source VARCHAR(255), Computer VARCHAR(50), UserName VARCHAR(255), Type VARCHAR(50), Category VARCHAR(255),
  EventID BIGINT, Description TEXT, Data BYTEA);
CREATE INDEX IF NOT EXISTS Security_Resume ON Security (UPPER(Computer), RecordDate);
CREATE TABLE IF NOT EXISTS System (Workstation VARCHAR(50), EventDate TIMESTAMP, RecordDate TIMESTAMP,
  Source VARCHAR(255), Computer VARCHAR(50), UserName VARCHAR(255), Type VARCHAR(50), Category VARCHAR(255),
  EventID BIGINT, Description TEXT, Data BYTEA);
CREATE INDEX IF NOT EXISTS System_Resume ON System (UPPER(Computer), RecordDate);
