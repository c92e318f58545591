#include "Odbc.h"
#include "FreeTdsPort.h"
#include "OdbcDetail.h"
#include "ResultSetImpl.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <map>
#include <mutex>

namespace odbc {

using namespace detail;

// ---------------------------------------------------------------------------------------------
// Error, Value

Error::Error(std::string description, std::string sqlState, int nativeError,
             std::vector<DiagnosticRecord> records)
    : description_(std::move(description)), sqlState_(std::move(sqlState)),
      nativeError_(nativeError), records_(std::move(records))
{
}

Value Value::fromView(const CellView& c)
{
    Value v;
    v.kind = c.kind;
    v.integer = c.integer;
    v.real = c.real;
    v.bytes.assign(c.bytes.data(), c.bytes.size());
    return v;
}

// ---------------------------------------------------------------------------------------------
// UTF-8 <-> UTF-16

std::u16string toUtf16(std::string_view s)
{
    std::u16string out;
    out.reserve(s.size());
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        const unsigned char b = *p;
        if (b < 0x80) {
            out.push_back(char16_t(b));
            ++p;
            continue;
        }
        char32_t cp = 0;
        int extra = 0;
        char32_t min = 0;
        if ((b & 0xE0) == 0xC0) { cp = b & 0x1F; extra = 1; min = 0x80; }
        else if ((b & 0xF0) == 0xE0) { cp = b & 0x0F; extra = 2; min = 0x800; }
        else if ((b & 0xF8) == 0xF0) { cp = b & 0x07; extra = 3; min = 0x10000; }
        else { out.push_back(u'\uFFFD'); ++p; continue; }
        if (end - p <= extra) { out.push_back(u'\uFFFD'); ++p; continue; }
        bool ok = true;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) { ok = false; break; }
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(u'\uFFFD');
            ++p;
            continue;
        }
        p += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
    }
    return out;
}

namespace detail {

void appendUtf8(std::string& out, const char16_t* s, std::size_t n)
{
    std::size_t i = 0;
    // Most cells are plain ASCII: copy those runs without per-character branching below.
    while (i < n && s[i] < 0x80)
        ++i;
    const std::size_t start = out.size();
    out.resize(start + i);
    for (std::size_t k = 0; k < i; ++k)
        out[start + k] = char(s[k]);
    for (; i < n; ++i) {
        char32_t cp = s[i];
        if (cp < 0x80) {
            out.push_back(char(cp));
            continue;
        }
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x800) {
            out.push_back(char(0xC0 | (cp >> 6)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(char(0xE0 | (cp >> 12)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (cp >> 18)));
            out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        }
    }
}

} // namespace detail

std::string toUtf8(std::u16string_view s)
{
    std::string out;
    out.reserve(s.size());
    appendUtf8(out, s.data(), s.size());
    return out;
}

namespace detail {

// ---------------------------------------------------------------------------------------------
// Diagnostics and the one check

namespace {

bool validUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        const int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || (extra > 0 && i + std::size_t(extra) >= s.size()))
            return false;
        for (int k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(s[i + std::size_t(k)]) & 0xC0) != 0x80)
                return false;
        }
        i += std::size_t(extra) + 1;
    }
    return true;
}

// A message of a driver without wide calls, as the driver manager keeps it: converted to UTF-16
// through the locale's character set as UCS-2, or, where that failed (any character beyond
// U+FFFF, or a non-UTF-8 locale), widened byte by byte. The second form is UTF-8 again once
// narrowed byte by byte.
std::string messageOfNarrowDriver(std::u16string_view text)
{
    bool bytewise = true, high = false;
    for (char16_t u : text) {
        bytewise = bytewise && u <= 0xFF;
        high = high || u >= 0x80;
    }
    if (bytewise && high) {
        std::string bytes(text.size(), '\0');
        for (std::size_t i = 0; i < text.size(); ++i)
            bytes[i] = char(text[i]);
        if (validUtf8(bytes))
            return bytes;
    }
    return toUtf8(text);
}

} // namespace

std::vector<DiagnosticRecord> diagnostics(SQLSMALLINT handleType, SQLHANDLE handle, TextCalls calls)
{
    std::vector<DiagnosticRecord> records;
    if (handle == SQL_NULL_HANDLE)
        return records;
    std::u16string message(1024, u'\0');
    for (SQLSMALLINT i = 1; i < 100; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(handleType, handle, i, state, &native, wide(message),
                                      SQLSMALLINT(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && std::size_t(length) >= message.size()) {
            message.assign(std::size_t(length) + 1, u'\0');
            rc = SQLGetDiagRecW(handleType, handle, i, state, &native, wide(message),
                                SQLSMALLINT(message.size()), &length);
        }
        if (!SQL_SUCCEEDED(rc))
            break;
        DiagnosticRecord r;
        r.sqlState = toUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(state), 5));
        r.nativeError = int(native);
        const std::size_t n = std::min<std::size_t>(std::size_t(std::max<SQLSMALLINT>(length, 0)),
                                                    message.size() - 1);
        const std::u16string_view text(message.data(), n);
        r.message = calls == TextCalls::Narrow ? messageOfNarrowDriver(text) : toUtf8(text);
        records.push_back(std::move(r));
    }
    return records;
}

