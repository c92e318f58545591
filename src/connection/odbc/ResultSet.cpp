#include "ResultSetImpl.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

namespace odbc {

using namespace detail;

namespace {

constexpr SQLSMALLINT kSqlXml = -152;            // SQL Server's xml
constexpr SQLULEN kLongTextChars = 4000;          // longer text columns are read piecewise
constexpr SQLULEN kLongBinaryBytes = 8000;        // likewise binary
constexpr std::size_t kBlockBudget = 8u << 20;    // bytes of buffers for one block
constexpr SQLULEN kMaxBlockRows = 1024;

const char* kChangedWhileReading =
    "The rows changed while they were being read. Open the table again.";

std::string lower(std::string s)
{
    for (char& ch : s)
        ch = char(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

// Types whose values have no useful upper bound, whatever size the driver states.
bool unboundedByName(const std::string& typeName)
{
    const std::string t = lower(typeName);
    return t == "text" || t == "ntext" || t == "image" || t == "xml" || t == "blob" || t == "clob";
}

SQLSMALLINT cTypeOf(Kind kind)
{
    switch (kind) {
    case Kind::Integer: return SQL_C_SBIGINT;
    case Kind::Real: return SQL_C_DOUBLE;
    case Kind::Binary: return SQL_C_BINARY;
    default: return SQL_C_WCHAR;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Start: run, describe, bind

std::unique_ptr<ResultSet::Impl> ResultSet::Impl::start(std::shared_ptr<ConnectedDbc> dbc, Runner run)
{
    auto impl = std::make_unique<Impl>();
    impl->dbc = std::move(dbc);
    impl->run = std::move(run);
    if (!impl->execute()) {
        impl->done = true;
        return impl;
    }
    impl->describe();
    impl->rowMode = std::any_of(impl->cols.begin(), impl->cols.end(), [](const Column& c) { return c.longValues; });
    if (!impl->rowMode)
        impl->bindBlock();
    return impl;
}

// Runs the statement on a fresh handle and moves to its first result that has columns.
bool ResultSet::Impl::execute()
{
    stmt = newStatement(*dbc);
    SQLRETURN rc = run(stmt);
    for (int guard = 0; guard < 100000; ++guard) {
        SQLSMALLINT n = 0;
        if (rc != SQL_NO_DATA)
            checkStmt(SQLNumResultCols(stmt.get(), &n), stmt, "SQLNumResultCols", dbc->calls);
        if (n > 0)
            return true;
        rc = checkStmt(SQLMoreResults(stmt.get()), stmt, "SQLMoreResults", dbc->calls);
        if (rc == SQL_NO_DATA)
            break;
    }
    stmt.reset();
    return false;
}

// A column's name and type, through the narrow or the wide call as the driver needs.
std::string ResultSet::Impl::columnName(SQLUSMALLINT c, SQLSMALLINT& type, SQLULEN& size, SQLSMALLINT& digits)
{
    SQLSMALLINT length = 0, nullableIgnored = 0; // SQLDescribeCol's nullability is wrong on SQLite
    if (dbc->calls == TextCalls::Narrow) {
        std::string name(256, '\0');
        for (int attempt = 0; attempt < 2; ++attempt) {
            checkStmt(SQLDescribeCol(stmt.get(), c, reinterpret_cast<SQLCHAR*>(name.data()), SQLSMALLINT(name.size()),
                                     &length, &type, &size, &digits, &nullableIgnored),
                      stmt, "SQLDescribeCol", dbc->calls);
            if (std::size_t(length) < name.size())
                break;
            name.assign(std::size_t(length) + 1, '\0');
        }
        name.resize(std::min(name.size() - 1, std::size_t(std::max<SQLSMALLINT>(length, 0))));
        // The SQLite driver counts characters where it should count bytes, so a non-ASCII
        // name comes back padded with NULs.
        if (const auto nul = name.find('\0'); nul != std::string::npos)
            name.resize(nul);
        return name;
    }
    std::u16string name(256, u'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        checkStmt(SQLDescribeColW(stmt.get(), c, wide(name), SQLSMALLINT(name.size()), &length, &type, &size, &digits,
                                  &nullableIgnored),
                  stmt, "SQLDescribeCol", dbc->calls);
        if (std::size_t(length) < name.size())
            break;
        name.assign(std::size_t(length) + 1, u'\0');
    }
    name.resize(std::min(name.size() - 1, std::size_t(std::max<SQLSMALLINT>(length, 0))));
    if (const auto nul = name.find(u'\0'); nul != std::u16string::npos)
        name.resize(nul);
    return toUtf8(name);
}

void ResultSet::Impl::describe()
{
    SQLSMALLINT n = 0;
    checkStmt(SQLNumResultCols(stmt.get(), &n), stmt, "SQLNumResultCols", dbc->calls);
    columns.clear();
    cols.clear();
    columns.reserve(std::size_t(n));
    cols.resize(std::size_t(n));

    auto number = [this](SQLUSMALLINT c, SQLUSMALLINT field, SQLLEN fallback) {
        SQLLEN value = fallback;
        if (!SQL_SUCCEEDED(SQLColAttributeW(stmt.get(), c, field, nullptr, 0, nullptr, &value)))
            return fallback;
        return value;
    };
    // A text attribute, asked for again with room enough when the first buffer was too small.
    auto text = [this](SQLUSMALLINT c, SQLUSMALLINT field) {
        if (dbc->calls == TextCalls::Narrow) {
            std::string buffer(512, '\0');
            SQLSMALLINT bytes = 0;
            for (int attempt = 0; attempt < 2; ++attempt) {
                if (!SQL_SUCCEEDED(SQLColAttribute(stmt.get(), c, field, buffer.data(), SQLSMALLINT(buffer.size()),
                                                   &bytes, nullptr)))
                    return std::string();
                if (std::size_t(std::max<SQLSMALLINT>(bytes, 0)) < buffer.size() || bytes >= SHRT_MAX - 1)
                    break;
                buffer.assign(std::size_t(bytes) + 1, '\0');
            }
            buffer.resize(std::min(buffer.size() - 1, std::size_t(std::max<SQLSMALLINT>(bytes, 0))));
            return buffer;
        }
        std::u16string buffer(256, u'\0');
        SQLSMALLINT bytes = 0;
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!SQL_SUCCEEDED(SQLColAttributeW(stmt.get(), c, field, buffer.data(),
                                                SQLSMALLINT(buffer.size() * sizeof(char16_t)), &bytes, nullptr)))
                return std::string();
            const std::size_t units = std::size_t(std::max<SQLSMALLINT>(bytes, 0)) / sizeof(char16_t);
            if (units < buffer.size() || bytes >= SHRT_MAX - 3)
                break;
            buffer.assign(units + 1, u'\0');
        }
        buffer.resize(std::min(buffer.size() - 1, std::size_t(std::max<SQLSMALLINT>(bytes, 0)) / sizeof(char16_t)));
        return toUtf8(buffer);
    };

    for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(n); ++c) {
        SQLSMALLINT type = 0, digits = 0;
        SQLULEN size = 0;
        ColumnInfo info;
        info.name = columnName(c, type, size, digits);
        info.sqlType = type;
        info.columnSize = size;
        info.decimalDigits = digits;
        info.typeName = text(c, SQL_DESC_TYPE_NAME);
        info.baseTable = text(c, SQL_DESC_BASE_TABLE_NAME);
        // SQLDescribeCol's nullability is wrong on some drivers (SQLite); the descriptor is not.
        info.nullable = number(c, SQL_DESC_NULLABLE, SQL_NULLABLE_UNKNOWN) != SQL_NO_NULLS;
        info.autoIncrement = number(c, SQL_DESC_AUTO_UNIQUE_VALUE, SQL_FALSE) == SQL_TRUE;
        info.updatable = number(c, SQL_DESC_UPDATABLE, SQL_ATTR_READWRITE_UNKNOWN) != SQL_ATTR_READONLY;
        info.kind = kindOf(type, info.typeName);
        const std::string typeLower = lower(info.typeName);
        info.rowVersion = info.kind == Kind::Binary && (typeLower == "timestamp" || typeLower == "rowversion");
        if (info.rowVersion)
            info.updatable = false;

        Column& col = cols[c - 1];
        col.kind = info.kind;
        switch (info.kind) {
        case Kind::Integer:
        case Kind::Real:
            col.width = 8;
            break;
        case Kind::Binary: {
            const SQLULEN octets = std::max<SQLULEN>(size, SQLULEN(std::max<SQLLEN>(number(c, SQL_DESC_OCTET_LENGTH, 0), 0)));
            col.longValues = unboundedByName(info.typeName) || octets == 0 || octets > kLongBinaryBytes;
            col.width = SQLLEN(std::max<SQLULEN>(octets, 1));
            break;
        }
        default: {
            SQLULEN chars = size;
            if (!isCharacterType(type)) {
                // Numbers, dates, GUIDs as text: room for sign, point and the driver's display form.
                const SQLLEN display = number(c, SQL_DESC_DISPLAY_SIZE, 0);
                chars = std::max<SQLULEN>({size, display > 0 ? SQLULEN(display) : 0, 40}) + 2;
            }
            col.longValues = unboundedByName(info.typeName) || type == kSqlXml || chars == 0 || chars > kLongTextChars;
            col.width = SQLLEN((std::max<SQLULEN>(chars, 1) + 1) * sizeof(char16_t));
            break;
        }
        }
        columns.push_back(std::move(info));
    }
}

void ResultSet::Impl::bindBlock()
{
    std::size_t rowBytes = 0;
    for (const Column& col : cols)
        rowBytes += std::size_t(col.width) + sizeof(SQLLEN);
    capacity = std::clamp<SQLULEN>(SQLULEN(kBlockBudget / std::max<std::size_t>(rowBytes, 1)), 1, kMaxBlockRows);

    checkStmt(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0),
              stmt, "SQLSetStmtAttr", dbc->calls);
    checkStmt(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(capacity), 0), stmt,
              "SQLSetStmtAttr", dbc->calls);
    // The driver may have chosen a smaller block.
    SQLULEN actual = capacity;
    if (SQL_SUCCEEDED(SQLGetStmtAttr(stmt.get(), SQL_ATTR_ROW_ARRAY_SIZE, &actual, 0, nullptr)) && actual >= 1)
        capacity = std::min(capacity, actual);
    status.assign(capacity, SQL_ROW_NOROW);
    checkStmt(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), stmt, "SQLSetStmtAttr", dbc->calls);
    checkStmt(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_STATUS_PTR, status.data(), 0), stmt, "SQLSetStmtAttr", dbc->calls);

    for (std::size_t c = 0; c < cols.size(); ++c) {
        Column& col = cols[c];
        col.data.assign(std::size_t(col.width) * capacity, 0);
        col.indicator.assign(capacity, SQL_NULL_DATA);
        checkStmt(SQLBindCol(stmt.get(), SQLUSMALLINT(c + 1), cTypeOf(col.kind), col.data.data(), col.width,
                             col.indicator.data()),
                  stmt, "SQLBindCol", dbc->calls);
    }
}

