#pragma once

// Anomalies at the ODBC boundary: while a plan is armed, the Nth call the program makes into
// the driver manager goes wrong in a chosen way, or the Nth row count it is told is a lie. The
// test program defines the driver manager's entry points itself (as StatementLog does) and
// passes every call on unchanged unless the plan says otherwise, so the program under test is
// the program as shipped, with no hook of its own.
//
// What goes wrong, at the Nth call:
//   Refuse: the call is not passed on; it fails with "communication link failure" (08S01).
//   Lose:   the call is passed on and carried out, then fails the same way: the server did
//           the work, its answer was lost (a COMMIT done, an INSERT run, ...).
//   Cut:    as Lose, and the connection is gone from then on: the server rolls back what was
//           still open on it, and every later call on it fails.
// And at the Nth row count the program is told (SQLRowCount, or the count a write reports in
// its own result on SQL Server): CountZero and CountTwo report 0 or 2 instead of the truth.

#include <sql.h>

#include <dlfcn.h>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tabulon::faults {

enum class Anomaly { Refuse, Lose, Cut, CountZero, CountTwo };

const char* nameOf(Anomaly a);

// One call the program made, as counted: the entry point and what it was about (the
// statement's first words, COMMIT or ROLLBACK, autocommit on or off).
struct OdbcCall {
    std::string name;
    std::string about;
    bool isCount = false; // a row count the program was told
};

// Arms the injector while it lives (one at a time). With `n` = 0 nothing goes wrong and the
// calls are only counted (a dry run to learn how many there are and what they are).
class AnomalyPlan {
public:
    AnomalyPlan(Anomaly kind, int n);
    ~AnomalyPlan();
    AnomalyPlan(const AnomalyPlan&) = delete;
    AnomalyPlan& operator=(const AnomalyPlan&) = delete;

    // Every call counted so far, in order (row counts included, marked).
    std::vector<OdbcCall> calls() const;
    // Whether the anomaly happened, and at which call.
    bool fired() const;
    OdbcCall firedAt() const;

    // Calls made while a Pause lives are neither counted nor touched: the test's own
    // connections go through the same driver manager.
    class Pause {
    public:
        Pause();
        ~Pause();
        Pause(const Pause&) = delete;
        Pause& operator=(const Pause&) = delete;
    };
};

// The driver manager's own entry point of that name, behind the ones this test program defines.
template <typename F>
F next(const char* name)
{
    void* f = ::dlsym(RTLD_NEXT, name);
    if (!f)
        throw std::logic_error(std::string("the driver manager has no ") + name);
    return reinterpret_cast<F>(f);
}

namespace detail {
// Runs one entry point of the driver manager under the armed plan. `text` is the statement
// text of SQLExecDirect(W), else empty.
SQLRETURN underPlan(const char* name, SQLSMALLINT handleType, SQLHANDLE handle, const std::function<SQLRETURN()>& real,
                    const std::string& about = {});
} // namespace detail

} // namespace tabulon::faults