[[noreturn]] static void raise(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char* call,
                               TextCalls calls)
{
    std::vector<DiagnosticRecord> records =
        rc == SQL_INVALID_HANDLE ? std::vector<DiagnosticRecord>{} : diagnostics(handleType, handle, calls);
    std::string description;
    for (const DiagnosticRecord& r : records) {
        if (!description.empty())
            description += '\n';
        description += r.message;
    }
    if (description.empty())
        description = std::string(call) + (rc == SQL_INVALID_HANDLE ? " was given an invalid handle"
                                                                     : " failed without a message from the driver");
    std::string state = records.empty() ? std::string() : records.front().sqlState;
    int native = records.empty() ? 0 : records.front().nativeError;
    throw Error(std::move(description), std::move(state), native, std::move(records));
}

SQLRETURN check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char* call, TextCalls calls)
{
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA)
        return rc;
    raise(rc, handleType, handle, call, calls);
}

CallText::CallText(const std::string& utf8, TextCalls calls)
{
    if (calls == TextCalls::Narrow)
        narrow = utf8;
    else
        wide = toUtf16(utf8);
}

SQLSMALLINT CallText::length(TextCalls calls) const
{
    const std::size_t n = calls == TextCalls::Narrow ? narrow.size() : wide.size();
    return n <= std::size_t(SHRT_MAX) ? SQLSMALLINT(n) : SQLSMALLINT(SQL_NTS);
}

// ---------------------------------------------------------------------------------------------
// Environment, connection handle

std::shared_ptr<EnvHandle> sharedEnvironment()
{
    static std::mutex mutex;
    static std::weak_ptr<EnvHandle> current;
    std::lock_guard lock(mutex);
    if (auto env = current.lock())
        return env;
    SQLHANDLE h = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h)))
        throw Error("The ODBC driver manager could not set up an environment.");
    auto env = std::make_shared<EnvHandle>(h);
    check(SQLSetEnvAttr(h, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
          SQL_HANDLE_ENV, h, "SQLSetEnvAttr");
    current = env;
    return env;
}

ConnectedDbc::~ConnectedDbc()
{
    if (!dbc)
        return;
    if (connected && inTransaction)
        SQLEndTran(SQL_HANDLE_DBC, dbc.get(), SQL_ROLLBACK);
    if (connected)
        SQLDisconnect(dbc.get());
}

StmtHandle newStatement(const ConnectedDbc& c)
{
    if (!c.connected)
        throw Error("The connection is closed.");
    SQLHANDLE h = SQL_NULL_HANDLE;
    check(SQLAllocHandle(SQL_HANDLE_STMT, c.dbc.get(), &h), SQL_HANDLE_DBC, c.dbc.get(), "SQLAllocHandle", c.calls);
    StmtHandle stmt(h);
    // A driver that cannot limit its statements (SQLite's) refuses or ignores the attribute;
    // the statement then runs as it would without it.
    if (c.queryTimeout > 0)
        SQLSetStmtAttr(h, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(c.queryTimeout), SQL_IS_UINTEGER);
    return stmt;
}

// ---------------------------------------------------------------------------------------------
// Types and parameters

