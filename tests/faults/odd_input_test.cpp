// Odd input in every field of every window: blanks only, 10,000 characters, control characters,
// and a password with ";" and "}". Nothing crashes; what is kept is kept exactly; what cannot be
// used is refused with a message and left in its field; SQL gets names only in brackets, and
// nothing but the table at hand changes.

#include "FaultSupport.h"
#include "StatementLog.h"

#include "connection/SqlNames.h"
#include "schema/NewColumnDialog.h"
#include "schema/NewTableDialog.h"
#include "schema/SchemaSql.h"

#include <QComboBox>
#include <QDir>
#include <QTreeWidget>

namespace tabulon::faults {
namespace {

struct Odd {
    const char* what;
    QString text;
};

QString controls()
{
    return QStringLiteral("a") + QChar(0x01) + QChar(0x07) + QStringLiteral("\t") + QChar(0x1B) +
           QStringLiteral("\r\n") + QChar(0x7F) + QStringLiteral("z");
}

std::vector<Odd> oddTexts()
{
    return {
        {"blanks only", QStringLiteral("     ")},
        {"10,000 characters", QString(10000, QLatin1Char('y'))},
        {"control characters", controls()},
        {"';' and '}'", QStringLiteral("p;w}d};x")},
        {"braces and equals", QStringLiteral("{a}=b;Driver={Nope}")},
        {"blanks at either end", QStringLiteral("  p w  ")},
    };
}

// ---------------------------------------------------------------------------------------------
// The login window

TEST(OddInput, EveryLoginFieldKeepsWhatWasTypedAndTheButtonsAnswerPlainly)
{
    struct Field {
        const char* key;
        QLineEdit* Form1::*box;
    };
    const Field fields[] = {{"MSServer", &Form1::Text1}, {"Port", &Form1::Text9}, {"MSUser", &Form1::Text2},
                            {"MSPassword", &Form1::Text3}, {"MSDatabase", &Form1::Text4}};
    const QStringList plainAnswers = {QStringLiteral("Connection successful."),
                                      QStringLiteral("Could not connect. Please check with your administrator.")};
    for (const Field& f : fields) {
        for (const Odd& odd : oddTexts()) {
            SCOPED_TRACE(std::string(f.key) + ": " + odd.what);
            Program p(false);
            // Relative database names land in the current folder: keep that folder private.
            const QString before = QDir::currentPath();
            QDir::setCurrent(p.dir.path());
            p.start();
            Form1& login = p.login();
            p.typeLogin();
            (login.*f.box)->setText(odd.text);
            EXPECT_EQ((login.*f.box)->text(), odd.text) << "the field holds what was typed";
            EXPECT_EQ(SettingsStore(p.settingsPath()).read(QString::fromLatin1(f.key), QString()), odd.text)
                << "remembered exactly";

            login.PushButton5->click(); // Test Connection
            settle();
            login.PushButton3->click(); // Next >
            settle();
            const QStringList said = p.said();
            ASSERT_GE(said.size(), 1);
            EXPECT_TRUE(plainAnswers.contains(said[0])) << joined(said);
            EXPECT_EQ(login.windowTitle(), QStringLiteral("Tabulon"));
            QDir::setCurrent(before);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The grid

TEST(OddInput, GridCellsTakeOddTextAsTextAndRefuseItWhereANumberOrDateBelongs)
{
    Program p;
    const std::string longText = p.db.isSqlite() ? "NVARCHAR(20000)" : "NVARCHAR(MAX)";
    p.db.exec("CREATE TABLE Kinds (" + p.db.autoKey("id") + ", t " + longText + ", n INT, d DATE, b BIT);"
              "INSERT INTO Kinds (t, n, d, b) VALUES ('x', 1, '2024-01-01', 1);"
              "CREATE TABLE Bystander (v INT); INSERT INTO Bystander VALUES (42);");
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Kinds")));
    for (const Odd& odd : oddTexts()) {
        SCOPED_TRACE(odd.what);
        // Text takes it exactly.
        p.typeAt(0, 1, odd.text);
        p.go(1, 1);
        EXPECT_TRUE(p.said().isEmpty());
        EXPECT_EQ(p.db.value("SELECT t FROM Kinds WHERE id = 1;"), odd.text);

        // A number, a date and a bit take blanks as NULL and refuse the rest, keeping it.
        for (int column : {2, 3, 4}) {
            SCOPED_TRACE(column);
            const Rows before = p.db.rows("SELECT n, d, b FROM Kinds WHERE id = 1;");
            p.typeAt(0, column, odd.text);
            p.go(1, column);
            const QStringList said = p.said();
            if (odd.text.trimmed().isEmpty()) {
                EXPECT_TRUE(said.isEmpty()) << joined(said);
                const std::string name = column == 2 ? "n" : column == 3 ? "d" : "b";
                EXPECT_EQ(p.db.value("SELECT CASE WHEN " + name + " IS NULL THEN 'null' ELSE 'value' END FROM Kinds WHERE id = 1;"),
                          QStringLiteral("null"));
                p.db.exec("UPDATE Kinds SET n = 1, d = '2024-01-01', b = 1 WHERE id = 1;");
                p.editor().PushButton1->click(); // read the table again
                settle();
                ASSERT_TRUE(p.open(QStringLiteral("Kinds")));
            } else {
                EXPECT_FALSE(said.isEmpty());
                EXPECT_TRUE(p.inEdit(0));
                EXPECT_EQ(p.at(0, column).data(Qt::EditRole).toString(), odd.text) << "kept in the cell";
                EXPECT_EQ(p.db.rows("SELECT n, d, b FROM Kinds WHERE id = 1;"), before);
                p.key(Qt::Key_Escape);
            }
        }
    }
    EXPECT_EQ(p.db.value("SELECT v FROM Bystander;"), QStringLiteral("42"));
}

// ---------------------------------------------------------------------------------------------
// The column dialog

// One case per box of the dialog, each with every odd text.
struct ColumnBox {
    const char* name;
    QLineEdit* frmNewColumn::*box;
};

void PrintTo(const ColumnBox& b, std::ostream* out)
{
    *out << b.name;
}

class OddColumnInput : public ::testing::TestWithParam<ColumnBox> {};

TEST_P(OddColumnInput, TheColumnDialogSendsOneBracketedStatementOrKeepsItsEntries)
{
    {
        const ColumnBox& box = GetParam();
        for (const Odd& odd : oddTexts()) {
            SCOPED_TRACE(std::string(box.name) + ": " + odd.what);
            Program p;
            p.db.exec("CREATE TABLE Orders (" + p.db.autoKey("id") + ", item NVARCHAR(20));"
                      "INSERT INTO Orders (item) VALUES ('pen');"
                      "CREATE TABLE Bystander (v INT); INSERT INTO Bystander VALUES (42);");
            p.start();
            ASSERT_TRUE(p.open(QStringLiteral("Orders")));
            const QString table = p.listedAs(QStringLiteral("Orders")); // the T-SQL test engine lists "orders"
            StatementLog log;
            ColumnDefinition typed;
            bool stayed = false;
            whenShown<frmNewColumn>([&](frmNewColumn* dialog) {
                dialog->txtName->setText(QStringLiteral("extra"));
                dialog->cboDataType->setCurrentText(QStringLiteral("NVARCHAR"));
                dialog->txtM->setText(QStringLiteral("30"));
                (dialog->*box.box)->setText(odd.text);
                typed = dialog->definition();
                dialog->PushButton1->click();
                settle();
                stayed = dialog->isVisible();
                if (stayed) {
                    EXPECT_EQ(dialog->definition().name, typed.name) << "entries kept";
                    EXPECT_EQ((dialog->*box.box)->text(), odd.text) << "entries kept";
                    dialog->reject();
                }
            });
            p.editor().PushButton2->click();
            settle();
            const auto alters = log.starting("ALTER TABLE ");
            if (isBlank(typed.name)) {
                EXPECT_TRUE(alters.empty()) << "a name of blanks sends nothing";
                EXPECT_TRUE(stayed);
            } else if (!definitionProblem(typed).isEmpty()) {
                EXPECT_TRUE(alters.empty()) << "a size or default that is refused sends nothing";
                EXPECT_TRUE(stayed);
            } else {
                ASSERT_GE(alters.size(), 1u);
                EXPECT_EQ(QString::fromStdString(alters[0].sql), addColumnStatement(table, typed));
                EXPECT_TRUE(alters[0].sql.rfind("ALTER TABLE " + bracketName(table).toStdString() + " ADD " +
                                                    bracketName(typed.name).toStdString(),
                                                0) == 0);
            }
            for (const SentStatement& s : log.statements())
                EXPECT_EQ(s.sql.find("Bystander"), std::string::npos) << s.sql;
            EXPECT_EQ(p.db.value("SELECT v FROM Bystander;"), QStringLiteral("42"));
            EXPECT_EQ(p.db.value("SELECT item FROM Orders;"), QStringLiteral("pen"));
            EXPECT_TRUE(p.editor().isVisible());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Boxes, OddColumnInput,
                         ::testing::Values(ColumnBox{"Name", &frmNewColumn::txtName}, ColumnBox{"M", &frmNewColumn::txtM},
                                           ColumnBox{"D", &frmNewColumn::txtD},
                                           ColumnBox{"Default", &frmNewColumn::txtDefault}),
                         [](const ::testing::TestParamInfo<ColumnBox>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// The table designer

TEST(OddInput, TheDesignerSendsOneBracketedStatementOrKeepsItsDefinition)
{
    for (const Odd& odd : oddTexts()) {
        if (odd.text.contains(QLatin1Char('{')))
            continue; // see BracesInANewNameAreNeverReportedAsMadeWhenTheyWereNot
        for (const bool inFieldName : {false, true}) {
            SCOPED_TRACE(std::string(odd.what) + (inFieldName ? " as a field name" : " as the table name"));
            Program p;
            p.db.exec("CREATE TABLE Bystander (v INT); INSERT INTO Bystander VALUES (42);");
            p.start();
            ASSERT_TRUE(p.chooser().isVisible());
            StatementLog log;
            QString tableName;
            QList<FieldRow> rows;
            bool stayed = false;
            whenShown<frmNewTable>([&](frmNewTable* designer) {
                designer->txtName->setText(inFieldName ? QStringLiteral("Fresh") : odd.text);
                auto* item = new QTreeWidgetItem(designer->ListView1,
                                                 QStringList{inFieldName ? odd.text : QStringLiteral("f"),
                                                             QStringLiteral("INT")});
                (void)item;
                tableName = designer->txtName->text();
                rows = designer->rows();
                designer->PushButton2->click();
                settle();
                stayed = designer->isVisible();
                if (stayed) {
                    EXPECT_EQ(designer->txtName->text(), tableName) << "definition kept";
                    EXPECT_EQ(designer->rows(), rows) << "definition kept";
                    designer->reject();
                }
            });
            p.chooser().PushButton1->click();
            settle();
            const auto creates = log.starting("CREATE TABLE ");
            ASSERT_EQ(creates.size(), 1u);
            EXPECT_EQ(QString::fromStdString(creates[0].sql), createTableStatement(tableName, rows));
            const bool exists = p.db.hasTable(tableName);
            if (p.db.isTsql() && inFieldName && odd.text.size() > 128) {
                // SQL Server refuses a column name over 128 characters; the T-SQL test engine
                // makes the table with the name cut short instead. The designer then finds no
                // column of the name typed, says so, and keeps the definition.
                EXPECT_TRUE(stayed) << "a column other than the one typed was made";
                EXPECT_FALSE(p.t.prompter.errors().empty()) << "and the person is told";
                EXPECT_FALSE(p.db.columnNames(tableName).contains(odd.text));
            } else {
                EXPECT_EQ(exists, !stayed) << "closed exactly when the table was made";
            }
            EXPECT_EQ(p.db.value("SELECT v FROM Bystander;"), QStringLiteral("42"));
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The Save dialog's file name

TEST(OddInput, AFileNameTooLongForTheFileSystemIsReportedAndNothingIsWritten)
{
    Program p;
    p.db.exec("CREATE TABLE Orders (" + p.db.autoKey("id") + ", item NVARCHAR(20)); INSERT INTO Orders (item) VALUES ('pen');");
    p.start();
    ASSERT_TRUE(p.open(QStringLiteral("Orders")));
    const QString name = p.dir.filePath(QString(10000, QLatin1Char('n')) + QStringLiteral(".txt"));
    p.t.files.answers = {name};
    p.editor().mnuTXT->trigger();
    settle();
    ASSERT_EQ(p.t.prompter.errors().size(), 1u) << joined(p.said());
    EXPECT_EQ(QDir(p.dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("Vantorel.ini")});
}

// The SQLite driver takes "{...}" for an ODBC escape sequence even inside brackets:
// "CREATE TABLE [{a}=b]" makes the table "=b", and "ADD [{a}=b]" the column "=b". The
// designer would close and the column dialog say "Column added." for something that was not
// made; both now look for the exact name afterwards and keep their entries when it is missing.
TEST(OddInput, BracesInANewNameAreNeverReportedAsMadeWhenTheyWereNot)
{
    const QString name = QStringLiteral("{a}=b");
    {
        Program p;
        p.start();
        bool stayed = false;
        whenShown<frmNewTable>([&](frmNewTable* designer) {
            designer->txtName->setText(name);
            new QTreeWidgetItem(designer->ListView1, QStringList{QStringLiteral("f"), QStringLiteral("INT")});
            designer->PushButton2->click();
            settle();
            stayed = designer->isVisible();
            if (stayed)
                designer->reject();
        });
        p.chooser().PushButton1->click();
        settle();
        const bool made = p.db.hasTable(name);
        EXPECT_EQ(made, !stayed);
    }
    {
        Program p;
        p.db.exec("CREATE TABLE Orders (" + p.db.autoKey("id") + ");");
        p.start();
        ASSERT_TRUE(p.open(QStringLiteral("Orders")));
        whenShown<frmNewColumn>([&](frmNewColumn* dialog) {
            dialog->txtName->setText(name);
            dialog->PushButton1->click();
            settle();
            if (dialog->isVisible())
                dialog->reject();
        });
        p.editor().PushButton2->click();
        settle();
        const bool made = p.db.columnNames(QStringLiteral("Orders")).contains(name);
        EXPECT_EQ(made, p.t.prompter.texts().contains(QStringLiteral("Column added.")));
    }
}

// The size boxes and the default go into the statement as typed, so a ";" there starts a
// second statement, which SQL Server runs in the same batch (the SQLite driver happens to refuse
// more than one). A size is a number (or MAX), and a default one expression: anything else is to
// be refused in the dialog, with the entries kept. Disabled until the column dialog checks them
// (see the report on the schema windows).
TEST(OddInput, TheSizeAndDefaultBoxesCannotCarryASecondStatement)
{
    struct Case {
        QLineEdit* frmNewColumn::*box;
        const char* typed;
    };
    const Case cases[] = {
        {&frmNewColumn::txtM, "1); DROP TABLE Bystander; --"},
        {&frmNewColumn::txtD, "0); DROP TABLE Bystander; --"},
        {&frmNewColumn::txtDefault, "0; DROP TABLE Bystander; --"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Program p;
        p.db.exec("CREATE TABLE Orders (" + p.db.autoKey("id") + "); CREATE TABLE Bystander (v INT);");
        p.start();
        ASSERT_TRUE(p.open(QStringLiteral("Orders")));
        StatementLog log;
        whenShown<frmNewColumn>([&](frmNewColumn* dialog) {
            dialog->txtName->setText(QStringLiteral("extra"));
            dialog->cboDataType->setCurrentText(QStringLiteral("DECIMAL"));
            dialog->txtM->setText(QStringLiteral("10"));
            (dialog->*c.box)->setText(QString::fromUtf8(c.typed));
            dialog->PushButton1->click();
            settle();
            EXPECT_TRUE(dialog->isVisible()) << "refused, entries kept";
            if (dialog->isVisible())
                dialog->reject();
        });
        p.editor().PushButton2->click();
        settle();
        for (const SentStatement& s : log.statements())
            EXPECT_EQ(s.sql.find("DROP"), std::string::npos) << s.sql;
    }
}

} // namespace
} // namespace tabulon::faults