// ---------------------------------------------------------------------------------------------
// Fetching

bool ResultSet::Impl::blockOverflowed() const
{
    for (SQLULEN r = 0; r < fetched; ++r) {
        if (status[r] == SQL_ROW_ERROR)
            return true;
        for (const Column& col : cols) {
            if (col.kind != Kind::Text && col.kind != Kind::Binary)
                continue;
            const SQLLEN ind = col.indicator[r];
            if (ind == SQL_NULL_DATA)
                continue;
            const SQLLEN room = col.kind == Kind::Text ? col.width - SQLLEN(sizeof(char16_t)) : col.width;
            if (ind == SQL_NO_TOTAL || ind > room)
                return true;
        }
    }
    return false;
}

bool ResultSet::Impl::fetchBlock()
{
    if (done)
        return false;
    rowsBefore += fetched;
    fetched = 0;

    if (rowMode) {
        const SQLRETURN rc = checkStmt(SQLFetch(stmt.get()), stmt, "SQLFetch", dbc->calls);
        if (rc == SQL_NO_DATA) {
            if (recheckDone < recheckRows)
                throw Error(kChangedWhileReading);
            finish();
            return false;
        }
        fetched = 1;
        readRow();
        if (recheckDone < recheckRows)
            compareWithRecheck();
        return true;
    }

    const SQLRETURN rc = SQLFetch(stmt.get());
    if (rc == SQL_NO_DATA) {
        fetched = 0;
        finish();
        return false;
    }
    if (fetched > capacity)
        fetched = capacity;
    // A failed block is read again row by row when a value did not fit (some drivers fail the
    // block for that); any other failure is the driver's to report.
    if (rc != SQL_ERROR || fetched == 0 || !blockOverflowed())
        checkStmt(rc, stmt, "SQLFetch", dbc->calls);
    if (blockOverflowed()) {
        restartInRowMode();
        return fetchBlock();
    }
    if (fetched == 0) {
        finish();
        return false;
    }
    return true;
}

