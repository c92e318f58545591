#pragma once

// A thin RAII layer over the unixODBC C API. Text crosses as UTF-8 in std::string; the layer
// talks to the driver in UTF-16 (SQL_C_WCHAR) so that non-ASCII names and values survive
// every driver and locale.

#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace odbc {

struct DiagnosticRecord {
    std::string sqlState;
    int nativeError = 0;
    std::string message;
};

// Every failure of the layer. description() is the driver's diagnostic text, all records in
// order, one per line; the first record's SQLSTATE and native code are kept beside it.
class Error : public std::exception {
public:
    Error(std::string description, std::string sqlState = {}, int nativeError = 0,
          std::vector<DiagnosticRecord> records = {});
    const char* what() const noexcept override { return description_.c_str(); }
    const std::string& description() const noexcept { return description_; }
    const std::string& sqlState() const noexcept { return sqlState_; }
    int nativeError() const noexcept { return nativeError_; }
    const std::vector<DiagnosticRecord>& records() const noexcept { return records_; }

private:
    std::string description_;
    std::string sqlState_;
    int nativeError_ = 0;
    std::vector<DiagnosticRecord> records_;
};

// What commit() throws when the server has carried out the COMMIT and only switching autocommit
// back on failed afterwards: the transaction's work is done, the connection is in doubt.
class ErrorAfterCommit : public Error {
public:
    explicit ErrorAfterCommit(const Error& e) : Error(e) {}
};

// How a value travels: the layer picks the C type from the column's SQL type.
//   Integer: tinyint, smallint, int, bigint, bit          (SQL_C_SBIGINT)
//   Real:    real, float, double                          (SQL_C_DOUBLE)
//   Binary:  binary, varbinary, image, CLR types          (SQL_C_BINARY)
//   Text:    everything else, decimals, money, dates and times, GUIDs included (SQL_C_WCHAR,
//            handed over as UTF-8), so exact values stay exact.
enum class Kind : std::uint8_t { Null, Integer, Real, Text, Binary };

// A non-owning view of one fetched value. `bytes` is UTF-8 for Text, raw for Binary.
struct CellView {
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string_view bytes;
};

// An owned value, for parameters and for keeping.
struct Value {
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string bytes;

    static Value null() { return {}; }
    static Value fromInteger(std::int64_t v) { Value x; x.kind = Kind::Integer; x.integer = v; return x; }
    static Value fromReal(double v) { Value x; x.kind = Kind::Real; x.real = v; return x; }
    static Value fromText(std::string v) { Value x; x.kind = Kind::Text; x.bytes = std::move(v); return x; }
    static Value fromBinary(std::string v) { Value x; x.kind = Kind::Binary; x.bytes = std::move(v); return x; }
    static Value fromView(const CellView& c);
    bool isNull() const { return kind == Kind::Null; }
    bool operator==(const Value&) const = default;
};

struct ColumnInfo {
    std::string name;
    short sqlType = 0;          // SQL_INTEGER, SQL_WVARCHAR, SQL_TYPE_TIMESTAMP, ...
    std::string typeName;       // the driver's type name ("int", "nvarchar", "DATETIME", ...)
    std::size_t columnSize = 0; // characters or precision
    short decimalDigits = 0;
    bool nullable = true;       // SQLColAttribute(SQL_DESC_NULLABLE) != SQL_NO_NULLS
    bool autoIncrement = false; // SQL_DESC_AUTO_UNIQUE_VALUE
    bool updatable = true;      // SQL_DESC_UPDATABLE != SQL_ATTR_READONLY
    bool rowVersion = false;    // timestamp / rowversion
    Kind kind = Kind::Text;     // how values of this column travel
    std::string baseTable;      // SQL_DESC_BASE_TABLE_NAME; empty when the driver does not say
};

// A parameter of a statement: the value, and the SQL type it is bound as (normally that of
// the column it is compared with or written to).
struct Param {
    Value value;
    short sqlType = 0; // 0: chosen from the value's kind
    std::size_t columnSize = 0;
    short decimalDigits = 0;
};

// What one INSERT, UPDATE or DELETE did, as executeWrite() reports it.
struct WriteOutcome {
    long long rows = -1;                  // rows the statement itself affected; -1: the driver cannot tell
    std::optional<std::int64_t> identity; // the identity value its INSERT generated, when asked for and known
};

class Connection;

// The rows of one executed query, read forward in blocks.
class ResultSet {
public:
    ResultSet(ResultSet&&) noexcept;
    ResultSet& operator=(ResultSet&&) noexcept;
    ~ResultSet();

    const std::vector<ColumnInfo>& columns() const;
    // Fetches the next block of rows. False at the end of the rows.
    bool fetchBlock();
    std::size_t blockRows() const;
    // A value of the current block. The view stays valid until the next fetchBlock() or the
    // next cell() of the same column.
    CellView cell(std::size_t row, std::size_t column) const;

private:
    friend class Connection;
    struct Impl;
    explicit ResultSet(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

class Connection {
public:
    // SQLDriverConnect with the text exactly as given: no prompt, nothing added.
    static Connection open(const std::string& connectionString);

    Connection(Connection&&) noexcept;
    Connection& operator=(Connection&&) noexcept;
    ~Connection();

    // Runs one statement. Returns the rows affected (0 when the driver says none matched,
    // -1 when the driver cannot tell).
    long long execute(const std::string& sql, const std::vector<Param>& params = {});
    // Runs one INSERT, UPDATE or DELETE and counts the rows that statement affected itself,
    // never those its table's triggers wrote; with `wantIdentity`, also the identity value the
    // INSERT generated itself (not one a trigger generated in another table). Throws Error when
    // the server refuses the statement or anything its triggers do.
    WriteOutcome executeWrite(const std::string& sql, const std::vector<Param>& params = {},
                              bool wantIdentity = false);
    // Runs a query and returns its rows.
    ResultSet query(const std::string& sql, const std::vector<Param>& params = {});

    // The tables catalogue as (TABLE_TYPE, TABLE_NAME) pairs, in the driver's order.
    std::vector<std::pair<std::string, std::string>> tables();
    // The columns that identify a row of the table: its primary key, else a unique index
    // whose columns are all NOT NULL, else none.
    std::vector<std::string> keyColumns(const std::string& table);

    // How long each statement run from now on may take before the driver gives up with
    // SQLSTATE HYT00 (SQL_ATTR_QUERY_TIMEOUT); zero: no limit, the default. What it mostly
    // bounds is the wait for a lock someone else holds, which on SQL Server is endless
    // otherwise. Drivers without the attribute (SQLite's: its lock wait is its own "Timeout"
    // setting, 100 s) run the statement without the limit.
    void setQueryTimeout(std::chrono::seconds limit);

    void beginTransaction(); // autocommit off
    void commit();           // and autocommit on again (ErrorAfterCommit when only that failed)
    void rollback();         // and autocommit on again

    // The identity value the last INSERT on this connection generated, where the driver can tell.
    // On SQL Server that is the last one in any scope, a trigger's included: executeWrite()
    // gives an INSERT's own.
    std::optional<std::int64_t> lastIdentity();
    // SQL_DBMS_NAME, e.g. "Microsoft SQL Server" or "SQLite".
    std::string dbmsName();

private:
    struct Impl;
    explicit Connection(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// UTF-8 <-> UTF-16 (SQLWCHAR is 2 bytes with unixODBC).
std::u16string toUtf16(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);

} // namespace odbc
