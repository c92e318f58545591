#include "SchemaSql.h"
#include "connection/SqlNames.h"

namespace tabulon {

const QStringList& sqlTypeNames()
{
    static const QStringList names{
        QStringLiteral("BIGINT"),        QStringLiteral("BINARY"),
        QStringLiteral("BIT"),           QStringLiteral("CHAR"),
        QStringLiteral("DATETIME"),      QStringLiteral("DECIMAL"),
        QStringLiteral("FLOAT"),         QStringLiteral("IMAGE"),
        QStringLiteral("INT"),           QStringLiteral("MONEY"),
        QStringLiteral("NCHAR"),         QStringLiteral("NTEXT"),
        QStringLiteral("NUMERIC"),       QStringLiteral("NVARCHAR"),
        QStringLiteral("REAL"),          QStringLiteral("SMALLDATETIME"),
        QStringLiteral("SMALLINT"),      QStringLiteral("SMALLMONEY"),
        QStringLiteral("SQL_VARIANT"),   QStringLiteral("TEXT"),
        QStringLiteral("TIMESTAMP"),     QStringLiteral("TINYINT"),
        QStringLiteral("UNIQUEIDENTIFIER"), QStringLiteral("VARBINARY"),
        QStringLiteral("VARCHAR"),       QStringLiteral("XML"),
    };
    return names;
}

const QString& identityClause()
{
    static const QString clause = QStringLiteral(" IDENTITY(1,1) NOT NULL ");
    return clause;
}

bool isBlank(const QString& text)
{
    for (const QChar c : text)
        if (c != QLatin1Char(' '))
            return false;
    return true;
}

QString sizeText(const QString& m, const QString& d)
{
    if (isBlank(m))
        return {};
    if (isBlank(d))
        return QLatin1Char('(') + m + QLatin1Char(')');
    return QLatin1Char('(') + m + QStringLiteral(", ") + d + QLatin1Char(')');
}

QString addColumnStatement(const QString& table, const ColumnDefinition& column)
{
    QString s = QStringLiteral("ALTER TABLE ") + bracketName(table) + QStringLiteral(" ADD ") +
                bracketName(column.name) + QLatin1Char(' ') + column.type;
    const QString size = sizeText(column.m, column.d);
    if (!size.isEmpty())
        s += QLatin1Char(' ') + size;
    if (column.autoIncrement)
        s += identityClause();
    return s;
}

bool hasDefault(const ColumnDefinition& column) { return !isBlank(column.defaultValue); }

QString addDefaultStatement(const QString& table, const QString& name, const QString& defaultValue)
{
    return QStringLiteral("ALTER TABLE ") + bracketName(table) + QStringLiteral(" ADD DEFAULT ") +
           defaultValue + QStringLiteral(" FOR ") + bracketName(name);
}

FieldRow fieldRow(const ColumnDefinition& column)
{
    return FieldRow{column.name, column.type, sizeText(column.m, column.d),
                    column.autoIncrement ? identityClause() : QString()};
}

QString createTableStatement(const QString& table, const QList<FieldRow>& rows)
{
    QString s = QStringLiteral("CREATE TABLE ") + bracketName(table) + QLatin1Char('(');
    for (const FieldRow& row : rows) {
        s += bracketName(row.fieldName) + QLatin1Char(' ') + row.dataType + QLatin1Char(' ') +
             row.precision + QLatin1Char(' ') + row.autoincrement + QLatin1Char(',');
    }
    if (!rows.isEmpty())
        s.chop(1);
    s += QLatin1Char(')');
    return s;
}

namespace {

bool isWholeNumber(const QString& text, bool maxAllowed)
{
    const QString t = text.trimmed();
    if (maxAllowed && t.compare(QLatin1String("MAX"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.isEmpty())
        return false;
    for (const QChar c : t)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

// True when the text holds ";", "--" or "/*" outside single- and double-quoted parts.
bool endsStatementOutsideQuotes(const QString& text)
{
    QChar quote;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
            continue;
        }
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        if (c == QLatin1Char(';') || (c == QLatin1Char('-') && next == QLatin1Char('-')) ||
            (c == QLatin1Char('/') && next == QLatin1Char('*')))
            return true;
    }
    return !quote.isNull() && text.contains(QLatin1Char(';'));
}

} // namespace

QString definitionProblem(const ColumnDefinition& column)
{
    if (!column.m.trimmed().isEmpty() && !isWholeNumber(column.m, true))
        return QStringLiteral("M must be a whole number (or MAX), not \"%1\".").arg(column.m);
    if (!column.m.trimmed().isEmpty() && !column.d.trimmed().isEmpty() &&
        !isWholeNumber(column.d, false))
        return QStringLiteral("D must be a whole number, not \"%1\".").arg(column.d);
    if (endsStatementOutsideQuotes(column.defaultValue))
        return QStringLiteral("The default must be one value or expression; \";\", \"--\" and "
                              "\"/*\" may only stand inside quotes.");
    return {};
}

} // namespace tabulon
