#pragma once

// Private to the ODBC layer: handle ownership, the one return-code check, the shared
// environment, and the pieces that Connection and ResultSet share.

#include "Odbc.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the layer expects 2-byte SQLWCHAR (unixODBC)");

namespace odbc::detail {

// One ODBC handle, freed when its owner goes. Move-only; the destructor never throws.
template <SQLSMALLINT Type>
class Handle {
public:
    Handle() = default;
    explicit Handle(SQLHANDLE h) noexcept : h_(h) {}
    Handle(Handle&& o) noexcept : h_(o.h_) { o.h_ = SQL_NULL_HANDLE; }
    Handle& operator=(Handle&& o) noexcept
    {
        if (this != &o) {
            reset();
            h_ = o.h_;
            o.h_ = SQL_NULL_HANDLE;
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }

    SQLHANDLE get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != SQL_NULL_HANDLE; }
    void reset() noexcept
    {
        if (h_ != SQL_NULL_HANDLE)
            SQLFreeHandle(Type, h_);
        h_ = SQL_NULL_HANDLE;
    }

private:
    SQLHANDLE h_ = SQL_NULL_HANDLE;
};

using EnvHandle = Handle<SQL_HANDLE_ENV>;
using DbcHandle = Handle<SQL_HANDLE_DBC>;
using StmtHandle = Handle<SQL_HANDLE_STMT>;

// How text crosses to a driver. Normally through the wide calls, as UTF-16. A driver built
// without them (Debian's SQLite ODBC driver) gets the wide text narrowed by the driver manager
// through the locale's character set, taken as UCS-2: anything outside it, and every character
// beyond U+FFFF, is mangled on the way. Such a driver gets the narrow calls with UTF-8, which
// it hands to its engine unchanged. (Values bound as SQL_C_WCHAR are converted by the driver
// itself and need no such care.)
enum class TextCalls : bool { Wide, Narrow };

// The diagnostic records of a handle, in order.
std::vector<DiagnosticRecord> diagnostics(SQLSMALLINT handleType, SQLHANDLE handle, TextCalls calls);

// The one check for every return code. SQL_SUCCESS and SQL_SUCCESS_WITH_INFO are success;
// SQL_NO_DATA is handed back for the caller to read; everything else throws Error with the
// handle's diagnostic records (or, when the driver left none, a text naming the call).
SQLRETURN check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char* call,
                TextCalls calls = TextCalls::Wide);

inline SQLRETURN checkStmt(SQLRETURN rc, const StmtHandle& h, const char* call, TextCalls calls)
{
    return check(rc, SQL_HANDLE_STMT, h.get(), call, calls);
}

// The process-wide environment (SQL_OV_ODBC3), shared by every connection; it lives as long
// as any connection or result set holds it.
std::shared_ptr<EnvHandle> sharedEnvironment();

// A connected DBC handle, shared by a Connection and the ResultSets it hands out, so a result
// set never outlives the connection it reads from.
struct ConnectedDbc {
    std::shared_ptr<EnvHandle> env;
    DbcHandle dbc;
    bool connected = false;
    bool inTransaction = false;
    TextCalls calls = TextCalls::Wide;
    SQLULEN queryTimeout = 0; // seconds each statement may run; 0: no limit

    ConnectedDbc() = default;
    ConnectedDbc(const ConnectedDbc&) = delete;
    ConnectedDbc& operator=(const ConnectedDbc&) = delete;
    ~ConnectedDbc();
};

// Text as the driver wants it: UTF-16 in SQLWCHAR units.
// The SQL types whose values are text.
inline bool isCharacterType(SQLSMALLINT t)
{
    switch (t) {
    case SQL_CHAR: case SQL_VARCHAR: case SQL_LONGVARCHAR:
    case SQL_WCHAR: case SQL_WVARCHAR: case SQL_WLONGVARCHAR:
        return true;
    default:
        return false;
    }
}

inline SQLWCHAR* wide(std::u16string& s) { return reinterpret_cast<SQLWCHAR*>(s.data()); }

// Appends UTF-16 (count code units) as UTF-8 to out; unpaired surrogates become U+FFFD.
void appendUtf8(std::string& out, const char16_t* text, std::size_t count);

// The C type in which values of an SQL type travel.
Kind kindOf(SQLSMALLINT sqlType, const std::string& typeName);

// Parameters bound to a statement; owns the buffers until the statement has run.
class BoundParams {
public:
    void bind(const StmtHandle& stmt, const std::vector<Param>& params, TextCalls calls);

private:
    struct Slot {
        std::int64_t integer = 0;
        double real = 0;
        std::u16string text;
        std::string binary;
        SQLLEN indicator = 0;
    };
    std::vector<std::unique_ptr<Slot>> slots_;
};

// Builds a statement handle on the connection.
StmtHandle newStatement(const ConnectedDbc& dbc);

// Runs a statement text with its parameters on a fresh statement handle.
SQLRETURN execDirect(const StmtHandle& stmt, const std::string& sql, BoundParams& bound,
                     const std::vector<Param>& params, TextCalls calls);

// A text argument for a narrow or a wide call, kept alive with the call's closure.
struct CallText {
    std::string narrow;
    std::u16string wide;
    CallText(const std::string& utf8, TextCalls calls);
    SQLCHAR* a() { return reinterpret_cast<SQLCHAR*>(narrow.data()); }
    SQLWCHAR* w() { return reinterpret_cast<SQLWCHAR*>(wide.data()); }
    SQLSMALLINT length(TextCalls calls) const;
};

} // namespace odbc::detail