void ResultSet::Impl::restartInRowMode()
{
    recheck.clear();
    recheck.resize(cols.size());
    for (std::size_t c = 0; c < cols.size(); ++c) {
        recheck[c].kind = cols[c].kind;
        recheck[c].width = cols[c].width;
        recheck[c].data = std::move(cols[c].data);
        recheck[c].indicator = std::move(cols[c].indicator);
    }
    recheckRows = fetched;
    recheckDone = 0;
    const std::size_t skip = rowsBefore;
    fetched = 0;

    stmt.reset();
    if (!execute())
        throw Error(kChangedWhileReading);
    SQLSMALLINT n = 0;
    checkStmt(SQLNumResultCols(stmt.get(), &n), stmt, "SQLNumResultCols", dbc->calls);
    if (std::size_t(n) != cols.size())
        throw Error(kChangedWhileReading);
    rowMode = true;
    for (std::size_t k = 0; k < skip; ++k) {
        if (checkStmt(SQLFetch(stmt.get()), stmt, "SQLFetch", dbc->calls) == SQL_NO_DATA)
            throw Error(kChangedWhileReading);
    }
}

void ResultSet::Impl::readRow()
{
    for (std::size_t c = 0; c < cols.size(); ++c) {
        Column& col = cols[c];
        const auto number = SQLUSMALLINT(c + 1);
        SQLLEN ind = 0;
        col.null = false;
        switch (col.kind) {
        case Kind::Integer:
            checkStmt(SQLGetData(stmt.get(), number, SQL_C_SBIGINT, &col.integer, sizeof col.integer, &ind), stmt,
                      "SQLGetData", dbc->calls);
            col.null = ind == SQL_NULL_DATA;
            break;
        case Kind::Real:
            checkStmt(SQLGetData(stmt.get(), number, SQL_C_DOUBLE, &col.real, sizeof col.real, &ind), stmt,
                      "SQLGetData", dbc->calls);
            col.null = ind == SQL_NULL_DATA;
            break;
        case Kind::Binary: {
            std::string& b = col.bytes;
            if (b.size() < 4096)
                b.resize(4096);
            std::size_t have = 0;
            for (;;) {
                const std::size_t room = b.size() - have;
                const SQLRETURN rc = checkStmt(
                    SQLGetData(stmt.get(), number, SQL_C_BINARY, b.data() + have, SQLLEN(room), &ind), stmt,
                    "SQLGetData", dbc->calls);
                if (rc == SQL_NO_DATA)
                    break;
                if (ind == SQL_NULL_DATA) {
                    col.null = true;
                    break;
                }
                if (ind != SQL_NO_TOTAL && std::size_t(ind) <= room) {
                    have += std::size_t(ind);
                    break;
                }
                have += room;
                const std::size_t rest = ind == SQL_NO_TOTAL ? b.size() : std::size_t(ind) - room;
                b.resize(have + std::max<std::size_t>(rest, 1));
            }
            b.resize(col.null ? 0 : have);
            break;
        }
        case Kind::Text:
        case Kind::Null: {
            std::u16string& w = col.wideValue;
            if (w.size() < 2048)
                w.resize(2048);
            std::size_t have = 0;
            for (;;) {
                const std::size_t room = w.size() - have; // units, the terminator included
                const SQLRETURN rc = checkStmt(SQLGetData(stmt.get(), number, SQL_C_WCHAR, w.data() + have,
                                                          SQLLEN(room * sizeof(char16_t)), &ind),
                                               stmt, "SQLGetData", dbc->calls);
                if (rc == SQL_NO_DATA)
                    break;
                if (ind == SQL_NULL_DATA) {
                    col.null = true;
                    break;
                }
                if (ind != SQL_NO_TOTAL && std::size_t(ind) / sizeof(char16_t) <= room - 1) {
                    have += std::size_t(ind) / sizeof(char16_t);
                    break;
                }
                have += room - 1;
                const std::size_t rest =
                    ind == SQL_NO_TOTAL ? w.size() : std::size_t(ind) / sizeof(char16_t) - (room - 1);
                w.resize(have + rest + 1);
            }
            col.bytes.clear();
            if (!col.null)
                appendUtf8(col.bytes, w.data(), have);
            break;
        }
        }
    }
}

