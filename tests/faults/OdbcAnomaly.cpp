#include "OdbcAnomaly.h"

#include <sqlext.h>
#include <sqlucode.h>

#include <dlfcn.h>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>

namespace tabulon::faults {

const char* nameOf(Anomaly a)
{
    switch (a) {
    case Anomaly::Refuse: return "refused";
    case Anomaly::Lose: return "answer lost";
    case Anomaly::Cut: return "connection cut";
    case Anomaly::CountZero: return "count 0";
    case Anomaly::CountTwo: return "count 2";
    }
    return "?";
}

namespace {

struct Injector {
    std::mutex mutex;
    bool armed = false;
    int paused = 0;
    Anomaly kind = Anomaly::Refuse;
    int target = 0;
    int callsSeen = 0;
    int countsSeen = 0;
    bool fired = false;
    OdbcCall firedAt;
    std::vector<OdbcCall> trace;
    std::set<SQLHANDLE> dead;                   // connections cut
    std::map<SQLHANDLE, SQLHANDLE> parent;      // statement -> its connection
    std::set<SQLHANDLE> ownCount;               // statements whose result carries a write's own count
    SQLHANDLE injectedOn = SQL_NULL_HANDLE;     // the handle whose last call failed here
    std::string injectedText;

    static Injector& get()
    {
        static Injector i;
        return i;
    }
    bool counting() const { return armed && paused == 0; }
    bool countsCalls() const { return kind == Anomaly::Refuse || kind == Anomaly::Lose || kind == Anomaly::Cut; }
    SQLHANDLE connectionOf(SQLSMALLINT type, SQLHANDLE h) const
    {
        if (type == SQL_HANDLE_DBC)
            return h;
        const auto it = parent.find(h);
        return it == parent.end() ? SQL_NULL_HANDLE : it->second;
    }
};

std::string firstWords(const std::string& sql)
{
    std::string s = sql.substr(0, 48);
    for (char& c : s)
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    return s;
}

} // namespace

AnomalyPlan::AnomalyPlan(Anomaly kind, int n)
{
    Injector& in = Injector::get();
    std::lock_guard lock(in.mutex);
    if (in.armed)
        throw std::logic_error("one AnomalyPlan at a time");
    in.armed = true;
    in.kind = kind;
    in.target = n;
    in.callsSeen = in.countsSeen = 0;
    in.fired = false;
    in.firedAt = {};
    in.trace.clear();
    in.dead.clear();
    in.injectedOn = SQL_NULL_HANDLE;
}

AnomalyPlan::~AnomalyPlan()
{
    Injector& in = Injector::get();
    std::lock_guard lock(in.mutex);
    in.armed = false;
    in.dead.clear();
    in.injectedOn = SQL_NULL_HANDLE;
}

std::vector<OdbcCall> AnomalyPlan::calls() const
{
    Injector& in = Injector::get();
    std::lock_guard lock(in.mutex);
    return in.trace;
}

bool AnomalyPlan::fired() const
{
    Injector& in = Injector::get();
    std::lock_guard lock(in.mutex);
    return in.fired;
}

OdbcCall AnomalyPlan::firedAt() const
{
    Injector& in = Injector::get();
    std::lock_guard lock(in.mutex);
    return in.firedAt;
}

AnomalyPlan::Pause::Pause()
{
    Injector& in = Injector::get();
    std::lock_guard lock(in.mutex);
    ++in.paused;
}

AnomalyPlan::Pause::~Pause()
{
    Injector& in = Injector::get();
    std::lock_guard lock(in.mutex);
    --in.paused;
}

namespace detail {

SQLRETURN underPlan(const char* name, SQLSMALLINT handleType, SQLHANDLE handle, const std::function<SQLRETURN()>& real,
                    const std::string& about)
{
    // The driver manager calls some entry points itself (SQLEndTran asks SQLGetInfo): only the
    // program's own calls count.
    thread_local int depth = 0;
    struct Inside {
        Inside() { ++depth; }
        ~Inside() { --depth; }
    } inside;
    if (depth > 1)
        return real();

    Injector& in = Injector::get();
    enum class Do { Pass, Refuse, Lose, Cut, Dead } what = Do::Pass;
    SQLHANDLE dbc = SQL_NULL_HANDLE;
    bool counting = false;
    {
        std::lock_guard lock(in.mutex);
        if (handleType == SQL_HANDLE_STMT && about.find("[own_rows]") != std::string::npos)
            in.ownCount.insert(handle);
        else if (handleType == SQL_HANDLE_STMT && std::string(name).rfind("SQLExecDirect", 0) == 0)
            in.ownCount.erase(handle);
        counting = in.counting();
    }
    if (!counting)
        return real();
    {
        std::lock_guard lock(in.mutex);
        if (in.injectedOn == handle)
            in.injectedOn = SQL_NULL_HANDLE;
        dbc = in.connectionOf(handleType, handle);
        if (dbc != SQL_NULL_HANDLE && in.dead.count(dbc)) {
            what = Do::Dead;
        } else {
            ++in.callsSeen;
            in.trace.push_back({name, firstWords(about), false});
            if (in.countsCalls() && in.callsSeen == in.target && !in.fired) {
                in.fired = true;
                in.firedAt = in.trace.back();
                what = in.kind == Anomaly::Refuse ? Do::Refuse : in.kind == Anomaly::Lose ? Do::Lose : Do::Cut;
            }
        }
    }
    SQLRETURN rc = SQL_ERROR;
    if (what == Do::Pass)
        return real();
    if (what == Do::Lose || what == Do::Cut) {
        const SQLRETURN done = real();
        // A login whose answer is lost is given up by the client: it closes the connection.
        if (SQL_SUCCEEDED(done) && std::string(name) == "SQLDriverConnect") {
            static const auto disconnect = next<SQLRETURN (*)(SQLHDBC)>("SQLDisconnect");
            disconnect(handle);
        }
    }
    if (what == Do::Cut && dbc != SQL_NULL_HANDLE) {
        // The server, losing the session, rolls back what was still open on it.
        static const auto endTran = next<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT)>("SQLEndTran");
        endTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
    }
    std::lock_guard lock(in.mutex);
    if (what == Do::Cut && dbc != SQL_NULL_HANDLE)
        in.dead.insert(dbc);
    in.injectedOn = handle;
    in.injectedText = std::string("[test anomaly] Communication link failure (") + name + ")";
    return rc;
}

// A row count the program is told: the truth, or the plan's lie.
void countReport(SQLLEN* value)
{
    Injector& in = Injector::get();
    std::lock_guard lock(in.mutex);
    if (!in.counting() || !value)
        return;
    ++in.countsSeen;
    in.trace.push_back({"row count", std::to_string(*value), true});
    if (!in.countsCalls() && in.countsSeen == in.target && !in.fired) {
        *value = in.kind == Anomaly::CountZero ? 0 : 2;
        in.fired = true;
        in.firedAt = in.trace.back();
        in.firedAt.about += " -> " + std::to_string(*value);
    }
}

bool ownCountStatement(SQLHANDLE stmt)
{
    Injector& in = Injector::get();
    std::lock_guard lock(in.mutex);
    return in.ownCount.count(stmt) > 0;
}

void rememberParent(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE output)
{
    Injector& in = Injector::get();
    std::lock_guard lock(in.mutex);
    if (type == SQL_HANDLE_DBC) {
        in.dead.erase(output); // a new connection at the address of one that was cut
        return;
    }
    if (type != SQL_HANDLE_STMT)
        return;
    in.parent[output] = input;
    in.ownCount.erase(output);
}

// The failure text of a call failed here, for the handle it failed on.
bool injectedDiagnostic(SQLHANDLE handle, std::string& text)
{
    Injector& in = Injector::get();
    std::lock_guard lock(in.mutex);
    if (in.injectedOn == SQL_NULL_HANDLE || in.injectedOn != handle)
        return false;
    text = in.injectedText;
    return true;
}

} // namespace detail

} // namespace tabulon::faults

