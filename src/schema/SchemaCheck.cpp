#include "SchemaCheck.h"

#include "app/ErrorReport.h"
#include "connection/SqlNames.h"
#include "connection/odbc/Odbc.h"

#include <optional>

namespace tabulon {

namespace {

QChar asciiLower(QChar c)
{
    return c >= QLatin1Char('A') && c <= QLatin1Char('Z') ? QChar(c.unicode() + ('a' - 'A')) : c;
}

QString withoutTrailingBlanks(const QString& name)
{
    qsizetype end = name.size();
    while (end > 0 && name.at(end - 1) == QLatin1Char(' '))
        --end;
    return name.left(end);
}

} // namespace

NameMatching nameMatchingFor(const std::string& dbmsName)
{
    return dbmsName == "SQLite" ? NameMatching::Sqlite : NameMatching::SqlServer;
}

bool sameName(NameMatching matching, const QString& a, const QString& b)
{
    if (a == b)
        return true;
    switch (matching) {
    case NameMatching::Sqlite:
        if (a.size() != b.size())
            return false;
        for (qsizetype i = 0; i < a.size(); ++i)
            if (asciiLower(a.at(i)) != asciiLower(b.at(i)))
                return false;
        return true;
    case NameMatching::SqlServer:
        return withoutTrailingBlanks(a).compare(withoutTrailingBlanks(b), Qt::CaseInsensitive) == 0;
    }
    return false;
}

void ensureTableExists(odbc::Connection& connection, const QString& table)
{
    const NameMatching matching = nameMatchingFor(connection.dbmsName());
    for (const auto& [type, name] : connection.tables())
        if (sameName(matching, QString::fromStdString(name), table))
            return;
    throw AppError(QStringLiteral("The statement was accepted, but there is no table named \"%1\" "
                                  "now: the driver read the name as something else. Choose a "
                                  "name without such characters (for example braces).")
                       .arg(table));
}

namespace {

// A driver may describe a very long column name cut short (the SQLite driver does; SQL Server
// takes no name longer than 128 characters): a described name of at least that length that
// begins the wanted one is taken for it.
bool cutShortByTheDriver(NameMatching matching, const QString& described, const QString& wanted)
{
    constexpr qsizetype longestSqlServerName = 128;
    return described.size() >= longestSqlServerName && described.size() < wanted.size() &&
           sameName(matching, described, wanted.left(described.size()));
}

// The first of the columns that the table does not have, matched as the server matches names;
// a null text when it has them all, or when the table cannot be read back at all (the SQLite
// driver refuses to read a table whose name holds a ";" outside quotes, although it makes and
// alters it): the server accepted the statement, and a made column is never reported missing.
QString firstMissingColumn(odbc::Connection& connection, const QString& table,
                           const QStringList& columns)
{
    const NameMatching matching = nameMatchingFor(connection.dbmsName());
    std::optional<odbc::ResultSet> read;
    try {
        read.emplace(connection.query((QStringLiteral("SELECT * FROM ") + bracketName(table) +
                                       QStringLiteral(" WHERE 1 = 0;")).toStdString()));
    } catch (const odbc::Error&) {
        return QString();
    }
    const odbc::ResultSet& rows = *read;
    for (const QString& column : columns) {
        bool found = false;
        for (const odbc::ColumnInfo& info : rows.columns())
            found = found || sameName(matching, QString::fromStdString(info.name), column) ||
                    cutShortByTheDriver(matching, QString::fromStdString(info.name), column);
        if (!found)
            return column;
    }
    return QString();
}

} // namespace

void ensureColumnExists(odbc::Connection& connection, const QString& table, const QString& column)
{
    if (firstMissingColumn(connection, table, {column}).isNull())
        return;
    throw AppError(QStringLiteral("The statement was accepted, but the table has no column named "
                                  "\"%1\" now: the driver read the name as something else. Choose "
                                  "a name without such characters (for example braces).")
                       .arg(column));
}

void ensureColumnsExist(odbc::Connection& connection, const QString& table,
                        const QStringList& columns)
{
    const QString missing = firstMissingColumn(connection, table, columns);
    if (missing.isNull())
        return;
    throw AppError(QStringLiteral("The table \"%1\" was made, but without a column named \"%2\": "
                                  "the driver read the name as something else. Choose a name "
                                  "without such characters (for example braces).")
                       .arg(table, missing));
}

} // namespace tabulon
