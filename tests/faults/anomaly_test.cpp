// Anomalies at the ODBC boundary, the way the most trusted databases test themselves: an
// ordinary editing session (update a keyed row, insert a row, delete a row, update a row of a
// table without a key, quit) is run once for every call the program makes into the driver
// manager, with that one call failing (refused, its answer lost, or the connection cut there),
// and once for every row count the program is told, with that count a lie (0, 2). After each
// run a connection of the test's own checks what the server holds: no row other than those
// edited changed, no row twice, every edit either on the server or refused with a message at
// that moment, and the program still answered and ended when asked.
//
// The test command runs a sample of the calls (those that write, commit and switch
// autocommit, and every 25th of the rest). The whole sweep runs with TABULON_ANOMALY_FULL=1
// (CTest label anomaly_full); TABULON_ANOMALY_TABLE=FILE writes the table of cases there.

#include "FaultSupport.h"
#include "OdbcAnomaly.h"

#include "support/OdbcDrivers.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTextStream>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>

namespace tabulon::faults {
namespace {

// ---------------------------------------------------------------------------------------------
// The session

std::string freshTables(const test::TestDatabase& db)
{
    const std::string drop = db.isSqlite() ? "DROP TABLE IF EXISTS People; DROP TABLE IF EXISTS Notes;"
                                           : "IF OBJECT_ID('People') IS NOT NULL DROP TABLE People;"
                                             "IF OBJECT_ID('Notes') IS NOT NULL DROP TABLE Notes;";
    return drop + "CREATE TABLE People (" + db.autoKey("id") +
           ", name NVARCHAR(20) NOT NULL, city NVARCHAR(20));"
           "INSERT INTO People (name, city) VALUES ('Ann', 'Oslo'), ('Bob', 'Rome'), ('Cy', 'Paris');"
           "CREATE TABLE Notes (word NVARCHAR(20), n INT);"
           "INSERT INTO Notes (word, n) VALUES ('alpha', 1), ('beta', 2);";
}

// What one edit came to, as the person was told at that moment.
enum class Told { NotTried, Saved, Refused, Unknown };

const char* nameOf(Told t)
{
    switch (t) {
    case Told::NotTried: return "not tried";
    case Told::Saved: return "saved";
    case Told::Refused: return "refused";
    case Told::Unknown: return "unknown";
    }
    return "?";
}

bool isUnknownText(const QString& m)
{
    return m.startsWith(QStringLiteral("It is not known whether")) || m.contains(QStringLiteral("\n\nIt is not known whether"));
}

bool isRefusalText(const QString& m)
{
    if (isUnknownText(m))
        return false;
    return m.startsWith(QStringLiteral("The row was not saved")) || m.startsWith(QStringLiteral("The new row was not saved"))
        || m.startsWith(QStringLiteral("The row was not deleted")) || m.startsWith(QStringLiteral("The value"))
        || m.contains(QStringLiteral("Leave the table all the same?"));
}

// The word of one attempt: refused or unknown when a message said so, else saved.
Told toldBy(const QStringList& said)
{
    Told t = Told::Saved;
    for (const QString& m : said) {
        if (isUnknownText(m))
            t = Told::Unknown;
        else if (isRefusalText(m) && t != Told::Unknown)
            t = Told::Refused;
    }
    return t;
}

struct Session {
    std::map<char, Told> told{{'A', Told::NotTried}, {'B', Told::NotTried}, {'C', Told::NotTried}, {'D', Told::NotTried}};
    std::map<char, QStringList> said; // every message of the edit's moment
    QStringList all;                  // every message of the session
    int quits = 0;                    // times the program asked to end
    bool endedWhenAsked = false;
};

QString head(const QString& m)
{
    QString h = m.section(QLatin1Char('\n'), 0, 0);
    if (h.size() > 70)
        h = h.left(67) + QStringLiteral("...");
    return h;
}

class SessionRunner {
public:
    explicit SessionRunner(Program& p) : p_(p) {}

