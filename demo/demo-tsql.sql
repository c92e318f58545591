-- The demo database on a T-SQL server: the same small shop as demo.sql, in statements that
-- SQL Server accepts. Batches are separated by "go" lines (CREATE VIEW stands alone in its batch).

CREATE TABLE Customers (
    CustomerID int IDENTITY(1,1) NOT NULL PRIMARY KEY,
    Name NVARCHAR(80) NOT NULL,
    City NVARCHAR(50),
    Email VARCHAR(120),
    Joined DATE,
    Active BIT NOT NULL DEFAULT 1
);
INSERT INTO Customers (Name, City, Email, Joined, Active) VALUES
 (N'Ann Becker', N'Hamburg', 'ann.becker@example.com', '2019-03-14', 1),
 (N'Bruno Costa', N'Lisboa', 'bruno@example.pt', '2020-11-02', 1),
 (N'Chloé Martin', N'Lyon', NULL, '2021-06-30', 0),
 (N'Δημήτρης Παππάς', N'Αθήνα', 'dpappas@example.gr', '2022-01-09', 1),
 (N'Eitan Levi', N'Haifa', 'eitan@example.org', NULL, 1),
 (N'Fatima Zahra', N'Casablanca', 'fz@example.ma', '2023-08-21', 1);

CREATE TABLE Products (
    ProductID int IDENTITY(1,1) NOT NULL PRIMARY KEY,
    Name NVARCHAR(80) NOT NULL,
    Category NVARCHAR(40),
    Price DECIMAL(10,2) NOT NULL,
    Weight FLOAT,
    InStock INT NOT NULL DEFAULT 0,
    Code VARBINARY(8)
);
INSERT INTO Products (Name, Category, Price, Weight, InStock, Code) VALUES
 (N'Oak desk', N'Furniture', 349.00, 31.5, 4, 0x0A1B2C3D),
 (N'Desk lamp', N'Lighting', 39.90, 1.25, 18, 0x00FF),
 (N'Notebook A5', N'Paper', 2.49, 0.2, 250, NULL),
 (N'Fountain pen', N'Writing', 58.00, 0.03, 12, 0xDEADBEEF),
 (N'Paper clips (100)', N'Office', 0.99, 0.05, 900, NULL),
 (N'Ergonomic chair', N'Furniture', 289.50, 14.8, 0, 0x01);

CREATE TABLE Orders (
    OrderID int IDENTITY(1,1) NOT NULL PRIMARY KEY,
    CustomerID INT NOT NULL,
    ProductID INT NOT NULL,
    Quantity INT NOT NULL,
    UnitPrice DECIMAL(10,2) NOT NULL,
    OrderDate DATETIME NOT NULL,
    Shipped BIT NOT NULL DEFAULT 0,
    Note NVARCHAR(200)
);
go
-- A few thousand orders, spread over customers, products and days.
WITH n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)
INSERT INTO Orders (CustomerID, ProductID, Quantity, UnitPrice, OrderDate, Shipped, Note)
SELECT 1 + (i * 7) % 6,
       1 + (i * 5) % 6,
       1 + (i * 13) % 9,
       CASE 1 + (i * 5) % 6 WHEN 1 THEN 349.00 WHEN 2 THEN 39.90 WHEN 3 THEN 2.49
                           WHEN 4 THEN 58.00 WHEN 5 THEN 0.99 ELSE 289.50 END,
       DATEADD(minute, (i * 37) % 525600, CAST('2024-01-01T08:00:00' AS datetime)),
       CASE WHEN i % 4 = 0 THEN 0 ELSE 1 END,
       CASE WHEN i % 50 = 0 THEN N'Gift wrap, please' WHEN i % 77 = 0 THEN NULL ELSE N'' END
FROM n
ORDER BY i
OPTION (MAXRECURSION 0);

-- A table without a key that holds duplicate rows.
CREATE TABLE VisitorLog (
    Visitor NVARCHAR(50),
    Page NVARCHAR(100),
    VisitedOn DATE
);
INSERT INTO VisitorLog VALUES
 (N'guest', N'/index', '2024-05-01'),
 (N'guest', N'/index', '2024-05-01'),
 (N'ann', N'/shop', '2024-05-02'),
 (N'bruno', N'/shop/desk', '2024-05-02');

-- Hidden from the chooser: its name holds "sys".
CREATE TABLE AuditSysLog (
    EntryID int IDENTITY(1,1) NOT NULL PRIMARY KEY,
    Message NVARCHAR(200)
);
INSERT INTO AuditSysLog (Message) VALUES (N'demo database created');
go
-- A view: never listed by the chooser.
CREATE VIEW OrderTotals AS
    SELECT CustomerID, SUM(Quantity * UnitPrice) AS Total FROM Orders GROUP BY CustomerID;
go
