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

    // How the engine keeps a table's definition. SQLite keeps the CREATE TABLE text as it was
    // sent, each added column's definition spliced in. A T-SQL server keeps a catalogue, read
    // here as one entry per column, joined by ", ": "[Name] type(size)", then " identity",
    // " not null" and " default <expression>" where they apply (the name as a query reports it,
    // since the engine's catalogue may list it lower-cased).
    QString storedDefinition(const QString& table)
    {
        if (db.isSqlite()) {
            QString literal = table;
            literal.replace(QStringLiteral("'"), QStringLiteral("''"));
            return db.value(("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = '" +
                             literal + "';").toStdString());
        }
        const QStringList names = columnsOf(table);
        const std::vector<QStringList> rows = db.rows(
            "SELECT t.name, c.max_length, c.precision, c.scale, c.is_identity, c.is_nullable, "
            "dc.definition FROM sys.columns c "
            "JOIN sys.types t ON t.user_type_id = c.user_type_id "
            "LEFT JOIN sys.default_constraints dc ON dc.parent_object_id = c.object_id "
            "AND dc.parent_column_id = c.column_id "
            "WHERE c.object_id = OBJECT_ID(" + unicodeLiteral(bracketName(table)) + ") "
            "ORDER BY c.column_id;");
        if (rows.size() != std::size_t(names.size()))
            return QStringLiteral("<the catalogue lists %1 columns, the table shows %2>")
                .arg(rows.size())
                .arg(names.size());
        QStringList columns;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const QStringList& r = rows[i];
            const QString type = r[0];
            QString entry = bracketName(names[qsizetype(i)]) + QLatin1Char(' ') + type;
            const auto length = [&](int bytesPerCharacter) {
                const int bytes = r[1].toInt();
                return bytes == -1 ? QStringLiteral("(max)")
                                   : QStringLiteral("(%1)").arg(bytes / bytesPerCharacter);
            };
            if (type == QLatin1String("char") || type == QLatin1String("varchar") ||
                type == QLatin1String("binary") || type == QLatin1String("varbinary"))
                entry += length(1);
            else if (type == QLatin1String("nchar") || type == QLatin1String("nvarchar"))
                entry += length(2);
            else if (type == QLatin1String("decimal") || type == QLatin1String("numeric"))
                entry += QStringLiteral("(%1,%2)").arg(r[2], r[3]);
            if (r[4] == QLatin1String("1"))
                entry += QStringLiteral(" identity");
            if (r[5] == QLatin1String("0"))
                entry += QStringLiteral(" not null");
            if (!r[6].isNull())
                entry += QStringLiteral(" default ") + withoutOuterParentheses(r[6]);
            columns << entry;
        }
        return columns.join(QStringLiteral(", "));
    }

    // The default a T-SQL server keeps for a column, or a null text when it keeps none.
    QString storedDefault(const QString& table, const QString& column)
    {
        const QString kept = db.value(
            "SELECT dc.definition FROM sys.default_constraints dc JOIN sys.columns c "
            "ON c.object_id = dc.parent_object_id AND c.column_id = dc.parent_column_id "
            "WHERE dc.parent_object_id = OBJECT_ID(" + unicodeLiteral(bracketName(table)) + ") "
            "AND c.name = " + unicodeLiteral(column) + ";");
        return kept.isNull() ? kept : withoutOuterParentheses(kept);
    }

    static std::string unicodeLiteral(const QString& text)
    {
        QString inner = text;
        inner.replace(QStringLiteral("'"), QStringLiteral("''"));
        return (QStringLiteral("N'") + inner + QLatin1Char('\'')).toStdString();
    }

    // SQL Server wraps a kept default in parentheses, "((0))", other engines keep "0": both
    // read "0". "(1)+(2)" stays as it is.
    static QString withoutOuterParentheses(QString text)
    {
        while (text.size() >= 2 && text.startsWith(QLatin1Char('(')) &&
               text.endsWith(QLatin1Char(')'))) {
            int depth = 0;
            for (qsizetype i = 0; i + 1 < text.size(); ++i) {
                if (text.at(i) == QLatin1Char('('))
                    ++depth;
                else if (text.at(i) == QLatin1Char(')'))
                    --depth;
                if (depth == 0)
                    return text; // the first parenthesis closes before the end
            }
            text = text.mid(1, text.size() - 2);
        }
        return text;
    }

    // The user tables, as the engine's catalogue names them (a T-SQL engine may lower-case
    // them), sorted.
    QStringList tableNames() { return db.tableNames(); }

    TestDatabase db;
    TestContext t;
    FixedLogin login;
};

} // namespace tabulon::test
