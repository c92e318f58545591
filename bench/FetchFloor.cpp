#include "FetchFloor.h"

#include "BenchSupport.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace bench {

namespace {

std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle)
{
    std::string out;
    SQLCHAR state[8] = {0}, message[1024] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    for (SQLSMALLINT i = 1; SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length) ==
                            SQL_SUCCESS;
         ++i)
        out += std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(message) + "\n";
    return out;
}

void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* what)
{
    if (!SQL_SUCCEEDED(rc))
        throw std::runtime_error(std::string(what) + " failed: " + diagnostics(type, handle));
}

struct Bound {
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLLEN width = 0;
    std::vector<unsigned char> data;
    std::vector<SQLLEN> indicator;
};

} // namespace

FetchFloorResult measureFetchFloor(const std::string& connectionString, const std::string& table,
                                   std::uint64_t blockRows)
{
    FetchFloorResult result;
    result.blockRows = blockRows;
    Clock clock;

    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    check(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_HANDLE_ENV, env, "SQLAllocHandle(ENV)");
    check(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_HANDLE_ENV,
          env, "SQLSetEnvAttr");
    check(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_HANDLE_ENV, env, "SQLAllocHandle(DBC)");
    SQLCHAR out[1024];
    SQLSMALLINT outLength = 0;
    check(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connectionString.c_str())),
                           SQL_NTS, out, sizeof out, &outLength, SQL_DRIVER_NOPROMPT),
          SQL_HANDLE_DBC, dbc, "SQLDriverConnect");
    check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_HANDLE_DBC, dbc, "SQLAllocHandle(STMT)");

    const std::string sql = "SELECT * FROM [" + table + "];";
    check(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS), SQL_HANDLE_STMT,
          stmt, "SQLExecDirect");
    SQLSMALLINT columns = 0;
    check(SQLNumResultCols(stmt, &columns), SQL_HANDLE_STMT, stmt, "SQLNumResultCols");

    check(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0),
          SQL_HANDLE_STMT, stmt, "SQLSetStmtAttr(ROW_BIND_TYPE)");
    check(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(blockRows)), 0),
          SQL_HANDLE_STMT, stmt, "SQLSetStmtAttr(ROW_ARRAY_SIZE)");
    SQLULEN fetched = 0;
    check(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_HANDLE_STMT, stmt,
          "SQLSetStmtAttr(ROWS_FETCHED_PTR)");

    std::vector<Bound> bound(static_cast<std::size_t>(columns));
    for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(columns); ++c) {
        SQLCHAR name[256];
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        check(SQLDescribeCol(stmt, c, name, sizeof name, &nameLength, &type, &size, &digits, &nullable),
              SQL_HANDLE_STMT, stmt, "SQLDescribeCol");
        Bound& b = bound[c - 1];
        switch (type) {
        case SQL_TINYINT: case SQL_SMALLINT: case SQL_INTEGER: case SQL_BIGINT: case SQL_BIT:
            b.cType = SQL_C_SBIGINT;
            b.width = 8;
            break;
        case SQL_REAL: case SQL_FLOAT: case SQL_DOUBLE:
            b.cType = SQL_C_DOUBLE;
            b.width = 8;
            break;
        case SQL_CHAR: case SQL_VARCHAR: case SQL_WCHAR: case SQL_WVARCHAR:
            b.width = SQLLEN((std::max<SQLULEN>(size, 1) + 1) * 2);
            break;
        default: // decimals, dates: their text form
            b.width = SQLLEN((std::max<SQLULEN>(size, 40) + 3) * 2);
            break;
        }
        b.data.assign(std::size_t(b.width) * blockRows, 0);
        b.indicator.assign(blockRows, 0);
        check(SQLBindCol(stmt, c, b.cType, b.data.data(), b.width, b.indicator.data()), SQL_HANDLE_STMT, stmt,
              "SQLBindCol");
    }

    for (;;) {
        const SQLRETURN rc = SQLFetch(stmt);
        if (rc == SQL_NO_DATA)
            break;
        check(rc, SQL_HANDLE_STMT, stmt, "SQLFetch");
        result.rows += std::int64_t(fetched);
        for (const Bound& b : bound) {
            if (b.cType != SQL_C_WCHAR)
                continue;
            for (SQLULEN r = 0; r < fetched; ++r)
                if (b.indicator[r] != SQL_NULL_DATA && (b.indicator[r] == SQL_NO_TOTAL || b.indicator[r] > b.width - 2))
                    ++result.overflowed;
        }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    const Timing t = clock.elapsed();
    result.seconds = t.wall;
    result.cpu = t.cpu;
    return result;
}

std::vector<double> measureUpdateFloor(const std::string& connectionString, const std::string& table,
                                       const std::string& column, long long id, int times)
{
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    check(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_HANDLE_ENV, env, "SQLAllocHandle(ENV)");
    check(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_HANDLE_ENV,
          env, "SQLSetEnvAttr");
    check(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_HANDLE_ENV, env, "SQLAllocHandle(DBC)");
    SQLCHAR out[1024];
    SQLSMALLINT outLength = 0;
    check(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connectionString.c_str())),
                           SQL_NTS, out, sizeof out, &outLength, SQL_DRIVER_NOPROMPT),
          SQL_HANDLE_DBC, dbc, "SQLDriverConnect");
    check(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
          SQL_HANDLE_DBC, dbc, "SQLSetConnectAttr(AUTOCOMMIT)");
    std::vector<double> seconds;
    for (int k = 0; k < times; ++k) {
        const std::string sql = "UPDATE [" + table + "] SET [" + column + "] = [" + column + "] " +
                                (k % 2 ? "- 1" : "+ 1") + " WHERE [id] = " + std::to_string(id) + ";";
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_HANDLE_DBC, dbc, "SQLAllocHandle(STMT)");
        Stopwatch clock;
        check(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS),
              SQL_HANDLE_STMT, stmt, "SQLExecDirect(UPDATE)");
        check(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_HANDLE_DBC, dbc, "SQLEndTran");
        seconds.push_back(clock.seconds());
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    }
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return seconds;
}

} // namespace bench
