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

} // namespace tabulon