namespace {
constexpr SQLSMALLINT kSqlVariant = -150; // SQL Server's sql_variant
constexpr SQLSMALLINT kSqlUdt = -151;     // SQL Server CLR types (hierarchyid, geometry, ...)

bool isBinaryType(SQLSMALLINT t)
{
    return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY || t == kSqlUdt;
}

bool isDateTimeType(SQLSMALLINT t)
{
    switch (t) {
    case SQL_TYPE_DATE: case SQL_TYPE_TIME: case SQL_TYPE_TIMESTAMP:
    case SQL_DATE: case SQL_TIME: case SQL_TIMESTAMP:
        return true;
    default:
        return false;
    }
}

// The SQL type a value is bound as, given the type of its column. FreeTDS sends a character or
// binary parameter of a short type as nvarchar(4000), varchar(8000) or varbinary(8000) at most,
// whatever its length, and cuts a longer value there without a word: 5,000 characters typed
// into an nvarchar(max) column would reach the server as the first 4,000. A value that may not
// fit goes as the long form of its type (nvarchar(max), varchar(max), varbinary(max) on the
// wire), which any column of the family accepts; a column too short for it then refuses it
// with the server's own message instead of keeping a part.
//   wide text: more than 4,000 UTF-16 units (8,000 bytes);
//   narrow text: more than 2,000 characters (up to 4 bytes each in the server's character set);
//   binary: more than 8,000 bytes.
SQLSMALLINT longFormIfNeeded(SQLSMALLINT sqlType, std::size_t textUnits, std::size_t bytes)
{
    switch (sqlType) {
    case SQL_WCHAR: case SQL_WVARCHAR:
        return textUnits > 4000 ? SQLSMALLINT(SQL_WLONGVARCHAR) : sqlType;
    case SQL_CHAR: case SQL_VARCHAR:
        return textUnits > 2000 ? SQLSMALLINT(SQL_LONGVARCHAR) : sqlType;
    case SQL_BINARY: case SQL_VARBINARY:
        return bytes > 8000 ? SQLSMALLINT(SQL_LONGVARBINARY) : sqlType;
    default:
        return sqlType;
    }
}

// Digits after the decimal point of a number or a time written as text.
short fractionDigits(const std::string& text)
{
    const auto dot = text.rfind('.');
    if (dot == std::string::npos)
        return 0;
    short n = 0;
    for (std::size_t i = dot + 1; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        ++n;
    return n;
}
} // namespace

Kind kindOf(SQLSMALLINT sqlType, const std::string& typeName)
{
    switch (sqlType) {
    case SQL_TINYINT: case SQL_SMALLINT: case SQL_INTEGER: case SQL_BIGINT: case SQL_BIT:
        return Kind::Integer;
    case SQL_REAL: case SQL_FLOAT: case SQL_DOUBLE:
        return Kind::Real;
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: case kSqlUdt:
        return Kind::Binary;
    case kSqlVariant:
        return Kind::Text;
    default:
        break;
    }
    // Some drivers (SQLite) call binary columns of some declared types character columns.
    std::string base;
    for (char ch : typeName) {
        if (ch == '(' || ch == ' ')
            break;
        base.push_back(char(std::tolower(static_cast<unsigned char>(ch))));
    }
    if (base == "image" || base == "blob" || base == "varbinary" || base == "binary")
        return Kind::Binary;
    return Kind::Text;
}

void BoundParams::bind(const StmtHandle& stmt, const std::vector<Param>& params, TextCalls calls)
{
    slots_.clear();
    slots_.reserve(params.size());
    for (std::size_t i = 0; i < params.size(); ++i) {
        const Param& p = params[i];
        auto slot = std::make_unique<Slot>();
        SQLSMALLINT sqlType = p.sqlType;
        SQLULEN columnSize = p.columnSize;
        SQLSMALLINT digits = p.decimalDigits;
        SQLSMALLINT cType = SQL_C_WCHAR;
        SQLPOINTER buffer = &slot->integer;
        SQLLEN bufferLength = 0;

        Kind kind = p.value.kind;
        if (kind == Kind::Null) {
            // A NULL still travels with a C type the SQL type accepts (SQL Server will not
            // turn an nvarchar NULL into varbinary, for one).
            kind = sqlType ? kindOf(sqlType, {}) : Kind::Text;
            slot->indicator = SQL_NULL_DATA;
        }
        switch (kind) {
        case Kind::Integer:
            cType = SQL_C_SBIGINT;
            slot->integer = p.value.integer;
            buffer = &slot->integer;
            bufferLength = sizeof slot->integer;
            if (!sqlType)
                sqlType = SQL_BIGINT;
            break;
        case Kind::Real:
            cType = SQL_C_DOUBLE;
            slot->real = p.value.real;
            buffer = &slot->real;
            bufferLength = sizeof slot->real;
            if (!sqlType)
                sqlType = SQL_DOUBLE;
            break;
        case Kind::Binary:
            cType = SQL_C_BINARY;
            slot->binary = p.value.bytes;
            buffer = slot->binary.data();
            bufferLength = SQLLEN(slot->binary.size());
            // Bytes never travel as characters, whatever a driver calls the column (SQLite
            // describes an image column as varchar).
            if (!sqlType || isCharacterType(sqlType))
                sqlType = SQL_VARBINARY;
            sqlType = longFormIfNeeded(sqlType, 0, slot->binary.size());
            if (isBinaryType(sqlType))
                columnSize = std::max<SQLULEN>({columnSize, slot->binary.size(), 1});
            break;
        case Kind::Text:
        case Kind::Null:
            cType = SQL_C_WCHAR;
            slot->text = toUtf16(p.value.bytes);
            buffer = slot->text.data();
            bufferLength = SQLLEN(slot->text.size() * sizeof(char16_t));
            if (!sqlType)
                sqlType = SQL_WVARCHAR;
            sqlType = longFormIfNeeded(sqlType, slot->text.size(), 0);
            if (isCharacterType(sqlType) || isBinaryType(sqlType)) {
                columnSize = std::max<SQLULEN>({columnSize, slot->text.size(), 1});
            } else if ((sqlType == SQL_DECIMAL || sqlType == SQL_NUMERIC) && columnSize == 0) {
                columnSize = 38;
                digits = fractionDigits(p.value.bytes);
            } else if (isDateTimeType(sqlType) && columnSize == 0) {
                columnSize = std::max<SQLULEN>(slot->text.size(), 8);
                digits = fractionDigits(p.value.bytes);
            }
            break;
        }
        if (slot->indicator != SQL_NULL_DATA)
            slot->indicator = cType == SQL_C_WCHAR || cType == SQL_C_BINARY ? bufferLength : 0;
        checkStmt(SQLBindParameter(stmt.get(), SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, cType, sqlType,
                                   columnSize, digits, buffer, bufferLength, &slot->indicator),
                  stmt, "SQLBindParameter", calls);
        slots_.push_back(std::move(slot));
    }
}

SQLRETURN execDirect(const StmtHandle& stmt, const std::string& sql, BoundParams& bound,
                     const std::vector<Param>& params, TextCalls calls)
{
    bound.bind(stmt, params, calls);
    CallText text(sql, calls);
    const SQLRETURN rc = calls == TextCalls::Narrow
                             ? SQLExecDirect(stmt.get(), text.a(), SQLINTEGER(text.narrow.size()))
                             : SQLExecDirectW(stmt.get(), text.w(), SQLINTEGER(text.wide.size()));
    return checkStmt(rc, stmt, "SQLExecDirect", calls);
}

// Whether text survives the wide calls to this driver: a statement with a Greek letter and an
// emoji goes through SQLNativeSqlW and must come back unchanged.
bool wideCallsCarryText(SQLHDBC dbc)
{
    std::u16string probe = u"SELECT N'\u03A9\U0001F600';";
    std::u16string out(probe.size() * 4 + 16, u'\0');
    SQLINTEGER length = 0;
    // The buffer is twice what is announced: the driver manager's conversion for drivers
    // without wide calls writes past the length it is given.
    const SQLRETURN rc = SQLNativeSqlW(dbc, wide(probe), SQLINTEGER(probe.size()), wide(out),
                                       SQLINTEGER(out.size() / 2), &length);
    if (!SQL_SUCCEEDED(rc) || length < 0)
        return true; // the driver cannot say: keep to the wide calls
    out.resize(std::min<std::size_t>(std::size_t(length), out.size()));
    return out == probe;
}

} // namespace detail

