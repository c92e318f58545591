#pragma once

// What the schema window tests share: a fresh database behind the "SQL Server" driver name,
// the fakes, a login that points at the database, and small readers of the reports.

#include "DialogDriver.h"
#include "ValuePrinters.h"
#include "support/Fakes.h"
#include "support/TestDatabase.h"

#include "app/ErrorReport.h"
#include "app/WindowConventions.h"
#include "connection/SqlNames.h"
#include "schema/SchemaSql.h"

#include <QRegularExpression>
#include <QStringList>
#include <ostream>
#include <vector>


namespace tabulon::test {

// The line numbers of the error reports shown for one handler, in order.
inline std::vector<int> reportedLines(const FakePrompter& prompter, const QString& location)
{
    std::vector<int> lines;
    const QRegularExpression pattern(QRegularExpression::escape(location) +
                                     QStringLiteral("at line (\\d+)\r\r"));
    for (const Message& m : prompter.errors()) {
        const auto match = pattern.match(m.text);
        if (match.hasMatch())
            lines.push_back(match.captured(1).toInt());
    }
    return lines;
}

// The error's own description: the report's text before its first CR LF.
inline QString reportedDescription(const Message& report)
{
    return report.text.left(report.text.indexOf(QStringLiteral("\r\n")));
}

class SchemaWindowTest : public ::testing::Test {
protected:
    SchemaWindowTest() { login.fields = db.login(); }

    // A login whose database cannot be opened (a folder that does not exist).
    LoginFields unreachable(bool local) const
    {
        LoginFields f = db.login();
        f.local = local;
        f.port = QStringLiteral("1433");
        f.database = QStringLiteral("/nonexistent-folder/none/x.db");
        return f;
    }

    // The column names of a table, read over a second connection.
    QStringList columnsOf(const QString& table)
    {
        odbc::Connection c = db.connect();
        odbc::ResultSet rows = c.query(selectAllStatement(table).toStdString());
        QStringList names;
        for (const odbc::ColumnInfo& column : rows.columns())
            names << QString::fromStdString(column.name);
        return names;
    }

    // The statement the engine keeps for a table (SQLite keeps the CREATE text as sent and
    // splices each added column's definition into it).
    QString storedDefinition(const QString& table)
    {
        QString literal = table;
        literal.replace(QStringLiteral("'"), QStringLiteral("''"));
        return db.value(("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = '" +
                         literal + "';").toStdString());
    }

    QStringList tableNames()
    {
        odbc::Connection c = db.connect();
        QStringList names;
        for (const auto& [type, name] : c.tables())
            names << QString::fromStdString(name);
        return names;
    }

    TestDatabase db;
    TestContext t;
    FixedLogin login;
};

} // namespace tabulon::test