namespace {

using tabulon::faults::detail::underPlan;
using tabulon::faults::next;

std::string autocommitText(SQLINTEGER attribute, SQLPOINTER value)
{
    if (attribute != SQL_ATTR_AUTOCOMMIT)
        return "attribute " + std::to_string(attribute);
    return reinterpret_cast<SQLULEN>(value) == SQL_AUTOCOMMIT_ON ? "autocommit on" : "autocommit off";
}

} // namespace

// The driver manager's entry points the ODBC layer uses to talk to the server, passed on
// under the armed plan. (SQLExecDirect(W) and SQLDriverConnectW are defined with the
// statement log, which hands them to the plan too.)
extern "C" {

#define TABULON_REAL(fn, ...) static const auto real = next<SQLRETURN (*)(__VA_ARGS__)>(#fn)

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output)
{
    TABULON_REAL(SQLAllocHandle, SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
    const SQLSMALLINT parentType = type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC
        : type == SQL_HANDLE_DBC                           ? SQL_HANDLE_ENV
                                                           : SQL_HANDLE_ENV;
    if (type == SQL_HANDLE_ENV)
        return real(type, input, output);
    const SQLRETURN rc = underPlan("SQLAllocHandle", parentType, input, [&] { return real(type, input, output); },
                                   type == SQL_HANDLE_STMT ? "statement" : "connection");
    if (SQL_SUCCEEDED(rc) && output)
        tabulon::faults::detail::rememberParent(type, input, *output);
    return rc;
}

SQLRETURN SQL_API SQLBindCol(SQLHSTMT s, SQLUSMALLINT col, SQLSMALLINT type, SQLPOINTER value, SQLLEN length,
                             SQLLEN* indicator)
{
    TABULON_REAL(SQLBindCol, SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
    return underPlan("SQLBindCol", SQL_HANDLE_STMT, s, [&] { return real(s, col, type, value, length, indicator); });
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT s, SQLUSMALLINT par, SQLSMALLINT io, SQLSMALLINT ctype, SQLSMALLINT sqlType,
                                   SQLULEN size, SQLSMALLINT digits, SQLPOINTER value, SQLLEN max, SQLLEN* indicator)
{
    TABULON_REAL(SQLBindParameter, SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN, SQLSMALLINT,
                 SQLPOINTER, SQLLEN, SQLLEN*);
    return underPlan("SQLBindParameter", SQL_HANDLE_STMT, s,
                     [&] { return real(s, par, io, ctype, sqlType, size, digits, value, max, indicator); });
}

SQLRETURN SQL_API SQLColAttribute(SQLHSTMT s, SQLUSMALLINT col, SQLUSMALLINT field, SQLPOINTER text, SQLSMALLINT max,
                                  SQLSMALLINT* length, SQLLEN* number)
{
    TABULON_REAL(SQLColAttribute, SQLHSTMT, SQLUSMALLINT, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*, SQLLEN*);
    return underPlan("SQLColAttribute", SQL_HANDLE_STMT, s,
                     [&] { return real(s, col, field, text, max, length, number); });
}

SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT s, SQLUSMALLINT col, SQLUSMALLINT field, SQLPOINTER text, SQLSMALLINT max,
                                   SQLSMALLINT* length, SQLLEN* number)
{
    TABULON_REAL(SQLColAttributeW, SQLHSTMT, SQLUSMALLINT, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*,
                 SQLLEN*);
    return underPlan("SQLColAttribute", SQL_HANDLE_STMT, s,
                     [&] { return real(s, col, field, text, max, length, number); });
}

SQLRETURN SQL_API SQLColumns(SQLHSTMT s, SQLCHAR* a, SQLSMALLINT al, SQLCHAR* b, SQLSMALLINT bl, SQLCHAR* c,
                             SQLSMALLINT cl, SQLCHAR* d, SQLSMALLINT dl)
{
    TABULON_REAL(SQLColumns, SQLHSTMT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                 SQLSMALLINT);
    return underPlan("SQLColumns", SQL_HANDLE_STMT, s, [&] { return real(s, a, al, b, bl, c, cl, d, dl); });
}

SQLRETURN SQL_API SQLColumnsW(SQLHSTMT s, SQLWCHAR* a, SQLSMALLINT al, SQLWCHAR* b, SQLSMALLINT bl, SQLWCHAR* c,
                              SQLSMALLINT cl, SQLWCHAR* d, SQLSMALLINT dl)
{
    TABULON_REAL(SQLColumnsW, SQLHSTMT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                 SQLWCHAR*, SQLSMALLINT);
    return underPlan("SQLColumns", SQL_HANDLE_STMT, s, [&] { return real(s, a, al, b, bl, c, cl, d, dl); });
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT s, SQLUSMALLINT col, SQLCHAR* name, SQLSMALLINT max, SQLSMALLINT* length,
                                 SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable)
{
    TABULON_REAL(SQLDescribeCol, SQLHSTMT, SQLUSMALLINT, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*, SQLSMALLINT*, SQLULEN*,
                 SQLSMALLINT*, SQLSMALLINT*);
    return underPlan("SQLDescribeCol", SQL_HANDLE_STMT, s,
                     [&] { return real(s, col, name, max, length, type, size, digits, nullable); });
}

SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT s, SQLUSMALLINT col, SQLWCHAR* name, SQLSMALLINT max, SQLSMALLINT* length,
                                  SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable)
{
    TABULON_REAL(SQLDescribeColW, SQLHSTMT, SQLUSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*, SQLSMALLINT*, SQLULEN*,
                 SQLSMALLINT*, SQLSMALLINT*);
    return underPlan("SQLDescribeCol", SQL_HANDLE_STMT, s,
                     [&] { return real(s, col, name, max, length, type, size, digits, nullable); });
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT completion)
{
    TABULON_REAL(SQLEndTran, SQLSMALLINT, SQLHANDLE, SQLSMALLINT);
    return underPlan("SQLEndTran", type, h, [&] { return real(type, h, completion); },
                     completion == SQL_COMMIT ? "COMMIT" : "ROLLBACK");
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT s)
{
    TABULON_REAL(SQLFetch, SQLHSTMT);
    return underPlan("SQLFetch", SQL_HANDLE_STMT, s, [&] { return real(s); });
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT s, SQLUSMALLINT col, SQLSMALLINT type, SQLPOINTER value, SQLLEN max,
                             SQLLEN* indicator)
{
    TABULON_REAL(SQLGetData, SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
    const SQLRETURN rc =
        underPlan("SQLGetData", SQL_HANDLE_STMT, s, [&] { return real(s, col, type, value, max, indicator); });
    // On SQL Server a write reports its own row count as the first column of a result of its own.
    if (SQL_SUCCEEDED(rc) && col == 1 && type == SQL_C_SBIGINT && value && indicator && *indicator != SQL_NULL_DATA
        && tabulon::faults::detail::ownCountStatement(s)) {
        SQLLEN count = static_cast<SQLLEN>(*static_cast<SQLBIGINT*>(value));
        tabulon::faults::detail::countReport(&count);
        *static_cast<SQLBIGINT*>(value) = count;
    }
    return rc;
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC c, SQLUSMALLINT what, SQLPOINTER value, SQLSMALLINT max, SQLSMALLINT* length)
{
    TABULON_REAL(SQLGetInfo, SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*);
    return underPlan("SQLGetInfo", SQL_HANDLE_DBC, c, [&] { return real(c, what, value, max, length); });
}

SQLRETURN SQL_API SQLGetInfoW(SQLHDBC c, SQLUSMALLINT what, SQLPOINTER value, SQLSMALLINT max, SQLSMALLINT* length)
{
    TABULON_REAL(SQLGetInfoW, SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*);
    return underPlan("SQLGetInfo", SQL_HANDLE_DBC, c, [&] { return real(c, what, value, max, length); });
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT s)
{
    TABULON_REAL(SQLMoreResults, SQLHSTMT);
    return underPlan("SQLMoreResults", SQL_HANDLE_STMT, s, [&] { return real(s); });
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT s, SQLSMALLINT* n)
{
    TABULON_REAL(SQLNumResultCols, SQLHSTMT, SQLSMALLINT*);
    return underPlan("SQLNumResultCols", SQL_HANDLE_STMT, s, [&] { return real(s, n); });
}

SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT s, SQLCHAR* a, SQLSMALLINT al, SQLCHAR* b, SQLSMALLINT bl, SQLCHAR* c,
                                 SQLSMALLINT cl)
{
    TABULON_REAL(SQLPrimaryKeys, SQLHSTMT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT);
    return underPlan("SQLPrimaryKeys", SQL_HANDLE_STMT, s, [&] { return real(s, a, al, b, bl, c, cl); });
}

