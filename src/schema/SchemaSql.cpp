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
                    column.autoIncrement ? identityClause() : QString(),
                    hasDefault(column) ? column.defaultValue : QString()};
}

QString createTableStatement(const QString& table, const QList<FieldRow>& rows)
{
    QString s = QStringLiteral("CREATE TABLE ") + bracketName(table) + QLatin1Char('(');
    for (const FieldRow& row : rows) {
        s += bracketName(row.fieldName) + QLatin1Char(' ') + row.dataType + QLatin1Char(' ') +
             row.precision + QLatin1Char(' ') + row.autoincrement;
        if (!isBlank(row.defaultValue))
            s += QStringLiteral(" DEFAULT ") + row.defaultValue;
        s += QLatin1Char(',');
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

// "P,S" or "P, S": precision and scale typed together in M, blanks around either number.
bool isPrecisionAndScale(const QString& text)
{
    const qsizetype comma = text.indexOf(QLatin1Char(','));
    return comma >= 0 && isWholeNumber(text.left(comma), false) &&
           isWholeNumber(text.mid(comma + 1), false);
}

// Calls `visit(i)` for each position of the text that stands outside single- and double-quoted
// parts (the quote characters themselves excluded) until it returns true; true when it did.
// `quoteLeftOpen` tells whether the text ended inside quotes.
template <class Visit>
bool anyOutsideQuotes(const QString& text, Visit visit, bool* quoteLeftOpen = nullptr)
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
        if (visit(i))
            return true;
    }
    if (quoteLeftOpen)
        *quoteLeftOpen = !quote.isNull();
    return false;
}

// True when the text holds ";", "--" or "/*" outside single- and double-quoted parts.
bool endsStatementOutsideQuotes(const QString& text)
{
    bool open = false;
    const bool ends = anyOutsideQuotes(
        text,
        [&text](qsizetype i) {
            const QChar c = text.at(i);
            const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
            return c == QLatin1Char(';') || (c == QLatin1Char('-') && next == QLatin1Char('-')) ||
                   (c == QLatin1Char('/') && next == QLatin1Char('*'));
        },
        &open);
    return ends || (open && text.contains(QLatin1Char(';')));
}

// True when, outside quotes, a ")" closes more than was opened, a "(" stays open, or a comma
// stands outside every parenthesis: in a column definition any of these would end the
// default before its text does.
bool leavesItsExpression(const QString& text)
{
    int depth = 0;
    const bool leaves = anyOutsideQuotes(text, [&text, &depth](qsizetype i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('('))
            ++depth;
        else if (c == QLatin1Char(')'))
            return --depth < 0;
        else if (c == QLatin1Char(','))
            return depth == 0;
        return false;
    });
    return leaves || depth != 0;
}

} // namespace

QString defaultProblem(const QString& defaultValue)
{
    if (endsStatementOutsideQuotes(defaultValue) || leavesItsExpression(defaultValue))
        return QStringLiteral("The default must be one value or expression: \";\", \"--\", "
                              "\"/*\" and commas outside parentheses may only stand inside "
                              "quotes, and its parentheses must pair up.");
    return {};
}

QString definitionProblem(const ColumnDefinition& column)
{
    const bool hasM = !column.m.trimmed().isEmpty();
    const bool scaleInM = hasM && isPrecisionAndScale(column.m);
    if (hasM && !scaleInM && !isWholeNumber(column.m, true))
        return QStringLiteral("M must be a whole number (or MAX), or precision and scale such "
                              "as \"10, 2\", not \"%1\".")
            .arg(column.m);
    if (scaleInM && !column.d.trimmed().isEmpty())
        return QStringLiteral("M already holds the scale (\"%1\"); leave D empty, or put the "
                              "scale in D only.")
            .arg(column.m);
    if (hasM && !column.d.trimmed().isEmpty() && !isWholeNumber(column.d, false))
        return QStringLiteral("D must be a whole number, not \"%1\".").arg(column.d);
    return defaultProblem(column.defaultValue);
}

} // namespace tabulon