    // Leaves the current row for (row, column); a person whose row was refused tries once more,
    // then drops the change with Esc. Returns the word of the last attempt.
    Told leave(char edit, int fromRow, bool newRow, int toRow, int toColumn)
    {
        auto pending = [&] {
            if (!p_.rows())
                return false;
            return newRow ? p_.rows()->hasPendingEdit(p_.rows()->newRecordRow()) : p_.inEdit(fromRow);
        };
        Told last = Told::Saved;
        for (int attempt = 0; attempt < 2; ++attempt) {
            p_.go(toRow, toColumn);
            const QStringList said = take(edit);
            last = toldBy(said);
            if (!pending())
                return last;
        }
        p_.key(Qt::Key_Escape);
        take(edit);
        return last == Told::Saved ? Told::Refused : last;
    }

    void run(Session& s)
    {
        s_ = &s;
        QSignalSpy quit(p_.flow.get(), &WindowFlow::quitRequested);
        if (p_.chooser().isVisible() && p_.open(QStringLiteral("People"))) {
            take(0);
            // A: the first person's name, a keyed row.
            p_.typeAt(0, 1, QStringLiteral("Anna"));
            s.told['A'] = leave('A', 0, false, 1, 1);

            // B: a new row.
            if (p_.rows() && !p_.inEdit(0) && !p_.inEdit(1)) {
                const int fresh = static_cast<int>(p_.rows()->newRecordRow());
                p_.typeAt(fresh, 1, QStringLiteral("Dee"));
                p_.typeAt(fresh, 2, QStringLiteral("Kyiv"));
                s.told['B'] = leave('B', fresh, true, 0, 1);
            }

            // C: Cy's row deleted.
            const int cy = rowShowing(QStringLiteral("Cy"));
            if (cy >= 0 && p_.rows() && p_.rows()->rowsInEdit().empty()) {
                p_.go(cy, 0);
                p_.grid().selectRow(cy);
                p_.t.prompter.answers = {MessageAnswer::Yes};
                p_.key(Qt::Key_Delete);
                s.told['C'] = toldBy(take('C'));
            }

            // Back to the chooser, and into the table without a key.
            p_.editor().PushButton1->click();
            settle();
            take(0);
        } else {
            take(0);
        }
        if (p_.chooser().isVisible() && p_.open(QStringLiteral("Notes"))) {
            take(0);
            // D: a row of a table without a key, written by "Quit".
            p_.typeAt(0, 1, QStringLiteral("10"));
            take('D');
            s.told['D'] = Told::Saved;
        } else {
            take(0);
        }

        // The person asks the program to end, with the window in front of them.
        if (p_.editor().isVisible())
            p_.editor().PushButton3->click();
        else if (p_.chooser().isVisible())
            p_.chooser().close();
        else
            p_.login().close();
        settle();
        const QStringList atQuit = take('D');
        if (s.told['D'] != Told::NotTried)
            s.told['D'] = toldBy(atQuit);
        s.quits = quit.count();
        s.endedWhenAsked = quit.count() == 1;
    }

private:
    int rowShowing(const QString& name)
    {
        if (!p_.rows())
            return -1;
        for (int r = 0; r < p_.rows()->rowCount(); ++r)
            if (p_.shown(r, 1) == name)
                return r;
        return -1;
    }

    QStringList take(char edit)
    {
        const QStringList said = p_.said();
        s_->all += said;
        if (edit)
            s_->said[edit] += said;
        return said;
    }

