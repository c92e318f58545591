-- The demo database: a small shop. Built into a SQLite file and reached through the ODBC
-- driver name "SQL Server", the same way a real server is reached.
PRAGMA foreign_keys = OFF;

CREATE TABLE Customers (
    CustomerID INTEGER PRIMARY KEY,
    Name NVARCHAR(80) NOT NULL,
    City NVARCHAR(50),
    Email VARCHAR(120),
    Joined DATE,
    Active BIT NOT NULL DEFAULT 1
);
INSERT INTO Customers (Name, City, Email, Joined, Active) VALUES
 ('Ann Becker', 'Hamburg', 'ann.becker@example.com', '2019-03-14', 1),
 ('Bruno Costa', 'Lisboa', 'bruno@example.pt', '2020-11-02', 1),
 ('Chloé Martin', 'Lyon', NULL, '2021-06-30', 0),
 ('Δημήτρης Παππάς', 'Αθήνα', 'dpappas@example.gr', '2022-01-09', 1),
 ('Eitan Levi', 'Haifa', 'eitan@example.org', NULL, 1),
 ('Fatima Zahra', 'Casablanca', 'fz@example.ma', '2023-08-21', 1);

CREATE TABLE Products (
    ProductID INTEGER PRIMARY KEY,
    Name NVARCHAR(80) NOT NULL,
    Category NVARCHAR(40),
    Price DECIMAL(10,2) NOT NULL,
    Weight FLOAT,
    InStock INT NOT NULL DEFAULT 0,
    Code VARBINARY(8)
);
INSERT INTO Products (Name, Category, Price, Weight, InStock, Code) VALUES
 ('Oak desk', 'Furniture', '349.00', 31.5, 4, X'0A1B2C3D'),
 ('Desk lamp', 'Lighting', '39.90', 1.25, 18, X'00FF'),
 ('Notebook A5', 'Paper', '2.49', 0.2, 250, NULL),
 ('Fountain pen', 'Writing', '58.00', 0.03, 12, X'DEADBEEF'),
 ('Paper clips (100)', 'Office', '0.99', 0.05, 900, NULL),
 ('Ergonomic chair', 'Furniture', '289.50', 14.8, 0, X'01');

CREATE TABLE Orders (
    OrderID INTEGER PRIMARY KEY,
    CustomerID INT NOT NULL,
    ProductID INT NOT NULL,
    Quantity INT NOT NULL,
    UnitPrice DECIMAL(10,2) NOT NULL,
    OrderDate DATETIME NOT NULL,
    Shipped BIT NOT NULL DEFAULT 0,
    Note NVARCHAR(200)
);
-- A few thousand orders, spread over customers, products and days.
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)
INSERT INTO Orders (CustomerID, ProductID, Quantity, UnitPrice, OrderDate, Shipped, Note)
SELECT 1 + (i * 7) % 6,
       1 + (i * 5) % 6,
       1 + (i * 13) % 9,
       CASE 1 + (i * 5) % 6 WHEN 1 THEN '349.00' WHEN 2 THEN '39.90' WHEN 3 THEN '2.49'
                           WHEN 4 THEN '58.00' WHEN 5 THEN '0.99' ELSE '289.50' END,
       strftime('%Y-%m-%d %H:%M:%S', '2024-01-01 08:00:00', '+' || ((i * 37) % 525600) || ' minutes'),
       CASE WHEN i % 4 = 0 THEN 0 ELSE 1 END,
       CASE WHEN i % 50 = 0 THEN 'Gift wrap, please' WHEN i % 77 = 0 THEN NULL ELSE '' END
FROM n;

-- A table without a key that holds duplicate rows.
CREATE TABLE VisitorLog (
    Visitor NVARCHAR(50),
    Page NVARCHAR(100),
    VisitedOn DATE
);
INSERT INTO VisitorLog VALUES
 ('guest', '/index', '2024-05-01'),
 ('guest', '/index', '2024-05-01'),
 ('ann', '/shop', '2024-05-02'),
 ('bruno', '/shop/desk', '2024-05-02');

-- Hidden from the chooser: its name holds "sys".
CREATE TABLE AuditSysLog (
    EntryID INTEGER PRIMARY KEY,
    Message NVARCHAR(200)
);
INSERT INTO AuditSysLog (Message) VALUES ('demo database created');

-- A view: never listed by the chooser.
CREATE VIEW OrderTotals AS
    SELECT CustomerID, SUM(Quantity * UnitPrice) AS Total FROM Orders GROUP BY CustomerID;
