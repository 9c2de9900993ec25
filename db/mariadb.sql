-- The three log tables for MariaDB (driver "MariaDB Unicode"), in a database created with
-- CHARACTER SET utf8mb4. Table names are case-sensitive here: keep this exact spelling.
-- EventID is unsigned: event IDs reach 2^32 - 1. The text columns compare without case
-- (utf8mb4_general_ci), and the index serves the resume query.
CREATE TABLE IF NOT EXISTS Application (Workstation VARCHAR(50), EventDate DATETIME(6), RecordDate DATETIME(6),
  Source VARCHAR(255), Computer VARCHAR(50), UserName VARCHAR(255), Type VARCHAR(50), Category VARCHAR(255),
  EventID INT UNSIGNED, Description LONGTEXT, Data LONGBLOB, INDEX Application_Resume (Computer, RecordDate))
  CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;
CREATE TABLE IF NOT EXISTS Security (Workstation VARCHAR(50), EventDate DATETIME(6), RecordDate DATETIME(6),
  Source VARCHAR(255), Computer VARCHAR(50), UserName VARCHAR(255), Type VARCHAR(50), Category VARCHAR(255),
  EventID INT UNSIGNED, Description LONGTEXT, Data LONGBLOB, INDEX Security_Resume (Computer, RecordDate))
  CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;
CREATE TABLE IF NOT EXISTS System (Workstation VARCHAR(50), EventDate DATETIME(6), RecordDate DATETIME(6),
  Source VARCHAR(255), Computer VARCHAR(50), UserName VARCHAR(255), Type VARCHAR(50), Category VARCHAR(255),
  EventID INT UNSIGNED, Description LONGTEXT, Data LONGBLOB, INDEX System_Resume (Computer, RecordDate))
  CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;