    Program& p_;
    Session* s_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
// What the server holds, read by a connection of the test's own

struct Held {
    bool readable = true;
    QString annName;  // id 1
    bool bobIntact = false;
    bool peopleBaseIntact = true; // no row but the edited ones changed
    int cyRows = 0;
    int deeRows = 0;
    bool deeIntact = true; // every Dee row holds Kyiv and a fresh id
    int peopleRows = 0;
    QString alphaN;
    bool betaIntact = false;
    int noteRows = 0;
    QString text;
};

Held readHeld(Program& p)
{
    AnomalyPlan::Pause pause;
    Held h;
    const Rows people = p.db.rows("SELECT id, name, city FROM People ORDER BY id;");
    const Rows notes = p.db.rows("SELECT word, n FROM Notes ORDER BY word, n;");
    h.peopleRows = static_cast<int>(people.size());
    h.noteRows = static_cast<int>(notes.size());
    for (const QStringList& r : people) {
        h.text += r.join(QLatin1Char('|')) + QLatin1Char(' ');
        const int id = r[0].toInt();
        if (id == 1) {
            h.annName = r[1];
            if (r[2] != QStringLiteral("Oslo"))
                h.peopleBaseIntact = false;
        } else if (id == 2) {
            h.bobIntact = r[1] == QStringLiteral("Bob") && r[2] == QStringLiteral("Rome");
        } else if (id == 3) {
            ++h.cyRows;
            if (r[1] != QStringLiteral("Cy") || r[2] != QStringLiteral("Paris"))
                h.peopleBaseIntact = false;
        } else if (r[1] == QStringLiteral("Dee")) {
            ++h.deeRows;
            if (r[2] != QStringLiteral("Kyiv") || id <= 3)
                h.deeIntact = false;
        } else {
            h.peopleBaseIntact = false;
        }
    }
    h.text += QStringLiteral("/ ");
    for (const QStringList& r : notes) {
        h.text += r.join(QLatin1Char('|')) + QLatin1Char(' ');
        if (r[0] == QStringLiteral("alpha"))
            h.alphaN = r[1];
        else if (r[0] == QStringLiteral("beta") && r[1] == QStringLiteral("2"))
            h.betaIntact = true;
    }
    return h;
}

// Whether the server's state of an edit agrees with what the person was told.
bool agrees(Told told, bool onServer)
{
    switch (told) {
    case Told::NotTried: return !onServer;
    case Told::Saved: return onServer;
    case Told::Refused: return !onServer;
    case Told::Unknown: return true;
    }
    return false;
}

// Every broken rule of one case, empty when the case kept them all.
QStringList brokenRules(const Session& s, const Held& h)
{
    QStringList broken;
    if (h.annName != QStringLiteral("Ann") && h.annName != QStringLiteral("Anna"))
        broken << QStringLiteral("row 1 holds neither the old nor the new name");
    if (!h.bobIntact || !h.peopleBaseIntact || !h.deeIntact)
        broken << QStringLiteral("a row that was not edited changed");
    if (h.deeRows > 1)
        broken << QStringLiteral("the new row is on the server %1 times").arg(h.deeRows);
    if (h.cyRows > 1 || h.noteRows != 2 || !h.betaIntact)
        broken << QStringLiteral("rows doubled or lost");
    if (h.alphaN != QStringLiteral("1") && h.alphaN != QStringLiteral("10"))
        broken << QStringLiteral("the keyless row holds neither value");
    const std::map<char, bool> onServer{{'A', h.annName == QStringLiteral("Anna")},
                                        {'B', h.deeRows == 1},
                                        {'C', h.cyRows == 0},
                                        {'D', h.alphaN == QStringLiteral("10")}};
    for (const auto& [edit, held] : onServer) {
        const Told told = s.told.at(edit);
        if (!agrees(told, held))
            broken << QStringLiteral("edit %1: the person was told \"%2\" but the server %3 it")
                          .arg(QChar::fromLatin1(edit), QString::fromLatin1(nameOf(told)),
                               held ? QStringLiteral("holds") : QStringLiteral("does not hold"));
        const auto words = s.said.find(edit);
        if (!held && told != Told::NotTried && (words == s.said.end() || words->second.isEmpty()))
            broken << QStringLiteral("edit %1 is not on the server and nothing was said").arg(QChar::fromLatin1(edit));
    }
    if (!s.endedWhenAsked)
        broken << QStringLiteral("the program did not end when asked (asked to end %1 times)").arg(s.quits);
    if (s.all.size() > 12)
        broken << QStringLiteral("%1 messages in one session").arg(s.all.size());
    return broken;
}

// ---------------------------------------------------------------------------------------------
// The sweep

struct Case {
    Anomaly kind;
    int n;
};

struct Outcome {
    Case c;
    OdbcCall call;
    bool fired = false;
    Session session;
    Held held;
    QStringList broken;
};

class Sweep {
public:
    explicit Sweep(Program& p) : p_(p) {}

