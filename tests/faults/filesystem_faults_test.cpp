// The file system refuses: exports into a folder that is gone, onto a full device, into a
// folder the user may not write; the settings file or its folder read-only, or the file
// damaged, at start-up. The program says so, keeps what the person typed, and leaves no
// partial file behind; the old file, if any, stays as it was.

#include "FaultSupport.h"

#include "app/AppContext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace tabulon::faults {
namespace {

std::string ordersTable(const test::TestDatabase& db)
{
    return "CREATE TABLE Orders (" + db.autoKey("id") + ", item NVARCHAR(20));"
           "INSERT INTO Orders (item) VALUES ('pen'), ('ink');";
}

struct Export {
    const char* name;
    QAction* Form3::*entry;
    const char* location; // the writer's location text and the statement of the write
};

const Export kFileExports[] = {
    {"TXT", &Form3::mnuTXT, "in Quarrix2020/08/02.Datagrid1.SaveDataGridToFile at line 134"},
    {"CSV", &Form3::mnuCSV, "in Quarrix2020/08/02.Datagrid1.SaveDataGridToCSVFile at line 134"},
    {"XML", &Form3::mnuXML, "in Quarrix2020/08/02.Datagrid1.SaveDataGridToXMLFile at line 130"},
};

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// The program with Orders open, its editor showing a row in edit that must survive.
struct Editing : Program {
    Editing()
    {
        db.exec(ordersTable(db));
        start();
        opened = open(QStringLiteral("Orders"));
    }
    void exportTo(const Export& e, const QString& file)
    {
        t.files.answers = {file};
        (editor().*e.entry)->trigger();
        settle();
    }
    bool opened = false;
};

TEST(ExportFaults, AFolderThatIsGoneIsReportedAtTheWriteAndLeavesNothing)
{
    for (const Export& e : kFileExports) {
        SCOPED_TRACE(e.name);
        Editing p;
        ASSERT_TRUE(p.opened);
        const QString gone = p.dir.filePath(QStringLiteral("gone"));
        ASSERT_TRUE(QDir().mkpath(gone));
        const QString target = gone + QStringLiteral("/out.") + QString::fromLatin1(e.name).toLower();
        ASSERT_TRUE(QDir(gone).removeRecursively()); // removed after the person chose it
        p.exportTo(e, target);
        const auto errors = p.t.prompter.errors();
        ASSERT_EQ(errors.size(), 1u) << joined(p.said());
        EXPECT_TRUE(errors[0].text.contains(QString::fromLatin1(e.location))) << errors[0].text.toStdString();
        EXPECT_TRUE(errors[0].text.contains(target)) << "names the file";
        EXPECT_FALSE(QFileInfo::exists(gone));
        EXPECT_TRUE(p.editor().isVisible());
    }
}

TEST(ExportFaults, AFullDeviceIsReported)
{
    if (!QFileInfo(QStringLiteral("/dev/full")).exists())
        GTEST_SKIP() << "no /dev/full here";
    for (const Export& e : kFileExports) {
        SCOPED_TRACE(e.name);
        Editing p;
        ASSERT_TRUE(p.opened);
        p.exportTo(e, QStringLiteral("/dev/full"));
        const auto errors = p.t.prompter.errors();
        ASSERT_EQ(errors.size(), 1u) << joined(p.said());
        EXPECT_TRUE(errors[0].text.contains(QString::fromLatin1(e.location))) << errors[0].text.toStdString();
        EXPECT_TRUE(errors[0].text.contains(QStringLiteral("/dev/full")));
    }
}

TEST(ExportFaults, AReadOnlyFolderKeepsTheOldFileAndGetsNoStrayOnes)
{
    TABULON_RUN_AS_ORDINARY_USER();
    for (const Export& e : kFileExports) {
        SCOPED_TRACE(e.name);
        Editing p;
        ASSERT_TRUE(p.opened);
        const QString folder = p.dir.filePath(QStringLiteral("locked"));
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString target = folder + QStringLiteral("/old.txt");
        {
            QFile old(target);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("the old file\n");
        }
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
        p.exportTo(e, target);
        const auto errors = p.t.prompter.errors();
        ASSERT_EQ(errors.size(), 1u) << joined(p.said());
        EXPECT_TRUE(errors[0].text.contains(QString::fromLatin1(e.location))) << errors[0].text.toStdString();
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), QByteArray("the old file\n"));
        EXPECT_EQ(filesIn(folder), QStringList{QStringLiteral("old.txt")});
        ::chmod(QFile::encodeName(folder).constData(), 0755);
    }
}

TEST(ExportFaults, AFailedExportLeavesTheEditorAsItWas)
{
    Editing p;
    ASSERT_TRUE(p.opened);
    p.exportTo(kFileExports[0], QStringLiteral("/nonexistent/out.txt"));
    p.said();
    // The grid still holds the table and takes edits.
    p.typeAt(0, 1, QStringLiteral("fountain pen"));
    p.go(1, 1);
    EXPECT_TRUE(p.said().isEmpty());
    EXPECT_EQ(p.db.value("SELECT item FROM Orders WHERE id = 1;"), QStringLiteral("fountain pen"));
}

