// The security review, one test per point: no shell anywhere; temporary files private and
// unique; the settings file readable by its owner only; the password in no message, no log and
// no window title; SQL built from bracketed names and parameters only; nothing read from the
// program's folder that someone else could have put there.

#include "FaultSupport.h"
#include "StatementLog.h"

#include "app/Artwork.h"
#include "app/ErrorReport.h"
#include "app/WindowConventions.h"
#include "connection/ConnectionString.h"
#include "export/ExportActions.h"
#include "platform/QtSeams.h"
#include "support/Login7Listener.h"
#include "support/OdbcDrivers.h"
#include "tables/ServerDialect.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace tabulon::faults {
namespace {

QString sourceDir()
{
    return QStringLiteral(TABULON_SOURCE_DIR);
}

// Every source file of the program, with its text.
std::vector<std::pair<QString, QString>> programSources()
{
    std::vector<std::pair<QString, QString>> files;
    QDirIterator it(sourceDir() + QStringLiteral("/src"), {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            files.emplace_back(path.mid(sourceDir().size() + 1), QString::fromUtf8(f.readAll()));
    }
    return files;
}

mode_t modeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : mode_t(07777);
}

// ---------------------------------------------------------------------------------------------
// 1. No shell

TEST(Security, NoShellAnywhereInTheProgram)
{
    const QRegularExpression shellish(
        QStringLiteral(R"(\b(system|popen|execl|execlp|execle|execv|execvp|execvpe|posix_spawnp?|wordexp)\s*\()"
                       R"(|"/bin/(ba)?sh"|"sh"|"-c"|QProcess::execute|QProcess::startCommand|startDetached\s*\(\s*[^,()]*\))"));
    QStringList offenders;
    QSet<QString> processUsers;
    const auto sources = programSources();
    ASSERT_GT(sources.size(), 20u);
    for (const auto& [path, text] : sources) {
        const auto match = shellish.match(text);
        if (match.hasMatch())
            offenders << path + QStringLiteral(": ") + match.captured(0);
        if (text.contains(QStringLiteral("QProcess")))
            processUsers << path;
    }
    EXPECT_TRUE(offenders.isEmpty()) << offenders.join(QLatin1Char('\n')).toStdString();
    // Programs are started in one place only, with an argument list.
    EXPECT_EQ(processUsers, (QSet<QString>{QStringLiteral("src/platform/QtSeams.cpp")}));
}

TEST(Security, AProgramIsStartedWithItsArgumentsAsGivenNeverThroughAShell)
{
    QTemporaryDir dir;
    const QString planted = dir.filePath(QStringLiteral("planted"));
    const QString out = dir.filePath(QStringLiteral("out"));
    QtLauncher launcher;
    // Were these read by a shell, the first would create `planted`.
    const QString hostile = QStringLiteral("$(touch ") + planted + QStringLiteral("); `touch ") + planted +
                            QStringLiteral("` ; touch ") + planted;
    ASSERT_TRUE(launcher.startDetached(QStringLiteral("/usr/bin/env"),
                                       {QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("printf '%s' \"$1\" > \"$2\""),
                                        QStringLiteral("sh"), hostile, out}));
    for (int i = 0; i < 200 && !QFileInfo::exists(out); ++i)
        QTest::qWait(10);
    QTest::qWait(50);
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()), hostile) << "handed over as one argument, unread";
    EXPECT_FALSE(QFileInfo::exists(planted));
}

// ---------------------------------------------------------------------------------------------
// 2. Temporary files

