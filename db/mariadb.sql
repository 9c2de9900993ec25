-- The three log tables for MariaDB (driver "MariaDB Unicode"), in a database created with
-- CHARACTER SET utf8mb4. Table names are case-sensitive here: keep this exact spelling.
-- EventID is unsigned: event IDs reach 2^32 - 1. The text columns compare without case
-- (utf8mb4_general_ci), so the index on the gathered computer's name (Workstation) and record
-- date serves the resume query. Running the script again brings an older database up to date:
-- the index on Computer that an earlier version used goes.
CREATE TABLE IF NOT EXISTS Application (Workstation VARCHAR(50), EventDate DATETIME(6), RecordDate DATETIME(6),
  Source VARCHAR(255), Computer VARCHAR(50), UserName VARCHAR(255), Type VARCHAR(50), Category VARCHAR(255),
  EventID INT UNSIGNED, Description LONGTEXT, Data LONGBLOB, INDEX Application_Workstation (Workstation, RecordDate))
  CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;
CREATE TABLE IF NOT EXISTS Security (Workstation VARCHAR(50), EventDate DATETIME(6), RecordDate DATETIME(6),
  Source VARCHAR(255), Computer VARCHAR(50), UserName VARCHAR(255), Type VARCHAR(50), Category VARCHAR(255),
  EventID INT UNSIGNED, Description LONGTEXT, Data LONGBLOB, INDEX Security_Workstation (Workstation, RecordDate))
  CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;
CREATE TABLE IF NOT EXISTS System (Workstation VARCHAR(50), EventDate DATETIME(6), RecordDate DATETIME(6),
  Source VARCHAR(255), Computer VARCHAR(50), UserName VARCHAR(255), Type VARCHAR(50), Category VARCHAR(255),
  EventID INT UNSIGNED, Description LONGTEXT, Data LONGBLOB, INDEX System_Workstation (Workstation, RecordDate))
  CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;
DROP INDEX IF EXISTS Application_Resume ON Application;
CREATE INDEX IF NOT EXISTS Application_Workstation ON Application (Workstation, RecordDate);
DROP INDEX IF EXISTS Security_Resume ON Security;
CREATE INDEX IF NOT EXISTS Security_Workstation ON Security (Workstation, RecordDate);
DROP INDEX IF EXISTS System_Resume ON System;
CREATE INDEX IF NOT EXISTS System_Workstation ON System (Workstation, RecordDate);