SQLRETURN SQL_API SQLPrimaryKeysW(SQLHSTMT s, SQLWCHAR* a, SQLSMALLINT al, SQLWCHAR* b, SQLSMALLINT bl, SQLWCHAR* c,
                                  SQLSMALLINT cl)
{
    TABULON_REAL(SQLPrimaryKeysW, SQLHSTMT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT);
    return underPlan("SQLPrimaryKeys", SQL_HANDLE_STMT, s, [&] { return real(s, a, al, b, bl, c, cl); });
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT s, SQLLEN* count)
{
    TABULON_REAL(SQLRowCount, SQLHSTMT, SQLLEN*);
    const SQLRETURN rc = underPlan("SQLRowCount", SQL_HANDLE_STMT, s, [&] { return real(s, count); });
    if (SQL_SUCCEEDED(rc))
        tabulon::faults::detail::countReport(count);
    return rc;
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC c, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length)
{
    TABULON_REAL(SQLSetConnectAttr, SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER);
    return underPlan("SQLSetConnectAttr", SQL_HANDLE_DBC, c, [&] { return real(c, attribute, value, length); },
                     autocommitText(attribute, value));
}

SQLRETURN SQL_API SQLStatistics(SQLHSTMT s, SQLCHAR* a, SQLSMALLINT al, SQLCHAR* b, SQLSMALLINT bl, SQLCHAR* c,
                                SQLSMALLINT cl, SQLUSMALLINT unique, SQLUSMALLINT accuracy)
{
    TABULON_REAL(SQLStatistics, SQLHSTMT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                 SQLUSMALLINT, SQLUSMALLINT);
    return underPlan("SQLStatistics", SQL_HANDLE_STMT, s, [&] { return real(s, a, al, b, bl, c, cl, unique, accuracy); });
}

SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT s, SQLWCHAR* a, SQLSMALLINT al, SQLWCHAR* b, SQLSMALLINT bl, SQLWCHAR* c,
                                 SQLSMALLINT cl, SQLUSMALLINT unique, SQLUSMALLINT accuracy)
{
    TABULON_REAL(SQLStatisticsW, SQLHSTMT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                 SQLUSMALLINT, SQLUSMALLINT);
    return underPlan("SQLStatistics", SQL_HANDLE_STMT, s, [&] { return real(s, a, al, b, bl, c, cl, unique, accuracy); });
}

SQLRETURN SQL_API SQLTables(SQLHSTMT s, SQLCHAR* a, SQLSMALLINT al, SQLCHAR* b, SQLSMALLINT bl, SQLCHAR* c,
                            SQLSMALLINT cl, SQLCHAR* d, SQLSMALLINT dl)
{
    TABULON_REAL(SQLTables, SQLHSTMT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                 SQLSMALLINT);
    return underPlan("SQLTables", SQL_HANDLE_STMT, s, [&] { return real(s, a, al, b, bl, c, cl, d, dl); });
}

SQLRETURN SQL_API SQLTablesW(SQLHSTMT s, SQLWCHAR* a, SQLSMALLINT al, SQLWCHAR* b, SQLSMALLINT bl, SQLWCHAR* c,
                             SQLSMALLINT cl, SQLWCHAR* d, SQLSMALLINT dl)
{
    TABULON_REAL(SQLTablesW, SQLHSTMT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                 SQLWCHAR*, SQLSMALLINT);
    return underPlan("SQLTables", SQL_HANDLE_STMT, s, [&] { return real(s, a, al, b, bl, c, cl, d, dl); });
}