TEST(Security, TemporaryFilesArePrivateUniqueAndNeverFollowAPlantedLink)
{
    const mode_t oldMask = ::umask(0);
    const QString a = createPrivateTempFile(QStringLiteral(".txt"));
    const QString b = createPrivateTempFile(QStringLiteral(".txt"));
    ::umask(oldMask);
    EXPECT_NE(a, b);
    for (const QString& f : {a, b}) {
        EXPECT_EQ(QFileInfo(f).absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());
        EXPECT_EQ(modeOf(f), mode_t(0600)) << f.toStdString();
        EXPECT_FALSE(QFileInfo(f).isSymLink());
        QFile::remove(f);
    }
    // The names cannot be foretold: a hundred of them differ in their random part.
    QSet<QString> names;
    for (int i = 0; i < 100; ++i) {
        const QString f = createPrivateTempFile(QStringLiteral(".xlsx"));
        names << f;
        QFile::remove(f);
    }
    EXPECT_EQ(names.size(), 100);
}

TEST(Security, TheWorkbookHandedToTheSpreadsheetProgramIsPrivateAndTheTextForPrintingIsGone)
{
    Program p;
    p.db.exec("CREATE TABLE Orders (" + p.db.autoKey("id") + ", item NVARCHAR(20)); INSERT INTO Orders (item) VALUES ('pen');");
    p.t.launcher.programsOnPath = {QStringLiteral("localc")};
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Orders")));
    const QStringList before = QDir(QDir::tempPath()).entryList({QStringLiteral("tabulon-*")}, QDir::Files);

    p.editor().mnuXLS->trigger();
    settle();
    ASSERT_EQ(p.t.launcher.started.size(), 1u);
    const QStringList command = p.t.launcher.started[0];
    ASSERT_EQ(command.size(), 4);
    const QString workbook = command[3];
    EXPECT_EQ(command.mid(1, 2), (QStringList{QStringLiteral("--calc"), QStringLiteral("-n")}));
    EXPECT_TRUE(QFileInfo(workbook).isFile());
    EXPECT_EQ(modeOf(workbook), mode_t(0600));

    p.editor().mnuPDF->trigger(); // prints to the (fake) PDF queue through a temporary text
    settle();
    ASSERT_EQ(p.t.printers.jobs.size(), 1u);
    QStringList after = QDir(QDir::tempPath()).entryList({QStringLiteral("tabulon-*")}, QDir::Files);
    after.removeAll(QFileInfo(workbook).fileName());
    EXPECT_EQ(QSet<QString>(after.begin(), after.end()), QSet<QString>(before.begin(), before.end()))
        << "the text for printing is removed";
}

// ---------------------------------------------------------------------------------------------
// 3. The settings file

TEST(Security, TheSettingsFileIsTheOwnersOnlyWhateverTheUmaskOrItsFormerMode)
{
    const mode_t oldMask = ::umask(0);
    {
        Program p(false);
        p.start();
        EXPECT_EQ(modeOf(p.settingsPath()), mode_t(0600)) << "made private";
        p.login().Text3->setText(QStringLiteral("secret"));
        EXPECT_EQ(modeOf(p.settingsPath()), mode_t(0600)) << "kept private when written";
    }
    {
        Program p; // a file someone left readable to all
        ASSERT_EQ(::chmod(QFile::encodeName(p.settingsPath()).constData(), 0666), 0);
        p.start();
        EXPECT_EQ(modeOf(p.settingsPath()), mode_t(0600));
    }
    {
        Program p(false); // a damaged file is kept aside, privately
        QFile f(p.settingsPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Tabulon\nMSPassword=secret\n");
        f.close();
        ASSERT_EQ(::chmod(QFile::encodeName(p.settingsPath()).constData(), 0644), 0);
        p.start();
        EXPECT_EQ(modeOf(p.settingsPath() + QStringLiteral(".damaged")), mode_t(0600));
    }
    ::umask(oldMask);
}

// ---------------------------------------------------------------------------------------------
// 4. The password

const QString kPassword = QStringLiteral("Pw-9f3a;x}Q");

// Collects every Qt message (qDebug, qWarning, ...) while it lives.
class QtLog {
public:
    QtLog()
    {
        std::lock_guard lock(mutex());
        lines().clear();
        previous_ = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
            std::lock_guard lock(mutex());
            lines() << text;
        });
    }
    ~QtLog() { qInstallMessageHandler(previous_); }
    QStringList all() const
    {
        std::lock_guard lock(mutex());
        return lines();
    }

