// The demo database of ./run.sh: demo/demo.sql on SQLite, demo/demo-tsql.sql on a T-SQL server.
// Both must make the same shop, row for row.

#include "support/TestDatabase.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

using tabulon::test::TestDatabase;

namespace {

QString demoFile(const char* name)
{
    QFile f(QStringLiteral(TABULON_SOURCE_DIR "/demo/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error(std::string("cannot read demo/") + name);
    return QString::fromUtf8(f.readAll());
}

// Makes the demo in the test database, as the demo script does on its engine.
void makeDemo(const TestDatabase& db)
{
    if (db.isSqlite()) {
        db.exec(demoFile("demo.sql").toStdString());
        return;
    }
    // Batches are separated by lines that read "go".
    const QStringList batches =
        demoFile("demo-tsql.sql").split(QRegularExpression(QStringLiteral("^go\\s*$"), QRegularExpression::MultilineOption));
    for (const QString& batch : batches) {
        if (!batch.trimmed().isEmpty())
            db.exec(batch.toStdString());
    }
}

} // namespace

TEST(DemoDatabase, HoldsTheSameShopOnEitherEngine)
{
    TestDatabase db;
    makeDemo(db);

    QStringList tables = db.tableNames();
    for (QString& t : tables)
        t = t.toLower(); // Babelfish lists its catalogue names lower-cased
    EXPECT_EQ(tables, QStringList({"auditsyslog", "customers", "orders", "products", "visitorlog"}));

    struct Case {
        const char* query;
        QStringList values;
    };
    const Case cases[] = {
        {"SELECT COUNT(*) FROM Customers;", {"6"}},
        {"SELECT Name FROM Customers ORDER BY CustomerID;",
         {"Ann Becker", "Bruno Costa", "Chloé Martin", "Δημήτρης Παππάς", "Eitan Levi", "Fatima Zahra"}},
        {"SELECT City FROM Customers WHERE CustomerID = 4;", {"Αθήνα"}},
        {"SELECT COUNT(*) FROM Customers WHERE Email IS NULL OR Joined IS NULL;", {"2"}},
        {"SELECT COUNT(*) FROM Customers WHERE Active = 1;", {"5"}},
        {"SELECT Name FROM Products ORDER BY ProductID;",
         {"Oak desk", "Desk lamp", "Notebook A5", "Fountain pen", "Paper clips (100)", "Ergonomic chair"}},
        {"SELECT CAST(ROUND(Price * 100, 0) AS int) FROM Products ORDER BY ProductID;", {"34900", "3990", "249", "5800", "99", "28950"}},
        {"SELECT InStock FROM Products ORDER BY ProductID;", {"4", "18", "250", "12", "900", "0"}},
        {"SELECT Code FROM Products WHERE Code IS NOT NULL ORDER BY ProductID;",
         {QString::fromLatin1("\x0A\x1B\x2C\x3D", 4), QString::fromLatin1("\x00\xFF", 2),
          QString::fromLatin1("\xDE\xAD\xBE\xEF", 4), QString::fromLatin1("\x01", 1)}},
        {"SELECT COUNT(*) FROM Orders;", {"3000"}},
        {"SELECT SUM(Quantity) FROM Orders;", {"15003"}},
        {"SELECT SUM(Quantity * CAST(ROUND(UnitPrice * 100, 0) AS int)) FROM Orders;", {"166665994"}},
        {"SELECT COUNT(*) FROM Orders WHERE Shipped = 0;", {"750"}},
        {"SELECT COUNT(*) FROM Orders WHERE Note = 'Gift wrap, please';", {"60"}},
        {"SELECT COUNT(*) FROM Orders WHERE Note IS NULL;", {"38"}},
        {"SELECT COUNT(*) FROM Orders WHERE OrderDate >= '2024-03-18 09:00:00';", {"2"}},
        {"SELECT COUNT(*) FROM VisitorLog WHERE Visitor = 'guest';", {"2"}},
        {"SELECT Message FROM AuditSysLog;", {"demo database created"}},
        {"SELECT COUNT(*) FROM OrderTotals;", {"6"}},
    };
    for (const Case& k : cases)
        EXPECT_EQ(db.column(k.query), k.values) << k.query;
}