// A call failed here reads back as a communication link failure.
SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record, SQLWCHAR* state,
                                 SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT max, SQLSMALLINT* length)
{
    TABULON_REAL(SQLGetDiagRecW, SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLWCHAR*, SQLINTEGER*, SQLWCHAR*, SQLSMALLINT,
                 SQLSMALLINT*);
    std::string text;
    if (!tabulon::faults::detail::injectedDiagnostic(h, text))
        return real(type, h, record, state, native, message, max, length);
    if (record != 1)
        return SQL_NO_DATA;
    static const char kState[] = "08S01";
    if (state)
        for (int i = 0; i < 6; ++i)
            state[i] = static_cast<SQLWCHAR>(kState[i]);
    if (native)
        *native = 0;
    const SQLSMALLINT n = static_cast<SQLSMALLINT>(text.size());
    if (length)
        *length = n;
    if (message && max > 0) {
        const SQLSMALLINT copy = std::min<SQLSMALLINT>(n, static_cast<SQLSMALLINT>(max - 1));
        for (SQLSMALLINT i = 0; i < copy; ++i)
            message[i] = static_cast<SQLWCHAR>(static_cast<unsigned char>(text[static_cast<std::size_t>(i)]));
        message[copy] = 0;
    }
    return SQL_SUCCESS;
}

#undef TABULON_REAL

} // extern "C"