private:
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    static QStringList& lines()
    {
        static QStringList l;
        return l;
    }
    QtMessageHandler previous_ = nullptr;
};

QStringList windowTitles()
{
    QStringList titles;
    for (QWidget* w : QApplication::topLevelWidgets())
        titles << w->windowTitle();
    return titles;
}

void expectNoPassword(const QStringList& texts, const char* where)
{
    for (const QString& t : texts)
        EXPECT_FALSE(t.contains(kPassword) || t.contains(QStringLiteral("Pw-9f3a")) || t.contains(QStringLiteral("x}Q")))
            << where << ": " << t.toStdString();
}

TEST(Security, ThePasswordShowsInNoMessageNoLogAndNoWindowTitle)
{
    QtLog log;
    Program p;
    p.db.exec("CREATE TABLE Orders (" + p.db.autoKey("id") + ", item NVARCHAR(20)); INSERT INTO Orders (item) VALUES ('pen');");
    // On T-SQL the password must let the program in: a login of its own, with the password
    // less its "}" (which FreeTDS cannot take inside braces).
    const QString password = p.db.isSqlite() ? kPassword : QString(kPassword).remove(QLatin1Char('}'));
    std::unique_ptr<Clerk> clerk;
    if (p.db.isTsql()) {
        clerk = std::make_unique<Clerk>(p, "Orders", password.toStdString());
    } else {
        QSettings s(p.settingsPath(), QSettings::IniFormat);
        s.setValue(QStringLiteral("Tabulon/MSPassword"), password);
        s.setValue(QStringLiteral("Tabulon/MSUser"), QStringLiteral("sa"));
    }
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Orders")));
    QStringList titles = windowTitles();

    // Every failure that involves a connection, each with its report.
    p.db.exec("DROP TABLE Orders;");
    p.typeAt(0, 1, QStringLiteral("x"));
    p.go(1, 1);                          // a refused write
    p.key(Qt::Key_Escape);
    p.editor().PushButton1->click();     // back to the chooser
    settle();
    p.chooser().List1->clear();
    p.chooser().List1->addItem(QStringLiteral("Orders"));
    p.open(QStringLiteral("Orders"));    // a table that cannot be read
    p.editor().PushButton1->click();
    settle();
    p.chooser().PushButton2->click();    // to the login window
    settle();
    p.login().Text4->setText(QStringLiteral("/nonexistent/folder/x.db"));
    p.login().PushButton5->click();      // Test Connection fails
    p.login().PushButton3->click();      // Next > fails
    settle();
    titles << windowTitles();

    // And straight from the database layer, whose texts the reports carry.
    LoginFields f = p.db.login();
    f.password = password;
    f.database = QStringLiteral("/nonexistent/folder/x.db");
    try {
        odbc::Connection::open(connectionStringUtf8(f));
        ADD_FAILURE() << "opened";
    } catch (const odbc::Error& e) {
        expectNoPassword({QString::fromStdString(e.description())}, "driver text");
    }

    ASSERT_FALSE(p.t.prompter.shown.empty());
    QStringList boxes;
    for (const Message& m : p.t.prompter.shown)
        boxes << m.text << m.title;
    expectNoPassword(boxes, "message box");
    expectNoPassword(log.all(), "log");
    expectNoPassword(titles, "window title");
}

