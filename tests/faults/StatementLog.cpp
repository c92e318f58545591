#include "StatementLog.h"

#include "OdbcAnomaly.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <dlfcn.h>
#include <map>
#include <mutex>
#include <stdexcept>

namespace tabulon::faults {

namespace {

struct Recorder {
    std::mutex mutex;
    bool active = false;
    bool paused = false;
    std::vector<SentStatement> statements;
    std::vector<std::string> connections;
    std::map<SQLHSTMT, unsigned long> timeouts;

    static Recorder& get()
    {
        static Recorder r;
        return r;
    }
};

std::string utf8Of(const SQLWCHAR* text, SQLINTEGER length)
{
    std::string out;
    if (!text)
        return out;
    std::size_t n = 0;
    if (length == SQL_NTS)
        while (text[n])
            ++n;
    else
        n = std::size_t(length);
    for (std::size_t i = 0; i < n; ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(text[++i]) - 0xDC00);
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string textOf(const SQLCHAR* text, SQLINTEGER length)
{
    if (!text)
        return {};
    const char* s = reinterpret_cast<const char*>(text);
    return length == SQL_NTS ? std::string(s) : std::string(s, std::size_t(length));
}

void recordStatement(SQLHSTMT stmt, std::string sql)
{
    Recorder& r = Recorder::get();
    std::lock_guard lock(r.mutex);
    if (!r.active || r.paused)
        return;
    // The layer sets the limit on a fresh handle just before running its one statement; the
    // entry is used up here, since a freed handle's address comes back for another statement.
    const auto it = r.timeouts.find(stmt);
    r.statements.push_back({std::move(sql), it == r.timeouts.end() ? 0ul : it->second});
    if (it != r.timeouts.end())
        r.timeouts.erase(it);
}

void recordConnection(std::string text)
{
    Recorder& r = Recorder::get();
    std::lock_guard lock(r.mutex);
    if (r.active && !r.paused)
        r.connections.push_back(std::move(text));
}

} // namespace

StatementLog::StatementLog()
{
    Recorder& r = Recorder::get();
    std::lock_guard lock(r.mutex);
    if (r.active)
        throw std::logic_error("one StatementLog at a time");
    r.active = true;
    r.statements.clear();
    r.connections.clear();
}

StatementLog::~StatementLog()
{
    Recorder& r = Recorder::get();
    std::lock_guard lock(r.mutex);
    r.active = false;
}

std::vector<SentStatement> StatementLog::statements() const
{
    Recorder& r = Recorder::get();
    std::lock_guard lock(r.mutex);
    return r.statements;
}

std::vector<std::string> StatementLog::connectionStrings() const
{
    Recorder& r = Recorder::get();
    std::lock_guard lock(r.mutex);
    return r.connections;
}

std::vector<SentStatement> StatementLog::starting(const std::string& verb) const
{
    std::vector<SentStatement> out;
    for (const SentStatement& s : statements())
        if (s.sql.rfind(verb, 0) == 0)
            out.push_back(s);
    return out;
}

StatementLog::Pause::Pause()
{
    Recorder& r = Recorder::get();
    std::lock_guard lock(r.mutex);
    r.paused = true;
}

StatementLog::Pause::~Pause()
{
    Recorder& r = Recorder::get();
    std::lock_guard lock(r.mutex);
    r.paused = false;
}

void StatementLog::clear()
{
    Recorder& r = Recorder::get();
    std::lock_guard lock(r.mutex);
    r.statements.clear();
    r.connections.clear();
}

} // namespace tabulon::faults

using tabulon::faults::Recorder;

// The driver manager's entry points, as the program calls them.
extern "C" {

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length)
{
    static const auto real = tabulon::faults::next<SQLRETURN (*)(SQLHSTMT, SQLCHAR*, SQLINTEGER)>("SQLExecDirect");
    std::string sql = tabulon::faults::textOf(text, length);
    tabulon::faults::recordStatement(stmt, sql);
    return tabulon::faults::detail::underPlan("SQLExecDirect", SQL_HANDLE_STMT, stmt,
                                              [&] { return real(stmt, text, length); }, sql);
}

SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length)
{
    static const auto real = tabulon::faults::next<SQLRETURN (*)(SQLHSTMT, SQLWCHAR*, SQLINTEGER)>("SQLExecDirectW");
    std::string sql = tabulon::faults::utf8Of(text, length);
    tabulon::faults::recordStatement(stmt, sql);
    return tabulon::faults::detail::underPlan("SQLExecDirect", SQL_HANDLE_STMT, stmt,
                                              [&] { return real(stmt, text, length); }, sql);
}

SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length)
{
    static const auto real =
        tabulon::faults::next<SQLRETURN (*)(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER)>("SQLSetStmtAttr");
    if (attribute == SQL_ATTR_QUERY_TIMEOUT) {
        Recorder& r = Recorder::get();
        std::lock_guard lock(r.mutex);
        r.timeouts[stmt] = static_cast<unsigned long>(reinterpret_cast<SQLULEN>(value));
    }
    return real(stmt, attribute, value, length);
}

SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC dbc, SQLHWND window, SQLWCHAR* in, SQLSMALLINT inLength, SQLWCHAR* out,
                                    SQLSMALLINT outMax, SQLSMALLINT* outLength, SQLUSMALLINT completion)
{
    static const auto real = tabulon::faults::next<SQLRETURN (*)(SQLHDBC, SQLHWND, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                                                 SQLSMALLINT, SQLSMALLINT*, SQLUSMALLINT)>(
        "SQLDriverConnectW");
    tabulon::faults::recordConnection(tabulon::faults::utf8Of(in, inLength));
    return tabulon::faults::detail::underPlan("SQLDriverConnect", SQL_HANDLE_DBC, dbc, [&] {
        return real(dbc, window, in, inLength, out, outMax, outLength, completion);
    });
}

} // extern "C"