void ResultSet::Impl::compareWithRecheck()
{
    const std::size_t r = recheckDone;
    for (std::size_t c = 0; c < cols.size(); ++c) {
        const Column& now = cols[c];
        const Column& before = recheck[c];
        const SQLLEN ind = before.indicator[r];
        const unsigned char* cell = before.data.data() + std::size_t(before.width) * r;
        if ((ind == SQL_NULL_DATA) != now.null)
            throw Error(kChangedWhileReading);
        if (now.null)
            continue;
        bool same = true;
        switch (now.kind) {
        case Kind::Integer:
            same = std::memcmp(cell, &now.integer, sizeof now.integer) == 0;
            break;
        case Kind::Real:
            same = std::memcmp(cell, &now.real, sizeof now.real) == 0;
            break;
        case Kind::Binary:
            if (ind != SQL_NO_TOTAL && ind <= before.width)
                same = std::size_t(ind) == now.bytes.size() && std::memcmp(cell, now.bytes.data(), now.bytes.size()) == 0;
            break;
        default:
            if (ind != SQL_NO_TOTAL && ind <= before.width - SQLLEN(sizeof(char16_t))) {
                const std::size_t units = std::size_t(ind) / sizeof(char16_t);
                std::string text;
                appendUtf8(text, reinterpret_cast<const char16_t*>(cell), units);
                same = text == now.bytes;
            }
            break;
        }
        if (!same)
            throw Error(kChangedWhileReading);
    }
    if (++recheckDone == recheckRows) {
        recheck.clear();
        recheckRows = recheckDone = 0;
    }
}

