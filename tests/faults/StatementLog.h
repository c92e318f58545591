#pragma once

// What the program hands the ODBC driver manager, as it hands it over: every statement text
// (SQLExecDirect and SQLExecDirectW) with the query timeout set on its statement handle, and
// every connection string. The test program defines these entry points itself and passes each
// call on to the driver manager unchanged, so the program under test runs as it always does
// (unless an AnomalyPlan is armed: see OdbcAnomaly.h).

#include <cstddef>
#include <string>
#include <vector>

namespace tabulon::faults {

struct SentStatement {
    std::string sql;             // UTF-8
    unsigned long timeout = 0;   // SQL_ATTR_QUERY_TIMEOUT of its handle, in seconds
};

// Records while it lives (one at a time).
class StatementLog {
public:
    StatementLog();
    ~StatementLog();
    StatementLog(const StatementLog&) = delete;
    StatementLog& operator=(const StatementLog&) = delete;

    std::vector<SentStatement> statements() const;
    std::vector<std::string> connectionStrings() const;
    // The statements whose text begins with `verb` ("UPDATE", "INSERT", ...).
    std::vector<SentStatement> starting(const std::string& verb) const;
    void clear();

    // Statements sent while a Pause lives are not recorded: on T-SQL the test's own set-up and
    // read-back go through the same driver manager as the program.
    class Pause {
    public:
        Pause();
        ~Pause();
        Pause(const Pause&) = delete;
        Pause& operator=(const Pause&) = delete;
    };
};

} // namespace tabulon::faults
