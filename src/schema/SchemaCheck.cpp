#include "SchemaCheck.h"

#include "app/ErrorReport.h"
#include "connection/SqlNames.h"
#include "connection/odbc/Odbc.h"

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

void ensureColumnExists(odbc::Connection& connection, const QString& table, const QString& column)
{
    const NameMatching matching = nameMatchingFor(connection.dbmsName());
    odbc::ResultSet rows =
        connection.query((QStringLiteral("SELECT * FROM ") + bracketName(table) +
                          QStringLiteral(" WHERE 1 = 0;")).toStdString());
    for (const odbc::ColumnInfo& info : rows.columns())
        if (sameName(matching, QString::fromStdString(info.name), column))
            return;
    throw AppError(QStringLiteral("The statement was accepted, but the table has no column named "
                                  "\"%1\" now: the driver read the name as something else. Choose "
                                  "a name without such characters (for example braces).")
                       .arg(column));
}

} // namespace tabulon
