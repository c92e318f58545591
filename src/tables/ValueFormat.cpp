#include "ValueFormat.h"

#include <sql.h>
#include <sqlext.h>

#include <QRegularExpression>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace tabulon {

namespace {

// SQL Server's own type codes, as its drivers report them.
constexpr short kSqlVariant = -150;
constexpr short kSqlUdt = -151;
constexpr short kSqlXml = -152;
constexpr short kSqlTime2 = -154;
constexpr short kSqlDateTimeOffset = -155;

// "nvarchar(50)" -> "nvarchar", "int identity" -> "int", lower case.
std::string baseTypeName(const odbc::ColumnInfo& column)
{
    std::string name;
    for (char ch : column.typeName) {
        if (ch == '(' || ch == ' ')
            break;
        name += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    return name;
}

std::string_view trimView(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

void appendInteger(std::int64_t v, std::string& out)
{
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, res.ptr);
}

void appendReal(double v, bool single, std::string& out)
{
    char buf[40];
    std::to_chars_result res = single ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v))
                                      : std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, res.ptr);
}

void appendHex(std::string_view bytes, std::string& out)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    const std::size_t start = out.size();
    out.resize(start + 2 + bytes.size() * 2);
    char* p = out.data() + start;
    *p++ = '0';
    *p++ = 'x';
    for (unsigned char b : bytes) {
        *p++ = digits[b >> 4];
        *p++ = digits[b & 15];
    }
}

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leapYear(y) ? 29 : days[m - 1];
}

QString pad2(int v) { return QString::number(v).rightJustified(2, QLatin1Char('0')); }

// Dates and times in the forms the server reads back unambiguously. Returns the normalised
// text, or a null QString when the text is not such a value.
QString normaliseDate(const QRegularExpressionMatch& m, int first)
{
    const int y = m.captured(first).toInt();
    const int mo = m.captured(first + 1).toInt();
    const int d = m.captured(first + 2).toInt();
    if (y < 1 || mo < 1 || mo > 12 || d < 1 || d > daysInMonth(y, mo))
        return {};
    return QString::number(y).rightJustified(4, QLatin1Char('0')) + QLatin1Char('-') + pad2(mo)
        + QLatin1Char('-') + pad2(d);
}

QString normaliseTime(const QRegularExpressionMatch& m, int first)
{
    if (!m.hasCaptured(first))
        return QStringLiteral("00:00:00");
    const int h = m.captured(first).toInt();
    const int mi = m.captured(first + 1).toInt();
    const int s = m.hasCaptured(first + 2) ? m.captured(first + 2).toInt() : 0;
    if (h > 23 || mi > 59 || s > 59)
        return {};
    QString text = pad2(h) + QLatin1Char(':') + pad2(mi) + QLatin1Char(':') + pad2(s);
    if (m.hasCaptured(first + 3))
        text += QLatin1Char('.') + m.captured(first + 3);
    return text;
}