void ResultSet::Impl::finish()
{
    done = true;
    if (!stmt)
        return;
    // A refusal later in the batch arrives with the following results.
    for (int guard = 0; guard < 100000; ++guard) {
        if (checkStmt(SQLMoreResults(stmt.get()), stmt, "SQLMoreResults", dbc->calls) == SQL_NO_DATA)
            break;
    }
    stmt.reset();
}

CellView ResultSet::Impl::cell(std::size_t row, std::size_t column)
{
    if (column >= cols.size() || row >= std::size_t(fetched))
        throw Error("No such cell in the rows read.");
    Column& col = cols[column];
    CellView v;
    if (rowMode) {
        if (col.null)
            return v;
        v.kind = col.kind;
        v.integer = col.integer;
        v.real = col.real;
        if (col.kind == Kind::Text || col.kind == Kind::Binary)
            v.bytes = col.bytes;
        return v;
    }
    const SQLLEN ind = col.indicator[row];
    if (ind == SQL_NULL_DATA)
        return v;
    const unsigned char* p = col.data.data() + std::size_t(col.width) * row;
    v.kind = col.kind;
    switch (col.kind) {
    case Kind::Integer:
        std::memcpy(&v.integer, p, sizeof v.integer);
        break;
    case Kind::Real:
        std::memcpy(&v.real, p, sizeof v.real);
        break;
    case Kind::Binary:
        v.bytes = std::string_view(reinterpret_cast<const char*>(p), std::size_t(ind));
        break;
    default:
        col.utf8.clear();
        appendUtf8(col.utf8, reinterpret_cast<const char16_t*>(p), std::size_t(ind) / sizeof(char16_t));
        v.bytes = col.utf8;
        break;
    }
    return v;
}

// ---------------------------------------------------------------------------------------------
// The public face

ResultSet::ResultSet(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ResultSet::ResultSet(ResultSet&&) noexcept = default;
ResultSet& ResultSet::operator=(ResultSet&&) noexcept = default;
ResultSet::~ResultSet() = default;

const std::vector<ColumnInfo>& ResultSet::columns() const
{
    static const std::vector<ColumnInfo> none;
    return impl_ ? impl_->columns : none;
}

bool ResultSet::fetchBlock()
{
    return impl_ && impl_->fetchBlock();
}

std::size_t ResultSet::blockRows() const
{
    return impl_ ? std::size_t(impl_->fetched) : 0;
}

CellView ResultSet::cell(std::size_t row, std::size_t column) const
{
    if (!impl_)
        throw Error("No such cell in the rows read.");
    return impl_->cell(row, column);
}

} // namespace odbc