TEST(Security, TheSqlServerDriversRefusalsDoNotRepeatThePassword)
{
    TABULON_RUN_IN_OWN_PROCESS();
    test::FreeTdsMapping tds;
    test::Login7Listener server;
    for (const int port : {test::unusedLoopbackPort(), server.port()}) {
        LoginFields f;
        f.server = QStringLiteral("127.0.0.1");
        f.port = QString::number(port);
        f.database = QStringLiteral("sales");
        f.user = QStringLiteral("sa");
        f.password = kPassword;
        try {
            odbc::Connection::open(connectionStringUtf8(f));
            ADD_FAILURE() << "opened";
        } catch (const odbc::Error& e) {
            EXPECT_FALSE(e.description().empty());
            expectNoPassword({QString::fromStdString(e.description())}, "FreeTDS");
        }
    }
}

TEST(Security, ADriverThatIsMissingIsNamedWithoutThePassword)
{
    TABULON_RUN_IN_OWN_PROCESS();
    test::NoSqlServerDriver none;
    LoginFields f;
    f.server = QStringLiteral("db");
    f.password = kPassword;
    try {
        odbc::Connection::open(connectionStringUtf8(f));
        ADD_FAILURE() << "opened";
    } catch (const odbc::Error& e) {
        expectNoPassword({QString::fromStdString(e.description())}, "driver manager");
    }
}

// ---------------------------------------------------------------------------------------------
// 5. SQL: names in brackets, values as parameters

// The statement with every bracketed name replaced by "[]": what is left must be SQL words,
// operators, markers and punctuation, never a literal.
std::string withoutNames(const std::string& sql, bool& wellFormed)
{
    std::string out;
    wellFormed = true;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        if (sql[i] != '[') {
            out += sql[i];
            continue;
        }
        std::size_t j = i + 1;
        for (;; ++j) {
            if (j >= sql.size()) {
                wellFormed = false;
                return out;
            }
            if (sql[j] == ']') {
                if (j + 1 < sql.size() && sql[j + 1] == ']') {
                    ++j;
                    continue;
                }
                break;
            }
        }
        out += "[]";
        i = j;
    }
    return out;
}