QString normaliseOffset(const QRegularExpressionMatch& m, int first)
{
    if (!m.hasCaptured(first))
        return {};
    const QString whole = m.captured(first);
    if (whole.compare(QLatin1String("Z"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("+00:00");
    const int h = m.captured(first + 2).toInt();
    const int mi = m.captured(first + 3).toInt();
    if (h > 14 || mi > 59)
        return {};
    return m.captured(first + 1) + pad2(h) + QLatin1Char(':') + pad2(mi);
}

const QString kTimePattern = QStringLiteral(R"((\d{1,2}):(\d{2})(?::(\d{2})(?:\.(\d{1,7}))?)?)");
const QString kDatePattern = QStringLiteral(R"((\d{4})-(\d{1,2})-(\d{1,2}))");

QString parseDate(const QString& text)
{
    static const QRegularExpression re(QLatin1Char('^') + kDatePattern + QLatin1Char('$'));
    const auto m = re.match(text);
    return m.hasMatch() ? normaliseDate(m, 1) : QString();
}

QString parseTime(const QString& text)
{
    static const QRegularExpression re(QLatin1Char('^') + kTimePattern + QLatin1Char('$'));
    const auto m = re.match(text);
    return m.hasMatch() ? normaliseTime(m, 1) : QString();
}

QString parseDateTime(const QString& text, bool withOffset)
{
    static const QRegularExpression re(QLatin1Char('^') + kDatePattern + QStringLiteral("(?:[ Tt]")
                                       + kTimePattern
                                       + QStringLiteral(R"()?\s*(Z|z|([+-])(\d{1,2}):(\d{2}))?$)"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return {};
    const QString date = normaliseDate(m, 1);
    const QString time = normaliseTime(m, 4);
    if (date.isNull() || time.isNull())
        return {};
    QString result = date + QLatin1Char(' ') + time;
    const bool hasOffset = m.hasCaptured(8);
    if (withOffset) {
        const QString offset = hasOffset ? normaliseOffset(m, 8) : QStringLiteral("+00:00");
        if (offset.isNull())
            return {};
        result += QLatin1Char(' ') + offset;
    } else if (hasOffset) {
        return {};
    }
    return result;
}

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return c - 'A' + 10;
}

std::pair<std::int64_t, std::int64_t> integerRange(const odbc::ColumnInfo& column)
{
    switch (column.sqlType) {
    case SQL_TINYINT: return {0, 255};
    case SQL_SMALLINT: return {-32768, 32767};
    case SQL_INTEGER: return {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()};
    default: return {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()};
    }
}

ParsedValue refused(QString problem)
{
    ParsedValue p;
    p.problem = std::move(problem);
    return p;
}

ParsedValue accepted(odbc::Value v)
{
    ParsedValue p;
    p.ok = true;
    p.value = std::move(v);
    return p;
}

// A plain decimal number: optional sign, digits, optional point and digits.
bool isDecimalText(std::string_view s)
{
    if (!s.empty() && (s.front() == '+' || s.front() == '-'))
        s.remove_prefix(1);
    bool digits = false, point = false;
    for (char c : s) {
        if (c >= '0' && c <= '9')
            digits = true;
        else if (c == '.' && !point)
            point = true;
        else
            return false;
    }
    return digits;
}

} // namespace

ValueType valueTypeOf(const odbc::ColumnInfo& column)
{
    const std::string base = baseTypeName(column);
    switch (column.kind) {
    case odbc::Kind::Integer:
        return column.sqlType == SQL_BIT || base == "bit" ? ValueType::Bit : ValueType::Integer;
    case odbc::Kind::Real:
        return column.sqlType == SQL_REAL || base == "real" ? ValueType::Real : ValueType::Float;
    case odbc::Kind::Binary:
        return ValueType::Binary;
    case odbc::Kind::Null:
    case odbc::Kind::Text:
        break;
    }
    // A driver that knows no such type reports it as its nearest one (a timestamp); the
    // declared name tells the offset apart.
    if (base == "datetimeoffset")
        return ValueType::DateTimeOffset;
    switch (column.sqlType) {
    case SQL_DECIMAL:
    case SQL_NUMERIC: return ValueType::Decimal;
    case SQL_TYPE_DATE:
    case SQL_DATE: return ValueType::Date;
    case SQL_TYPE_TIME:
    case SQL_TIME:
    case kSqlTime2: return ValueType::Time;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: return ValueType::DateTime;
    case kSqlDateTimeOffset: return ValueType::DateTimeOffset;
    case SQL_GUID: return ValueType::Guid;
    default: break;
    }
    if (base == "money" || base == "smallmoney" || base == "decimal" || base == "numeric")
        return ValueType::Decimal;
    if (base == "uniqueidentifier")
        return ValueType::Guid;
    if (base == "datetimeoffset")
        return ValueType::DateTimeOffset;
    if (base == "date")
        return ValueType::Date;
    if (base == "time")
        return ValueType::Time;
    if (base == "datetime" || base == "datetime2" || base == "smalldatetime")
        return ValueType::DateTime;
    return ValueType::Text;
}

bool isTextual(const odbc::ColumnInfo& column) { return valueTypeOf(column) == ValueType::Text; }

bool isComparable(const odbc::ColumnInfo& column)
{
    const std::string base = baseTypeName(column);
    if (base == "text" || base == "ntext" || base == "image" || base == "xml" || base == "sql_variant"
        || base == "hierarchyid" || base == "geometry" || base == "geography")
        return false;
    if (column.sqlType == kSqlXml || column.sqlType == kSqlVariant || column.sqlType == kSqlUdt)
        return false;
    // CLR types arrive as binary without a type name of their own.
    if (column.kind == odbc::Kind::Binary && base.empty())
        return false;
    return true;
}

bool isGenerated(const odbc::ColumnInfo& column)
{
    return column.autoIncrement || column.rowVersion || !column.updatable;
}

QString generatedReason(const odbc::ColumnInfo& column)
{
    if (column.autoIncrement)
        return QStringLiteral("it is an identity column: the server numbers the rows itself");
    if (column.rowVersion)
        return QStringLiteral("it is a rowversion column: the server stamps it afresh whenever the row changes");
    if (!column.updatable)
        return QStringLiteral("it is a computed column: the server works its value out from the other columns");
    return {};
}

short bindTypeOf(const odbc::ColumnInfo& column, const odbc::Value& value)
{
    // What the drivers pass whole as the short types: 4,000 UTF-16 units, 8,000 bytes.
    constexpr std::size_t kShortTextUnits = 4000;
    constexpr std::size_t kShortBinaryBytes = 8000;
    const std::string base = baseTypeName(column);
    switch (value.kind) {
    case odbc::Kind::Text: {
        if (column.sqlType == kSqlXml || base == "xml")
            return SQL_WLONGVARCHAR;
        if (column.sqlType == kSqlDateTimeOffset)
            return SQL_WVARCHAR;
        const bool wide = column.sqlType == SQL_WCHAR || column.sqlType == SQL_WVARCHAR
            || column.sqlType == SQL_WLONGVARCHAR;
        const bool narrow = column.sqlType == SQL_CHAR || column.sqlType == SQL_VARCHAR
            || column.sqlType == SQL_LONGVARCHAR;
        if (wide || narrow) {
            // UTF-16 units: one per character, two for those beyond the BMP (4-byte UTF-8).
            std::size_t units = 0;
            for (unsigned char ch : value.bytes)
                units += (ch & 0xC0) == 0x80 ? 0 : ch >= 0xF0 ? 2 : 1;
            if (units > kShortTextUnits)
                return wide ? SQL_WLONGVARCHAR : SQL_LONGVARCHAR;
        }
        return column.sqlType;
    }
    case odbc::Kind::Binary:
        if (value.bytes.size() > kShortBinaryBytes
            && (column.sqlType == SQL_BINARY || column.sqlType == SQL_VARBINARY))
            return SQL_LONGVARBINARY;
        return column.sqlType;
    case odbc::Kind::Null:
        // The driver sends no xml of its own, not even a NULL one.
        return column.sqlType == kSqlXml || base == "xml" ? SQL_WLONGVARCHAR : column.sqlType;
    default: return column.sqlType;
    }
}

bool isNumeric(const odbc::ColumnInfo& column)
{
    switch (valueTypeOf(column)) {
    case ValueType::Integer:
    case ValueType::Bit:
    case ValueType::Real:
    case ValueType::Float:
    case ValueType::Decimal: return true;
    default: return false;
    }
}

void appendDisplayUtf8(const odbc::ColumnInfo& column, const odbc::CellView& cell, std::string& out)
{
    switch (cell.kind) {
    case odbc::Kind::Null: return;
    case odbc::Kind::Integer: appendInteger(cell.integer, out); return;
    case odbc::Kind::Real: appendReal(cell.real, valueTypeOf(column) == ValueType::Real, out); return;
    case odbc::Kind::Text: out.append(cell.bytes); return;
    case odbc::Kind::Binary: appendHex(cell.bytes, out); return;
    }
}

QString displayText(const odbc::ColumnInfo& column, const odbc::CellView& cell)
{
    if (cell.kind == odbc::Kind::Text)
        return QString::fromUtf8(cell.bytes.data(), static_cast<qsizetype>(cell.bytes.size()));
    std::string out;
    appendDisplayUtf8(column, cell, out);
    return QString::fromLatin1(out.data(), static_cast<qsizetype>(out.size()));
}

odbc::CellView viewOf(const odbc::Value& value)
{
    odbc::CellView v;
    v.kind = value.kind;
    v.integer = value.integer;
    v.real = value.real;
    v.bytes = value.bytes;
    return v;
}

QString displayText(const odbc::ColumnInfo& column, const odbc::Value& value)
{
    return displayText(column, viewOf(value));
}

ParsedValue parseValue(const odbc::ColumnInfo& column, const QString& text)
{
    const ValueType type = valueTypeOf(column);
    if (type == ValueType::Text)
        return accepted(odbc::Value::fromText(text.toStdString()));

    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return accepted(odbc::Value::null());
    const std::string utf8 = trimmed.toStdString();
    std::string_view s = trimView(utf8);

    switch (type) {
    case ValueType::Bit: {
        if (s == "0" || trimmed.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return accepted(odbc::Value::fromInteger(0));
        if (s == "1" || trimmed.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return accepted(odbc::Value::fromInteger(1));
        return refused(QStringLiteral("0 or 1 is expected."));
    }
    case ValueType::Integer: {
        const auto [lo, hi] = integerRange(column);
        const QString expected = QStringLiteral("a whole number from %1 to %2 is expected.").arg(lo).arg(hi);
        std::string_view digits = s;
        if (!digits.empty() && digits.front() == '+')
            digits.remove_prefix(1);
        std::int64_t v = 0;
        auto res = std::from_chars(digits.data(), digits.data() + digits.size(), v);
        if (res.ec != std::errc() || res.ptr != digits.data() + digits.size() || digits.empty())
            return refused(expected);
        if (v < lo || v > hi)
            return refused(expected);
        return accepted(odbc::Value::fromInteger(v));
    }
    case ValueType::Real:
    case ValueType::Float: {
        const QString expected = QStringLiteral("a number such as 3.25 or 1.5E-3 is expected.");
        std::string_view digits = s;
        if (!digits.empty() && digits.front() == '+')
            digits.remove_prefix(1);
        if (digits.empty() || !(std::isdigit(static_cast<unsigned char>(digits.back())) || digits.back() == '.'))
            return refused(expected);
        double v = 0;
        auto res = std::from_chars(digits.data(), digits.data() + digits.size(), v);
        if (res.ec != std::errc() || res.ptr != digits.data() + digits.size() || !std::isfinite(v))
            return refused(expected);
        if (type == ValueType::Real && std::fabs(v) > std::numeric_limits<float>::max())
            return refused(expected);
        return accepted(odbc::Value::fromReal(v));
    }
    case ValueType::Decimal:
        if (!isDecimalText(s))
            return refused(QStringLiteral("a number such as 1234.56 is expected."));
        return accepted(odbc::Value::fromText(std::string(s.front() == '+' ? s.substr(1) : s)));
    case ValueType::Date: {
        const QString v = parseDate(trimmed);
        if (v.isNull())
            return refused(QStringLiteral("a date such as 2024-03-31 is expected."));
        return accepted(odbc::Value::fromText(v.toStdString()));
    }
    case ValueType::Time: {
        const QString v = parseTime(trimmed);
        if (v.isNull())
            return refused(QStringLiteral("a time such as 14:30:00 is expected."));
        return accepted(odbc::Value::fromText(v.toStdString()));
    }
    case ValueType::DateTime: {
        const QString v = parseDateTime(trimmed, false);
        if (v.isNull())
            return refused(QStringLiteral("a date and time such as 2024-03-31 14:30:00 is expected."));
        return accepted(odbc::Value::fromText(v.toStdString()));
    }
    case ValueType::DateTimeOffset: {
        const QString v = parseDateTime(trimmed, true);
        if (v.isNull())
            return refused(QStringLiteral("a date, time and offset such as 2024-03-31 14:30:00 +02:00 is expected."));
        return accepted(odbc::Value::fromText(v.toStdString()));
    }
    case ValueType::Guid: {
        QString g = trimmed;
        if (g.startsWith(QLatin1Char('{')) && g.endsWith(QLatin1Char('}')))
            g = g.mid(1, g.size() - 2);
        bool ok = g.size() == 36;
        for (int i = 0; ok && i < g.size(); ++i)
            ok = (i == 8 || i == 13 || i == 18 || i == 23) ? g[i] == QLatin1Char('-') : isHexDigit(g[i]);
        if (!ok)
            return refused(QStringLiteral("a uniqueidentifier such as 6F9619FF-8B86-D011-B42D-00C04FC964FF is expected."));
        return accepted(odbc::Value::fromText(g.toUpper().toStdString()));
    }
    case ValueType::Binary: {
        std::string_view h = s;
        if (h.size() >= 2 && h[0] == '0' && (h[1] == 'x' || h[1] == 'X'))
            h.remove_prefix(2);
        bool ok = h.size() % 2 == 0;
        for (std::size_t i = 0; ok && i < h.size(); ++i)
            ok = std::isxdigit(static_cast<unsigned char>(h[i])) != 0;
        if (!ok)
            return refused(QStringLiteral("0x followed by pairs of hexadecimal digits, such as 0x1F0A, is expected."));
        std::string bytes(h.size() / 2, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(hexValue(h[2 * i]) * 16 + hexValue(h[2 * i + 1]));
        return accepted(odbc::Value::fromBinary(std::move(bytes)));
    }
    case ValueType::Text: break;
    }
    return accepted(odbc::Value::fromText(text.toStdString()));
}

int compareDecimalText(std::string_view a, std::string_view b)
{
    struct Dec {
        bool neg = false;
        std::string_view whole, frac;
        bool ok = true;
    };
    auto split = [](std::string_view s) {
        Dec d;
        s = trimView(s);
        if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
            d.neg = s.front() == '-';
            s.remove_prefix(1);
        }
        const auto dot = s.find('.');
        d.whole = s.substr(0, dot);
        d.frac = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
        for (char c : d.whole)
            d.ok = d.ok && c >= '0' && c <= '9';
        for (char c : d.frac)
            d.ok = d.ok && c >= '0' && c <= '9';
        while (!d.whole.empty() && d.whole.front() == '0')
            d.whole.remove_prefix(1);
        while (!d.frac.empty() && d.frac.back() == '0')
            d.frac.remove_suffix(1);
        if (d.whole.empty() && d.frac.empty())
            d.neg = false;
        return d;
    };
    const Dec x = split(a), y = split(b);
    if (!x.ok || !y.ok) {
        const double dx = std::strtod(std::string(a).c_str(), nullptr);
        const double dy = std::strtod(std::string(b).c_str(), nullptr);
        return dx < dy ? -1 : dx > dy ? 1 : 0;
    }
    if (x.neg != y.neg)
        return x.neg ? -1 : 1;
    int mag = 0;
    if (x.whole.size() != y.whole.size()) {
        mag = x.whole.size() < y.whole.size() ? -1 : 1;
    } else if (int c = x.whole.compare(y.whole); c != 0) {
        mag = c < 0 ? -1 : 1;
    } else {
        const std::size_t n = std::max(x.frac.size(), y.frac.size());
        for (std::size_t i = 0; i < n && mag == 0; ++i) {
            const char cx = i < x.frac.size() ? x.frac[i] : '0';
            const char cy = i < y.frac.size() ? y.frac[i] : '0';
            if (cx != cy)
                mag = cx < cy ? -1 : 1;
        }
    }
    return x.neg ? -mag : mag;
}

int compareValues(const odbc::ColumnInfo& column, const odbc::CellView& a, const odbc::CellView& b)
{
    const bool an = a.kind == odbc::Kind::Null, bn = b.kind == odbc::Kind::Null;
    if (an || bn)
        return an == bn ? 0 : an ? -1 : 1;
    switch (a.kind) {
    case odbc::Kind::Integer: return a.integer < b.integer ? -1 : a.integer > b.integer ? 1 : 0;
    case odbc::Kind::Real: return a.real < b.real ? -1 : a.real > b.real ? 1 : 0;
    case odbc::Kind::Binary: {
        const int c = a.bytes.compare(b.bytes);
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    default: break;
    }
    switch (valueTypeOf(column)) {
    case ValueType::Decimal: return compareDecimalText(a.bytes, b.bytes);
    case ValueType::Text: {
        const QString x = QString::fromUtf8(a.bytes.data(), static_cast<qsizetype>(a.bytes.size()));
        const QString y = QString::fromUtf8(b.bytes.data(), static_cast<qsizetype>(b.bytes.size()));
        const int c = QString::localeAwareCompare(x, y);
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    default: {
        const int c = a.bytes.compare(b.bytes);
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    }
}

bool sameValue(const odbc::CellView& a, const odbc::CellView& b)
{
    if (a.kind != b.kind)
        return false;
    switch (a.kind) {
    case odbc::Kind::Null: return true;
    case odbc::Kind::Integer: return a.integer == b.integer;
    case odbc::Kind::Real: return std::memcmp(&a.real, &b.real, sizeof(double)) == 0;
    default: return a.bytes == b.bytes;
    }
}

QString typeDescription(const odbc::ColumnInfo& column)
{
    const std::string base = baseTypeName(column);
    QString name = QString::fromStdString(base);
    if (name.isEmpty())
        return column.kind == odbc::Kind::Binary ? QStringLiteral("binary") : QStringLiteral("text");
    if (column.typeName.find('(') != std::string::npos)
        return QString::fromStdString(column.typeName);
    const bool sized = base == "char" || base == "varchar" || base == "nchar" || base == "nvarchar"
        || base == "binary" || base == "varbinary";
    if (sized && column.columnSize > 0)
        return name + (column.columnSize >= 0x3FFFFFFF ? QStringLiteral("(max)")
                                                       : QStringLiteral("(%1)").arg(column.columnSize));
    const bool exact = base == "decimal" || base == "numeric";
    if (exact && (column.sqlType == SQL_DECIMAL || column.sqlType == SQL_NUMERIC))
        return name + QStringLiteral("(%1,%2)").arg(column.columnSize).arg(column.decimalDigits);
    return name;
}

} // namespace tabulon