    Outcome run(Case c)
    {
        Outcome o;
        o.c = c;
        reset();
        {
            AnomalyPlan plan(c.kind, c.n);
            p_.start();
            settle();
            SessionRunner(p_).run(o.session);
            o.fired = plan.fired();
            o.call = plan.firedAt();
            if (c.n == 0)
                dry_ = plan.calls();
            // The program's windows and connections go while the plan still holds a cut
            // connection as gone.
            p_.flow.reset();
            p_.store.reset();
        }
        o.held = readHeld(p_);
        o.broken = brokenRules(o.session, o.held);
        return o;
    }

    // The calls of a session in which nothing went wrong.
    const std::vector<OdbcCall>& dryRun()
    {
        if (dry_.empty()) {
            const Outcome o = run({Anomaly::Refuse, 0});
            EXPECT_TRUE(o.broken.isEmpty()) << o.broken.join(QStringLiteral("; ")).toStdString();
            EXPECT_EQ(o.session.told.at('A'), Told::Saved);
            EXPECT_EQ(o.session.told.at('B'), Told::Saved);
            EXPECT_EQ(o.session.told.at('C'), Told::Saved);
            EXPECT_EQ(o.session.told.at('D'), Told::Saved);
        }
        return dry_;
    }

    // The cases of the sweep: every call and every row count, or the sample. The sample on
    // SQLite: the calls that write, commit and switch autocommit, and every 25th of the rest.
    // On a T-SQL server, where one session takes seconds: the row counts of the new row and of
    // the row without a key told wrong (the lost COMMIT answers are the named cases below).
    // TABULON_ANOMALY_RANGE=FROM-TO keeps only the calls numbered so; TABULON_ANOMALY_MODES
    // (e.g. "lose,cut") only those anomalies.
    std::vector<Case> cases(bool full)
    {
        const std::vector<OdbcCall>& calls = dryRun();
        if (std::getenv("TABULON_ANOMALY_VERBOSE"))
            for (std::size_t i = 0; i < calls.size(); ++i)
                std::cerr << "[anomaly] dry " << i + 1 << ' ' << calls[i].name << ' ' << calls[i].about << std::endl;
        int from = 1, to = INT_MAX;
        if (const char* range = std::getenv("TABULON_ANOMALY_RANGE"))
            std::sscanf(range, "%d-%d", &from, &to);
        const std::string modes = std::getenv("TABULON_ANOMALY_MODES") ? std::getenv("TABULON_ANOMALY_MODES") : "";
        auto wanted = [&](Anomaly a) {
            return modes.empty() || modes.find(a == Anomaly::Refuse ? "refuse" : a == Anomaly::Lose ? "lose"
                                                   : a == Anomaly::Cut  ? "cut"
                                                                        : "count")
                != std::string::npos;
        };
        const bool slow = p_.db.isTsql();
        std::vector<Case> out;
        auto add = [&](Anomaly a, int n) {
            if (wanted(a))
                out.push_back({a, n});
        };
        int n = 0, count = 0;
        std::string lastWrite;
        for (const OdbcCall& call : calls) {
            if (call.isCount) {
                ++count;
                if (full || !slow || lastWrite.rfind("INSERT", 0) == 0 || lastWrite.find("[notes]") != std::string::npos) {
                    add(Anomaly::CountZero, count);
                    add(Anomaly::CountTwo, count);
                }
                continue;
            }
            ++n;
            if (call.name == "SQLExecDirect"
                && (call.about.rfind("UPDATE", 0) == 0 || call.about.rfind("INSERT", 0) == 0
                    || call.about.rfind("DELETE", 0) == 0))
                lastWrite = call.about;
            if (n < from || n > to)
                continue;
            const bool commit = call.name == "SQLEndTran" && call.about == "COMMIT";
            const bool writes = commit || call.name == "SQLSetConnectAttr"
                || (call.name == "SQLExecDirect" && lastWrite == call.about);
            if (full) {
                add(Anomaly::Refuse, n);
                add(Anomaly::Lose, n);
                add(Anomaly::Cut, n);
            } else if (slow) {
                // The COMMITs' lost answers are the named cases below.
            } else if (writes || n % 25 == 0) {
                add(Anomaly::Refuse, n);
                add(Anomaly::Lose, n);
                if (commit)
                    add(Anomaly::Cut, n);
            }
        }
        return out;
    }