// ---------------------------------------------------------------------------------------------
// Connection

struct Connection::Impl {
    std::shared_ptr<ConnectedDbc> dbc;
    std::optional<std::string> dbmsName;

    ConnectedDbc& live() const
    {
        if (!dbc || !dbc->connected)
            throw Error("The connection is closed.");
        return *dbc;
    }
    TextCalls calls() const { return dbc->calls; }
    std::string infoText(SQLUSMALLINT what) const;
};

namespace {

// Every row of a result, owned.
std::vector<std::vector<Value>> allRows(ResultSet rs)
{
    std::vector<std::vector<Value>> rows;
    const std::size_t n = rs.columns().size();
    while (rs.fetchBlock()) {
        for (std::size_t r = 0; r < rs.blockRows(); ++r) {
            std::vector<Value> row;
            row.reserve(n);
            for (std::size_t c = 0; c < n; ++c)
                row.push_back(Value::fromView(rs.cell(r, c)));
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

std::string textOf(const std::vector<Value>& row, std::size_t column)
{
    return column < row.size() && row[column].kind == Kind::Text ? row[column].bytes : std::string();
}

std::int64_t integerOf(const std::vector<Value>& row, std::size_t column, std::int64_t fallback)
{
    if (column >= row.size())
        return fallback;
    const Value& v = row[column];
    if (v.kind == Kind::Integer)
        return v.integer;
    if (v.kind == Kind::Real)
        return std::int64_t(v.real);
    if (v.kind == Kind::Text) {
        std::int64_t x = 0;
        const char* b = v.bytes.data();
        auto [ptr, ec] = std::from_chars(b, b + v.bytes.size(), x);
        if (ec == std::errc())
            return x;
    }
    return fallback;
}

} // namespace

std::string Connection::Impl::infoText(SQLUSMALLINT what) const
{
    ConnectedDbc& c = live();
    SQLSMALLINT length = 0;
    if (c.calls == TextCalls::Narrow) {
        std::string text(512, '\0');
        check(SQLGetInfo(c.dbc.get(), what, text.data(), SQLSMALLINT(text.size()), &length), SQL_HANDLE_DBC,
              c.dbc.get(), "SQLGetInfo", c.calls);
        text.resize(std::min(text.size() - 1, std::size_t(std::max<SQLSMALLINT>(length, 0))));
        return text;
    }
    std::u16string text(512, u'\0');
    check(SQLGetInfoW(c.dbc.get(), what, text.data(), SQLSMALLINT(text.size() * sizeof(char16_t)), &length),
          SQL_HANDLE_DBC, c.dbc.get(), "SQLGetInfo", c.calls);
    text.resize(std::min(text.size() - 1, std::size_t(std::max<SQLSMALLINT>(length, 0)) / sizeof(char16_t)));
    return toUtf8(text);
}

Connection::Connection(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;
Connection::~Connection() = default;

template <class Impl>
static Impl& usable(const std::unique_ptr<Impl>& impl)
{
    if (!impl)
        throw Error("The connection is closed.");
    impl->live();
    return *impl;
}

Connection Connection::open(const std::string& connectionString)
{
    auto c = std::make_shared<ConnectedDbc>();
    c->env = sharedEnvironment();
    SQLHANDLE h = SQL_NULL_HANDLE;
    check(SQLAllocHandle(SQL_HANDLE_DBC, c->env->get(), &h), SQL_HANDLE_ENV, c->env->get(), "SQLAllocHandle");
    c->dbc = DbcHandle(h);

    std::u16string text = toUtf16(connectionString);
    const SQLSMALLINT length = text.size() <= std::size_t(SHRT_MAX) ? SQLSMALLINT(text.size()) : SQLSMALLINT(SQL_NTS);
    SQLRETURN rc = SQL_ERROR;
    {
        ConnectEnvironment environment(c->env->get(), connectionString); // FreeTDS's default port
        rc = SQLDriverConnectW(h, nullptr, wide(text), length, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    }
    check(rc, SQL_HANDLE_DBC, h, "SQLDriverConnect");
    if (rc == SQL_NO_DATA)
        throw Error("The driver did not open the connection.");
    c->connected = true;
    c->calls = wideCallsCarryText(h) ? TextCalls::Wide : TextCalls::Narrow;

    auto impl = std::make_unique<Impl>();
    impl->dbc = std::move(c);
    return Connection(std::move(impl));
}

long long Connection::execute(const std::string& sql, const std::vector<Param>& params)
{
    Impl& self = usable(impl_);
    const TextCalls calls = self.calls();
    StmtHandle stmt = newStatement(*self.dbc);
    BoundParams bound;
    SQLRETURN rc = execDirect(stmt, sql, bound, params, calls);
    long long affected = 0;
    if (rc != SQL_NO_DATA) {
        SQLLEN count = -1;
        checkStmt(SQLRowCount(stmt.get(), &count), stmt, "SQLRowCount", calls);
        affected = count;
    }
    // A refusal of a later part of the batch comes with the later results: read them all.
    for (int guard = 0; guard < 100000; ++guard) {
        if (checkStmt(SQLMoreResults(stmt.get()), stmt, "SQLMoreResults", calls) == SQL_NO_DATA)
            break;
    }
    return affected;
}

namespace {

// The name of the result that follows a write on SQL Server with the write's own count.
constexpr std::string_view kOwnRowsColumn = "own_rows";

bool isSqlServer(const std::string& dbms)
{
    return dbms.find("SQL Server") != std::string::npos;
}

// The statement text without the blanks and semicolons it ends with.
std::string withoutEnd(const std::string& sql)
{
    std::size_t end = sql.size();
    while (end > 0 && (sql[end - 1] == ';' || std::isspace(static_cast<unsigned char>(sql[end - 1]))))
        --end;
    return sql.substr(0, end);
}

// An integer column of the current row, read as bigint; nullopt for NULL.
std::optional<std::int64_t> integerColumn(const StmtHandle& stmt, SQLUSMALLINT column, TextCalls calls)
{
    SQLBIGINT value = 0;
    SQLLEN indicator = 0;
    checkStmt(SQLGetData(stmt.get(), column, SQL_C_SBIGINT, &value, sizeof value, &indicator), stmt, "SQLGetData",
              calls);
    if (indicator == SQL_NULL_DATA)
        return std::nullopt;
    return std::int64_t(value);
}

// The name of a result column, through the call the driver takes.
std::string resultColumnName(const StmtHandle& stmt, SQLUSMALLINT column, TextCalls calls)
{
    SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    if (calls == TextCalls::Narrow) {
        std::string name(128, '\0');
        checkStmt(SQLDescribeCol(stmt.get(), column, reinterpret_cast<SQLCHAR*>(name.data()), SQLSMALLINT(name.size()),
                                 &length, &type, &size, &digits, &nullable),
                  stmt, "SQLDescribeCol", calls);
        name.resize(std::min<std::size_t>(name.size() - 1, std::size_t(std::max<SQLSMALLINT>(length, 0))));
        return name;
    }
    std::u16string name(128, u'\0');
    checkStmt(SQLDescribeColW(stmt.get(), column, wide(name), SQLSMALLINT(name.size()), &length, &type, &size, &digits,
                              &nullable),
              stmt, "SQLDescribeCol", calls);
    name.resize(std::min<std::size_t>(name.size() - 1, std::size_t(std::max<SQLSMALLINT>(length, 0))));
    return toUtf8(name);
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

WriteOutcome Connection::executeWrite(const std::string& sql, const std::vector<Param>& params, bool wantIdentity)
{
    const std::string dbms = dbmsName();
    Impl& self = usable(impl_);
    const TextCalls calls = self.calls();
    WriteOutcome outcome;
    if (!isSqlServer(dbms)) {
        // SQLite counts a statement's own rows (its triggers' changes are not in it), and its
        // last_insert_rowid() is the statement's own once the triggers are done.
        outcome.rows = execute(sql, params);
        if (wantIdentity && outcome.rows > 0) {
            try {
                outcome.identity = lastIdentity();
            } catch (const Error&) {
                // Written all the same; the value shows once the row is read again.
            }
        }
        return outcome;
    }

    // SQL Server reports a row count for every statement a trigger runs (unless the trigger sets
    // NOCOUNT ON), as DONEINPROC tokens ahead of the statement's own DONE. FreeTDS keeps the last
    // count it saw: in a plain batch that is the trigger's last statement's, so an edit of one
    // row could look like several and be refused, or a statement that matched nothing could look
    // like one that wrote a row. @@ROWCOUNT right after the statement, in the same batch, is the
    // statement's own count whatever its triggers did; SCOPE_IDENTITY() likewise is the
    // statement's own identity value (a trigger runs in a scope of its own, and @@IDENTITY
    // would give the last value a trigger generated in any table).
    const std::string batch = withoutEnd(sql) + ";\nSELECT @@ROWCOUNT AS [" + std::string(kOwnRowsColumn) +
                              "], SCOPE_IDENTITY() AS [own_identity];";
    StmtHandle stmt = newStatement(*self.dbc);
    BoundParams bound;
    SQLRETURN rc = execDirect(stmt, batch, bound, params, calls);
    bool counted = false;
    // Every result in turn, so that a refusal from a later part of the batch or from a trigger
    // raises its error; a trigger's own result sets are passed over.
    for (int guard = 0; guard < 100000 && rc != SQL_NO_DATA; ++guard) {
        SQLSMALLINT columns = 0;
        checkStmt(SQLNumResultCols(stmt.get(), &columns), stmt, "SQLNumResultCols", calls);
        if (!counted && columns == 2 && sameNameIgnoringCase(resultColumnName(stmt, 1, calls), kOwnRowsColumn)) {
            if (checkStmt(SQLFetch(stmt.get()), stmt, "SQLFetch", calls) != SQL_NO_DATA) {
                outcome.rows = integerColumn(stmt, 1, calls).value_or(-1);
                if (wantIdentity) {
                    try {
                        outcome.identity = integerColumn(stmt, 2, calls);
                    } catch (const Error&) {
                        // Beyond bigint (a numeric identity): the row shows it once read again.
                    }
                }
                counted = true;
            }
        }
        rc = checkStmt(SQLMoreResults(stmt.get()), stmt, "SQLMoreResults", calls);
    }
    return outcome;
}

// SQLite's driver describes a query from the schema its connection last read: right after
// another connection changed a table, the first query would come back with the old columns
// (and no more values than those). Any look into SQLite's own catalogue brings the connection
// up to date; a catalogue call asking for one table name does it without SQL of its own.
template <class Impl>
static void catchUpWithSchemaChanges(Impl& self, const std::string& dbms)
{
    if (dbms != "SQLite")
        return;
    const TextCalls calls = self.calls();
    StmtHandle stmt = newStatement(*self.dbc);
    CallText name("sqlite_master", calls);
    const SQLRETURN rc =
        calls == TextCalls::Narrow
            ? SQLTables(stmt.get(), nullptr, 0, nullptr, 0, name.a(), name.length(calls), nullptr, 0)
            : SQLTablesW(stmt.get(), nullptr, 0, nullptr, 0, name.w(), name.length(calls), nullptr, 0);
    checkStmt(rc, stmt, "SQLTables", calls);
}

ResultSet Connection::query(const std::string& sql, const std::vector<Param>& params)
{
    Impl& self = usable(impl_);
    catchUpWithSchemaChanges(self, dbmsName());
    auto bound = std::make_shared<BoundParams>();
    auto run = [sql, params, bound, calls = self.calls()](const StmtHandle& stmt) {
        return execDirect(stmt, sql, *bound, params, calls);
    };
    return ResultSet(ResultSet::Impl::start(self.dbc, std::move(run)));
}

std::vector<std::pair<std::string, std::string>> Connection::tables()
{
    Impl& self = usable(impl_);
    auto run = [calls = self.calls()](const StmtHandle& stmt) {
        const SQLRETURN rc = calls == TextCalls::Narrow
                                 ? SQLTables(stmt.get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0)
                                 : SQLTablesW(stmt.get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0);
        return checkStmt(rc, stmt, "SQLTables", calls);
    };
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const auto& row : allRows(ResultSet(ResultSet::Impl::start(self.dbc, run))))
        pairs.emplace_back(textOf(row, 3), textOf(row, 2)); // TABLE_TYPE, TABLE_NAME
    return pairs;
}

std::vector<std::string> Connection::keyColumns(const std::string& table)
{
    Impl& self = usable(impl_);
    const TextCalls calls = self.calls();
    auto name = std::make_shared<CallText>(table, calls);

    // The primary key, in key order.
    auto primary = [name, calls](const StmtHandle& stmt) {
        const SQLSMALLINT n = name->length(calls);
        const SQLRETURN rc = calls == TextCalls::Narrow
                                 ? SQLPrimaryKeys(stmt.get(), nullptr, 0, nullptr, 0, name->a(), n)
                                 : SQLPrimaryKeysW(stmt.get(), nullptr, 0, nullptr, 0, name->w(), n);
        return checkStmt(rc, stmt, "SQLPrimaryKeys", calls);
    };
    std::vector<std::pair<std::int64_t, std::string>> keyed;
    for (const auto& row : allRows(ResultSet(ResultSet::Impl::start(self.dbc, primary))))
        keyed.emplace_back(integerOf(row, 4, 0), textOf(row, 3)); // KEY_SEQ, COLUMN_NAME
    if (!keyed.empty()) {
        std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::string> key;
        for (auto& k : keyed)
            key.push_back(std::move(k.second));
        return key;
    }

    // Else a unique index whose columns are all NOT NULL.
    auto statistics = [name, calls](const StmtHandle& stmt) {
        const SQLSMALLINT n = name->length(calls);
        const SQLRETURN rc =
            calls == TextCalls::Narrow
                ? SQLStatistics(stmt.get(), nullptr, 0, nullptr, 0, name->a(), n, SQL_INDEX_UNIQUE, SQL_QUICK)
                : SQLStatisticsW(stmt.get(), nullptr, 0, nullptr, 0, name->w(), n, SQL_INDEX_UNIQUE, SQL_QUICK);
        return checkStmt(rc, stmt, "SQLStatistics", calls);
    };
    struct Index {
        std::size_t order = 0;
        std::vector<std::pair<std::int64_t, std::string>> columns;
    };
    std::map<std::string, Index> indexes;
    for (const auto& row : allRows(ResultSet(ResultSet::Impl::start(self.dbc, statistics)))) {
        if (integerOf(row, 6, SQL_TABLE_STAT) == SQL_TABLE_STAT) // TYPE
            continue;
        if (integerOf(row, 3, 1) != SQL_FALSE) // NON_UNIQUE
            continue;
        const std::string column = textOf(row, 8);
        if (column.empty())
            continue; // an index on an expression names no column
        auto [it, added] = indexes.try_emplace(textOf(row, 5)); // INDEX_NAME
        if (added)
            it->second.order = indexes.size();
        it->second.columns.emplace_back(integerOf(row, 7, 0), column); // ORDINAL_POSITION
    }
    if (indexes.empty())
        return {};

    // The NOT NULL columns, from the column catalogue, where the table name is a pattern:
    // '_' and '%' in it are escaped when the driver has an escape character.
    const std::string escape = self.infoText(SQL_SEARCH_PATTERN_ESCAPE);
    std::string pattern;
    for (char ch : table) {
        if (escape.size() == 1 && (ch == '_' || ch == '%' || ch == escape[0]))
            pattern.push_back(escape[0]);
        pattern.push_back(ch);
    }
    auto patternText = std::make_shared<CallText>(pattern, calls);
    auto columnsOf = [patternText, calls](const StmtHandle& stmt) {
        const SQLSMALLINT n = patternText->length(calls);
        const SQLRETURN rc =
            calls == TextCalls::Narrow
                ? SQLColumns(stmt.get(), nullptr, 0, nullptr, 0, patternText->a(), n, nullptr, 0)
                : SQLColumnsW(stmt.get(), nullptr, 0, nullptr, 0, patternText->w(), n, nullptr, 0);
        return checkStmt(rc, stmt, "SQLColumns", calls);
    };
    std::map<std::string, bool> notNull;
    for (const auto& row : allRows(ResultSet(ResultSet::Impl::start(self.dbc, columnsOf)))) {
        if (textOf(row, 2) == table) // the pattern may still match more than this table
            notNull[textOf(row, 3)] = integerOf(row, 10, SQL_NULLABLE_UNKNOWN) == SQL_NO_NULLS;
    }

    // Of the qualifying indexes the narrowest, the driver's first among equals.
    const Index* best = nullptr;
    for (const auto& [indexName, index] : indexes) {
        const bool allNotNull = std::all_of(index.columns.begin(), index.columns.end(), [&](const auto& c) {
            auto it = notNull.find(c.second);
            return it != notNull.end() && it->second;
        });
        if (!allNotNull)
            continue;
        if (!best || index.columns.size() < best->columns.size() ||
            (index.columns.size() == best->columns.size() && index.order < best->order))
            best = &index;
    }
    if (!best)
        return {};
    auto columns = best->columns;
    std::stable_sort(columns.begin(), columns.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> key;
    for (auto& c : columns)
        key.push_back(std::move(c.second));
    return key;
}

static void setAutocommit(ConnectedDbc& c, bool on)
{
    check(SQLSetConnectAttr(c.dbc.get(), SQL_ATTR_AUTOCOMMIT,
                            reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER),
          SQL_HANDLE_DBC, c.dbc.get(), "SQLSetConnectAttr", c.calls);
}

void Connection::setQueryTimeout(std::chrono::seconds limit)
{
    usable(impl_).dbc->queryTimeout = limit.count() > 0 ? SQLULEN(limit.count()) : 0;
}

void Connection::beginTransaction()
{
    ConnectedDbc& c = *usable(impl_).dbc;
    setAutocommit(c, false);
    c.inTransaction = true;
}

static void endTransaction(ConnectedDbc& c, SQLSMALLINT completion)
{
    check(SQLEndTran(SQL_HANDLE_DBC, c.dbc.get(), completion), SQL_HANDLE_DBC, c.dbc.get(), "SQLEndTran", c.calls);
    c.inTransaction = false;
    try {
        setAutocommit(c, true);
    } catch (const Error& e) {
        if (completion == SQL_COMMIT)
            throw ErrorAfterCommit(e); // the server has the transaction's work all the same
        throw;
    }
}

void Connection::commit()
{
    endTransaction(*usable(impl_).dbc, SQL_COMMIT);
}

void Connection::rollback()
{
    endTransaction(*usable(impl_).dbc, SQL_ROLLBACK);
}

std::string Connection::dbmsName()
{
    Impl& self = usable(impl_);
    if (!self.dbmsName)
        self.dbmsName = self.infoText(SQL_DBMS_NAME);
    return *self.dbmsName;
}

std::optional<std::int64_t> Connection::lastIdentity()
{
    const std::string dbms = dbmsName();
    std::string sql;
    if (isSqlServer(dbms))
        sql = "SELECT @@IDENTITY;"; // SCOPE_IDENTITY() is NULL after a prepared (sp_executesql) insert
    else if (dbms == "SQLite")
        sql = "SELECT last_insert_rowid();";
    else
        return std::nullopt;
    const auto rows = allRows(query(sql));
    if (rows.empty() || rows.front().empty() || rows.front().front().isNull())
        return std::nullopt;
    const Value& v = rows.front().front();
    if (v.kind == Kind::Integer)
        return v.integer;
    if (v.kind == Kind::Real)
        return std::int64_t(v.real);
    std::int64_t x = 0;
    std::string_view text = v.bytes;
    if (auto dot = text.find('.'); dot != std::string_view::npos)
        text = text.substr(0, dot); // numeric(38,0) may come as "7" or "7.0"
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), x);
    if (ec != std::errc())
        return std::nullopt;
    return x;
}

} // namespace odbc