TEST(Security, EveryStatementOfAnEditingSessionHoldsNamesInBracketsAndValuesAsParameters)
{
    Program p;
    const std::string table = "[Kunden 'A' -- x]";
    p.db.exec("CREATE TABLE " + table + " (" + p.db.autoKey("id") + ", [na-me] NVARCHAR(60), [n] INT, [d] DATE);"
              "INSERT INTO " + table + " ([na-me], [n], [d]) VALUES ('a', 1, '2024-01-01'), ('b', 2, NULL);");
    p.start();
    StatementLog log;
    ASSERT_TRUE(p.open(QStringLiteral("Kunden 'A' -- x")));
    const QString hostile = QStringLiteral("Zx9q'); DELETE FROM x; --");
    p.typeAt(0, 1, hostile);
    p.typeAt(0, 2, QStringLiteral("4711"));
    p.typeAt(0, 3, QStringLiteral("2031-12-24"));
    p.go(1, 1);
    p.typeAt(2, 1, hostile + QStringLiteral("NEW"));
    p.typeAt(2, 2, QStringLiteral("815"));
    p.go(0, 1);
    p.grid().selectRow(1);
    p.t.prompter.answers = {MessageAnswer::Yes};
    p.key(Qt::Key_Delete);
    {
        StatementLog::Pause someoneElse;
        p.db.exec("UPDATE " + table + " SET [n] = 5 WHERE [id] = 1;");
    }
    p.typeAt(0, 2, QStringLiteral("6"));
    p.t.prompter.answers = {MessageAnswer::Yes}; // reload the row changed elsewhere
    p.go(1, 2);
    const auto statements = log.statements();
    EXPECT_EQ(p.db.column("SELECT [na-me] FROM " + table + " ORDER BY [id];"),
              (QStringList{hostile, hostile + QStringLiteral("NEW")}));

    ASSERT_GE(statements.size(), 5u);
    // What may stand outside the names: these words, markers and punctuation, nothing else.
    const QSet<QString> words = {"SELECT", "FROM", "WHERE", "AND", "UPDATE", "SET", "INSERT", "INTO", "VALUES",
                                 "DELETE", "IS", "NULL", "BETWEEN", "DEFAULT", "last_insert_rowid", "IDENTITY"};
    const QRegularExpression allowed(QStringLiteral(R"(^[A-Za-z_@ \[\]*=?,();]*;$)"));
    const QRegularExpression word(QStringLiteral(R"([A-Za-z_]+)"));
    // The one fixed setting of a session on a server, which holds nothing of the table's or the
    // person's: the server's own wait for a lock.
    const QRegularExpression lockWait(QStringLiteral(R"(^SET LOCK_TIMEOUT [0-9]+;$)"));
    // On a server every write is followed, in the same batch, by this fixed question for the
    // write's own row count and identity; it holds nothing of the table's or the person's.
    const std::string ownCount = "\nSELECT @@ROWCOUNT AS [own_rows], SCOPE_IDENTITY() AS [own_identity];";
    for (SentStatement s : statements) {
        SCOPED_TRACE(s.sql);
        if (p.db.isTsql() && lockWait.match(QString::fromStdString(s.sql)).hasMatch())
            continue;
        if (p.db.isTsql() && s.sql.size() > ownCount.size() &&
            s.sql.compare(s.sql.size() - ownCount.size(), ownCount.size(), ownCount) == 0)
            s.sql.erase(s.sql.size() - ownCount.size());
        EXPECT_EQ(s.sql.find("4711"), std::string::npos);
        EXPECT_EQ(s.sql.find("2031"), std::string::npos);
        EXPECT_EQ(s.sql.find("Zx9q"), std::string::npos);
        // The catalogue question about the table's columns is a fixed text of its own (the
        // table's name travels as its parameter); it holds no value either (checked above).
        if (s.sql == generatedColumnsStatement(ServerDialect::SqlServer, QString()).sql
            || s.sql == generatedColumnsStatement(ServerDialect::Sqlite, QString()).sql)
            continue;
        bool wellFormed = false;
        const std::string skeleton = withoutNames(s.sql, wellFormed);
        EXPECT_TRUE(wellFormed);
        EXPECT_EQ(skeleton.find('\''), std::string::npos) << skeleton;
        EXPECT_EQ(skeleton.find('"'), std::string::npos) << skeleton;
        EXPECT_EQ(skeleton.find("--"), std::string::npos) << skeleton;
        EXPECT_TRUE(allowed.match(QString::fromStdString(skeleton)).hasMatch()) << skeleton;
        for (auto it = word.globalMatch(QString::fromStdString(skeleton)); it.hasNext();) {
            const QString w = it.next().captured(0);
            EXPECT_TRUE(words.contains(w)) << w.toStdString();
        }
    }
}

TEST(Security, TheGridsWritesAreTimeLimitedSoALockCannotHoldTheWindowForever)
{
    Program p;
    p.db.exec("CREATE TABLE Orders (" + p.db.autoKey("id") + ", item NVARCHAR(20)); INSERT INTO Orders (item) VALUES ('pen');");
    p.start();
    StatementLog log;
    ASSERT_TRUE(p.open(QStringLiteral("Orders")));
    p.typeAt(0, 1, QStringLiteral("ink"));
    p.typeAt(1, 1, QStringLiteral("pad"));
    p.go(0, 1);
    p.grid().selectRow(1);
    p.t.prompter.answers = {MessageAnswer::Yes};
    p.key(Qt::Key_Delete);
    // The T-SQL test engine lists the table as "orders", and the program names it as listed.
    std::vector<SentStatement> selects;
    for (const SentStatement& s : log.statements())
        if (QString::fromStdString(s.sql).compare(QStringLiteral("SELECT * FROM [Orders];"), Qt::CaseInsensitive) == 0)
            selects.push_back(s);
    ASSERT_EQ(selects.size(), 1u);
    EXPECT_EQ(selects[0].timeout, static_cast<unsigned long>(RowSet::kReadWait.count()));
    int writes = 0;
    for (const char* verb : {"UPDATE ", "INSERT ", "DELETE "}) {
        for (const SentStatement& s : log.starting(verb)) {
            ++writes;
            EXPECT_EQ(s.timeout, static_cast<unsigned long>(RowSet::kWriteWait.count())) << s.sql;
        }
    }
    EXPECT_EQ(writes, 3);
}