    // The first call after the nth statement beginning with `verb` that is `name` about `about`.
    int callAfter(const std::string& verb, const std::string& name, const std::string& about)
    {
        const std::vector<OdbcCall>& calls = dryRun();
        int n = 0;
        bool seen = false;
        for (const OdbcCall& call : calls) {
            if (call.isCount)
                continue;
            ++n;
            if (call.name == "SQLExecDirect" && call.about.rfind(verb, 0) == 0)
                seen = true;
            else if (seen && call.name == name && call.about == about)
                return n;
        }
        ADD_FAILURE() << "no " << name << " " << about << " after " << verb;
        return 0;
    }
    int countAfter(const std::string& verb)
    {
        const std::vector<OdbcCall>& calls = dryRun();
        int count = 0;
        bool seen = false;
        for (const OdbcCall& call : calls) {
            if (call.isCount) {
                ++count;
                if (seen)
                    return count;
            } else if (call.name == "SQLExecDirect" && call.about.rfind(verb, 0) == 0) {
                seen = true;
            }
        }
        ADD_FAILURE() << "no row count after " << verb;
        return 0;
    }

private:
    void reset()
    {
        p_.flow.reset();
        p_.store.reset();
        AnomalyPlan::Pause pause;
        p_.db.exec(freshTables(p_.db));
        p_.t.prompter.clear();
        p_.t.prompter.answers.clear();
    }