// ---------------------------------------------------------------------------------------------
// The settings at start-up

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(SettingsFaults, ADamagedFileIsKeptAsideAndTheLoginWindowStartsEmpty)
{
    const struct {
        const char* what;
        QByteArray bytes;
        bool damaged; // not a settings file at all
    } cases[] = {
        {"binary junk", QByteArray::fromHex("00ff13377f8081fe0a0d00deadbeef"), true},
        {"a cut-off section", QByteArray("[Tabulon\nMSServer=host\n"), true},
        {"a line that is no setting", QByteArray("[Tabulon]\nMSServer=host\nthis is not a setting\n"), true},
        {"bytes that are no UTF-8", QByteArray("[Tabulon]\nMSUser=\xff\xfe\xfd\n"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Program p(false);
        writeFile(p.settingsPath(), c.bytes);
        p.start();
        EXPECT_TRUE(p.login().isVisible());
        const QStringList said = p.said();
        if (c.damaged) {
            EXPECT_EQ(readFile(p.settingsPath() + QStringLiteral(".damaged")), c.bytes) << "kept as it was";
            ASSERT_EQ(said.size(), 1) << joined(said);
            EXPECT_TRUE(said[0].contains(QStringLiteral("could not be read"))) << joined(said);
            EXPECT_TRUE(p.login().Text1->text().isEmpty());
        } else {
            EXPECT_TRUE(said.isEmpty()) << joined(said);
            EXPECT_FALSE(p.login().Text2->text().isEmpty()) << "read as settings of its own";
        }
        // The person types; the store takes it, and the next start has it.
        p.login().Text1->setText(QStringLiteral("dbhost"));
        EXPECT_TRUE(p.said().isEmpty());
        EXPECT_EQ(SettingsStore(p.settingsPath()).read(QStringLiteral("MSServer"), QString()), QStringLiteral("dbhost"));
    }
}

TEST(SettingsFaults, AReadOnlyFileOrFolderIsSaidOnceAndTheFieldsStillWork)
{
    TABULON_RUN_AS_ORDINARY_USER();
    for (const bool folderReadOnly : {false, true}) {
        SCOPED_TRACE(folderReadOnly ? "read-only folder" : "read-only file");
        Program p;
        {
            QSettings s(p.settingsPath(), QSettings::IniFormat);
            s.setValue(QStringLiteral("Tabulon/MSDatabase"), QStringLiteral("/nonexistent/x.db")); // stays on the login window
        }
        const QByteArray before = readFile(p.settingsPath());
        ASSERT_EQ(::chmod(QFile::encodeName(p.settingsPath()).constData(), folderReadOnly ? 0600 : 0400), 0);
        if (folderReadOnly) {
            ASSERT_EQ(::chmod(QFile::encodeName(p.dir.path()).constData(), 0555), 0);
        }
        p.start();
        EXPECT_EQ(p.login().Text1->text(), p.db.login().server) << "read as it is";
        p.login().Text4->setText(p.db.databaseName());
        if (p.db.isSqlite())
            p.login().Text2->setText(QStringLiteral("someone")); // the SQLite driver takes any user
        const QStringList said = p.said();
        ASSERT_EQ(said.size(), 1) << joined(said);
        EXPECT_TRUE(said[0].contains(QStringLiteral("could not be written"))) << joined(said);
        EXPECT_EQ(readFile(p.settingsPath()), before) << "the file as it was";
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(p.settingsPath()).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, folderReadOnly ? 0600u : 0400u) << "the owner's choice stands";
        // The session goes on with what was typed.
        p.login().PushButton3->click();
        settle();
        EXPECT_TRUE(p.chooser().isVisible());
        ::chmod(QFile::encodeName(p.dir.path()).constData(), 0755);
    }
}

TEST(SettingsFaults, ASettingsFolderThatCannotBeMadeIsSaidAndTheFieldsStillWork)
{
    Program p(false);
    writeFile(p.dir.filePath(QStringLiteral("config")), "a file where the folder should be");
    const QString path = p.dir.filePath(QStringLiteral("config/Vantorel.ini"));
    p.store = std::make_unique<SettingsStore>(path);
    p.flow = std::make_unique<WindowFlow>(p.t.ctx, *p.store);
    p.flow->start();
    p.typeLogin();
    const QStringList said = p.said();
    ASSERT_EQ(said.size(), 1) << joined(said);
    EXPECT_TRUE(said[0].contains(QStringLiteral("could not be written"))) << joined(said);
    p.login().PushButton3->click();
    settle();
    EXPECT_TRUE(p.chooser().isVisible());
}

} // namespace
} // namespace tabulon::faults