// ---------------------------------------------------------------------------------------------
// 6. Files from the program's folder

void writeCursor(const QString& path)
{
    QPoint hot;
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(encodeCursorFile(drawHandPointer(&hot), hot));
}

// Runs the login window's load routine on a program folder and tells what it took from it.
struct Loaded {
    bool cursor = false;
    bool skin = false;
};

Loaded loadFrom(const QString& programDir)
{
    test::TestContext t(programDir);
    QTemporaryDir settings;
    SettingsStore store(settings.filePath(QStringLiteral("s.ini")));
    Form1 login(t.ctx, store);
    login.Form_Load();
    return {login.pointer().hasCustomImage(), login.autoFillBackground()};
}

TEST(Security, TheCursorAndTheSkinComeOnlyFromAFolderNoOtherUserCanWrite)
{
    QTemporaryDir base;
    const QString program = base.filePath(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkpath(program + QStringLiteral("/x")));
    writeCursor(program + QStringLiteral("/HAND-M.CUR"));
    QFile(program + QStringLiteral("/x/o.cjs")).open(QIODevice::WriteOnly);
    const QByteArray bin = QFile::encodeName(program);
    const QByteArray cursor = QFile::encodeName(program + QStringLiteral("/HAND-M.CUR"));
    const QByteArray skinDir = QFile::encodeName(program + QStringLiteral("/x"));
    ASSERT_EQ(::chmod(bin.constData(), 0755), 0);
    ASSERT_EQ(::chmod(cursor.constData(), 0644), 0);

    Loaded installed = loadFrom(program);
    EXPECT_TRUE(installed.cursor);
    EXPECT_TRUE(installed.skin);

    // A folder anyone may write to: someone could have put the files there.
    ASSERT_EQ(::chmod(bin.constData(), 0777), 0);
    Loaded open = loadFrom(program);
    EXPECT_FALSE(open.cursor);
    EXPECT_FALSE(open.skin) << "the skin's folder hangs off a folder anyone may write";
    ASSERT_EQ(::chmod(bin.constData(), 0755), 0);

    // The skin's own folder writable by the group; the cursor file writable by the group.
    ASSERT_EQ(::chmod(skinDir.constData(), 0775), 0);
    ASSERT_EQ(::chmod(cursor.constData(), 0664), 0);
    Loaded group = loadFrom(program);
    EXPECT_FALSE(group.cursor);
    EXPECT_FALSE(group.skin);
    ASSERT_EQ(::chmod(skinDir.constData(), 0755), 0);
    ASSERT_EQ(::chmod(cursor.constData(), 0644), 0);

    // A cursor that is a link to a file elsewhere.
    const QString elsewhere = base.filePath(QStringLiteral("elsewhere.cur"));
    writeCursor(elsewhere);
    ASSERT_TRUE(QFile::remove(program + QStringLiteral("/HAND-M.CUR")));
    ASSERT_TRUE(QFile::link(elsewhere, program + QStringLiteral("/HAND-M.CUR")));
    EXPECT_FALSE(loadFrom(program).cursor);

    // A cursor that belongs to another user (as root the test can give it away).
    if (::geteuid() == 0) {
        ASSERT_TRUE(QFile::remove(program + QStringLiteral("/HAND-M.CUR")));
        writeCursor(program + QStringLiteral("/HAND-M.CUR"));
        ASSERT_EQ(::chown(cursor.constData(), 65534, 65534), 0);
        EXPECT_FALSE(loadFrom(program).cursor);
    }
}

} // namespace
} // namespace tabulon::faults