    Program& p_;
    std::vector<OdbcCall> dry_;
};

QString describe(const Outcome& o)
{
    QStringList saw;
    for (const QString& m : o.session.all)
        saw << head(m);
    return QStringLiteral("%1 at %2 (%3 %4): told A=%5 B=%6 C=%7 D=%8; said: %9; server: %10")
        .arg(QString::fromLatin1(nameOf(o.c.kind)))
        .arg(o.c.n)
        .arg(QString::fromStdString(o.call.name), QString::fromStdString(o.call.about),
             QString::fromLatin1(nameOf(o.session.told.at('A'))), QString::fromLatin1(nameOf(o.session.told.at('B'))),
             QString::fromLatin1(nameOf(o.session.told.at('C'))), QString::fromLatin1(nameOf(o.session.told.at('D'))),
             saw.isEmpty() ? QStringLiteral("nothing") : saw.join(QStringLiteral(" | ")), o.held.text.trimmed());
}

void writeTable(const std::vector<Outcome>& outcomes, const test::TestDatabase& db, qint64 ms)
{
    const char* path = std::getenv("TABULON_ANOMALY_TABLE");
    if (!path || !*path)
        return;
    QFile f(QString::fromLocal8Bit(path));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    QTextStream out(&f);
    out << "\n## " << (db.isSqlite() ? "SQLite" : "T-SQL") << ": " << outcomes.size() << " cases in " << ms / 1000.0
        << " s\n\n| anomaly | N | call | A | B | C | D | what the person saw | server |\n|---|---|---|---|---|---|---|---|---|\n";
    for (const Outcome& o : outcomes) {
        QStringList saw;
        for (const QString& m : o.session.all)
            saw << head(m).replace(QLatin1Char('|'), QLatin1Char('/'));
        out << nameOf(o.c.kind) << " | " << o.c.n << " | " << QString::fromStdString(o.call.name) << ' '
            << QString::fromStdString(o.call.about).replace(QLatin1Char('|'), QLatin1Char('/')) << " | "
            << nameOf(o.session.told.at('A')) << " | " << nameOf(o.session.told.at('B')) << " | "
            << nameOf(o.session.told.at('C')) << " | " << nameOf(o.session.told.at('D')) << " | "
            << (saw.isEmpty() ? QStringLiteral("-") : saw.join(QStringLiteral("; "))) << " | "
            << QString(o.held.text.trimmed()).replace(QLatin1Char('|'), QLatin1Char(',')) << " |\n";
    }
}

void runSweep(bool full)
{
    Program p(true);
    Sweep sweep(p);
    QElapsedTimer clock;
    clock.start();
    const std::vector<Case> cases = sweep.cases(full);
    std::vector<Outcome> outcomes;
    int broken = 0;
    const bool verbose = std::getenv("TABULON_ANOMALY_VERBOSE") != nullptr;
    for (const Case& c : cases) {
        if (verbose)
            std::cerr << "[anomaly] " << nameOf(c.kind) << " at " << c.n << std::endl;
        Outcome o = sweep.run(c);
        if (verbose)
            std::cerr << "[anomaly]   " << describe(o).toStdString() << std::endl;
        if (!o.broken.isEmpty()) {
            ++broken;
            ADD_FAILURE() << describe(o).toStdString() << "\n  broken: " << o.broken.join(QStringLiteral("; ")).toStdString();
        }
        outcomes.push_back(std::move(o));
    }
    const qint64 ms = clock.elapsed();
    std::cout << "[anomaly] " << (p.db.isSqlite() ? "sqlite" : "tsql") << ": " << outcomes.size() << " cases, "
              << broken << " broken, " << ms / 1000.0 << " s\n";
    writeTable(outcomes, p.db, ms);
    // Every case did reach its anomaly (a case that never fired tests nothing).
    for (const Outcome& o : outcomes)
        EXPECT_TRUE(o.fired) << "never fired: " << describe(o).toStdString();
}

// ---------------------------------------------------------------------------------------------

TEST(OdbcAnomalies, ASampleOfFailedCallsAndFalseRowCountsLosesNothingWritesNothingTwiceAndEnds)
{
    runSweep(false);
}

TEST(OdbcAnomalies, EveryCallOfTheSessionFailedInTurn)
{
    if (!std::getenv("TABULON_ANOMALY_FULL"))
        GTEST_SKIP() << "the whole sweep runs with TABULON_ANOMALY_FULL=1 (CTest label anomaly_full)";
    runSweep(true);
}

// The new row's INSERT is committed, then switching autocommit back on fails: the row is saved
// once, the person is told so, and leaving or quitting sends nothing again.
TEST(OdbcAnomalies, AnInsertCommittedBeforeTheAutocommitRestoreFailedIsSavedOnceAndSaidSo)
{
    Program p(true);
    Sweep sweep(p);
    const int n = sweep.callAfter("INSERT", "SQLSetConnectAttr", "autocommit on");
    for (Anomaly kind : {Anomaly::Refuse, Anomaly::Lose}) {
        SCOPED_TRACE(nameOf(kind));
        const Outcome o = sweep.run({kind, n});
        ASSERT_TRUE(o.fired);
        EXPECT_TRUE(o.broken.isEmpty()) << describe(o).toStdString();
        EXPECT_EQ(o.held.deeRows, 1) << describe(o).toStdString();
        EXPECT_EQ(o.session.told.at('B'), Told::Saved);
        const QStringList& said = o.session.said.at('B');
        ASSERT_EQ(said.size(), 1) << joined(said);
        EXPECT_TRUE(said[0].startsWith(QStringLiteral("The new row was saved on the server, but the connection failed "
                                                      "right afterwards.")))
            << joined(said);
        // The rest of the session went on as usual.
        EXPECT_EQ(o.session.told.at('C'), Told::Saved);
        EXPECT_EQ(o.session.told.at('D'), Told::Saved);
    }
}

// The server carries out the COMMIT of the new row, but its answer is lost: the program asks
// the server, finds the row and does not insert it again. With the connection gone as well the
// server cannot be asked: the person is told that it is not known, and nothing is sent again.
TEST(OdbcAnomalies, ANewRowWhoseCommitAnswerWasLostIsNeverInsertedTwice)
{
    Program p(true);
    Sweep sweep(p);
    const int n = sweep.callAfter("INSERT", "SQLEndTran", "COMMIT");

    Outcome o = sweep.run({Anomaly::Lose, n});
    ASSERT_TRUE(o.fired);
    EXPECT_TRUE(o.broken.isEmpty()) << describe(o).toStdString();
    EXPECT_EQ(o.held.deeRows, 1) << describe(o).toStdString();
    EXPECT_EQ(o.session.told.at('B'), Told::Saved);
    ASSERT_EQ(o.session.said.at('B').size(), 1) << joined(o.session.said.at('B'));
    EXPECT_TRUE(o.session.said.at('B')[0].contains(
        QStringLiteral("Tabulon asked the server afterwards: the new row was saved, once (it was not sent again).")))
        << joined(o.session.said.at('B'));

    o = sweep.run({Anomaly::Cut, n});
    ASSERT_TRUE(o.fired);
    EXPECT_TRUE(o.broken.isEmpty()) << describe(o).toStdString();
    EXPECT_EQ(o.held.deeRows, 1) << describe(o).toStdString();
    EXPECT_EQ(o.session.told.at('B'), Told::Unknown);
    ASSERT_FALSE(o.session.said.at('B').isEmpty());
    EXPECT_TRUE(o.session.said.at('B')[0].startsWith(QStringLiteral("It is not known whether the new row was saved")))
        << joined(o.session.said.at('B'));
    EXPECT_TRUE(o.session.endedWhenAsked);

    // Refused before the server saw it: asked afterwards, the server does not hold the row, so
    // it is sent again when the person leaves the row again, and is then there once.
    o = sweep.run({Anomaly::Refuse, n});
    ASSERT_TRUE(o.fired);
    EXPECT_TRUE(o.broken.isEmpty()) << describe(o).toStdString();
    EXPECT_EQ(o.held.deeRows, 1) << describe(o).toStdString();
    ASSERT_FALSE(o.session.said.at('B').isEmpty());
    EXPECT_TRUE(o.session.said.at('B')[0].startsWith(
        QStringLiteral("The new row was not saved: the connection failed while the server was confirming the change, "
                       "and the server, asked afterwards, does not hold it.")))
        << joined(o.session.said.at('B'));
}

// A keyed row's COMMIT answer lost: the change is on the server and the person is not told
// otherwise.
TEST(OdbcAnomalies, AnUpdateWhoseCommitAnswerWasLostIsReportedSaved)
{
    Program p(true);
    Sweep sweep(p);
    const Outcome o = sweep.run({Anomaly::Lose, sweep.callAfter("UPDATE", "SQLEndTran", "COMMIT")});
    ASSERT_TRUE(o.fired);
    EXPECT_TRUE(o.broken.isEmpty()) << describe(o).toStdString();
    EXPECT_EQ(o.held.annName, QStringLiteral("Anna"));
    EXPECT_EQ(o.session.told.at('A'), Told::Saved);
    ASSERT_EQ(o.session.said.at('A').size(), 1) << joined(o.session.said.at('A'));
    EXPECT_TRUE(o.session.said.at('A')[0].contains(QStringLiteral("Tabulon asked the server afterwards: the row was saved")))
        << joined(o.session.said.at('A'));
}

// "Quit" on a table without a key after its row was refused: one question, and the program
// ends whichever way the row goes.
TEST(OdbcAnomalies, QuitOnAKeylessTableAfterARefusedSaveAsksOnceAndEnds)
{
    Program p(true);
    {
        AnomalyPlan::Pause pause;
        p.db.exec(freshTables(p.db));
    }
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Notes")));
    QSignalSpy quit(p.flow.get(), &WindowFlow::quitRequested);

    // The update is told it changed no row (a false count): refused, and the person keeps the
    // change rather than reload the row.
    {
        AnomalyPlan plan(Anomaly::CountZero, 1);
        p.typeAt(0, 1, QStringLiteral("10"));
        p.t.prompter.answers = {MessageAnswer::No};
        p.go(1, 1);
        ASSERT_TRUE(plan.fired());
    }
    QStringList said = p.said();
    ASSERT_EQ(said.size(), 1) << joined(said);
    EXPECT_TRUE(said[0].startsWith(QStringLiteral("The row was not saved"))) << joined(said);
    EXPECT_TRUE(p.inEdit(0));

    // Meanwhile someone else changes that row, so the save at "Quit" is refused for good.
    {
        AnomalyPlan::Pause pause;
        p.db.exec("UPDATE Notes SET n = 5 WHERE word = 'alpha';");
    }
    p.editor().PushButton3->click();
    settle();
    said = p.said();
    ASSERT_EQ(said.size(), 1) << joined(said);
    EXPECT_TRUE(said[0].startsWith(QStringLiteral("The row was not saved: it was changed or deleted by someone else")))
        << joined(said);
    EXPECT_TRUE(said[0].contains(QStringLiteral("Leave the table all the same?"))) << joined(said);
    EXPECT_FALSE(said[0].contains(QStringLiteral("Reload the row"))) << joined(said);
    EXPECT_EQ(quit.count(), 1);
    {
        AnomalyPlan::Pause pause;
        EXPECT_EQ(p.db.rows("SELECT word, n FROM Notes ORDER BY word;"), (Rows{{"alpha", "5"}, {"beta", "2"}}));
    }

    // The close box and "< Back" end the same way.
    for (int how = 0; how < 2; ++how) {
        SCOPED_TRACE(how == 0 ? "close box" : "< Back");
        p.flow.reset();
        p.store.reset();
        {
            AnomalyPlan::Pause pause;
            p.db.exec(freshTables(p.db));
        }
        p.start();
        ASSERT_TRUE(p.open(QStringLiteral("Notes")));
        QSignalSpy quitAgain(p.flow.get(), &WindowFlow::quitRequested);
        p.typeAt(0, 1, QStringLiteral("10"));
        {
            AnomalyPlan::Pause pause;
            p.db.exec("UPDATE Notes SET n = 5 WHERE word = 'alpha';");
        }
        if (how == 0)
            p.editor().close();
        else
            p.editor().PushButton1->click();
        settle();
        said = p.said();
        ASSERT_EQ(said.size(), 1) << joined(said);
        EXPECT_TRUE(said[0].contains(QStringLiteral("Leave the table all the same?"))) << joined(said);
        EXPECT_FALSE(p.editor().isVisible());
        if (how == 0)
            EXPECT_EQ(quitAgain.count(), 1);
        else
            EXPECT_TRUE(p.chooser().isVisible());
        EXPECT_FALSE(p.rows() && !p.rows()->rowsInEdit().empty());
    }
}

} // namespace
} // namespace tabulon::faults
