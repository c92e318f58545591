// Table and column names that try to end the statement, open a string, start a comment or an
// escape: each one goes through everything the program does with a name (open, edit, a new
// row, a delete, the text export, a new column, a new table of that name) and a bystander table
// stays as it was, rows and columns.
//
// On T-SQL (FreeTDS) every one of these names works. The SQLite ODBC driver reads the statement
// text without knowing brackets: it splits it at ";", counts "?" after a "'" as if in a string,
// and rewrites "{...}" as an escape sequence; names holding those cannot be used there, and the
// cases say so. What must hold on both is that nothing but the chosen table changes.
// Names holding "]" are covered by the statement-text tests (neither test engine reads "]]").

#include "FaultSupport.h"
#include "StatementLog.h"

#include "schema/NewColumnDialog.h"
#include "schema/NewTableDialog.h"

#include <QComboBox>
#include <QFile>
#include <QTreeWidget>

namespace tabulon::faults {
namespace {

struct HostileName {
    const char* what; // also the case's name
    QString name;
    bool sqliteCanUseIt; // false: the SQLite driver mangles a statement that holds it
};

void PrintTo(const HostileName& h, std::ostream* out)
{
    *out << h.name.toStdString();
}

std::vector<HostileName> hostileNames()
{
    return {
        {"semicolon", QStringLiteral("a;b"), false},
        {"quote", QStringLiteral("it's"), false},
        {"double_quotes", QStringLiteral("say \"hi\""), true},
        {"comment", QStringLiteral("x -- y"), true},
        {"braces", QStringLiteral("a{b}c"), false},
        {"blanks_at_either_end_and_inside", QStringLiteral("  two  words  "), true},
        {"letters_beyond_ASCII", QStringLiteral("ünïcødé ñandú"), true},
        {"all_of_them", QStringLiteral("x'; drop table bystander; -- {ü}"), false},
    };
}

// Double quotes, which both engines read, for setting up apart from the program.
std::string quoted(const QString& name)
{
    std::string q = name.toStdString();
    for (std::size_t at = 0; (at = q.find('"', at)) != std::string::npos; at += 2)
        q.insert(at, 1, '"');
    return '"' + q + '"';
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void expectBystanderUntouched(Program& p)
{
    EXPECT_EQ(p.db.rows("SELECT v FROM bystander;"), (Rows{{"42"}}));
    EXPECT_EQ(p.db.columnNames(QStringLiteral("bystander")), QStringList{QStringLiteral("v")});
}

class HostileNames : public ::testing::TestWithParam<HostileName> {};

TEST_P(HostileNames, OpensEditsExportsAndGrowsAndTheBystanderStaysAsItWas)
{
    const HostileName& h = GetParam();
    const QString& name = h.name;
    const std::string q = quoted(name);
    Program p;
    p.db.exec("CREATE TABLE bystander (v INT); INSERT INTO bystander VALUES (42);");
    p.db.exec("CREATE TABLE " + q + " (" + p.db.autoKey("id") + ", " + q + " NVARCHAR(20));");
    p.db.exec("INSERT INTO " + q + " (" + q + ") VALUES ('one'), ('two');");
    const bool mustWork = p.db.isTsql() || h.sqliteCanUseIt;
    p.start();
    ASSERT_TRUE(p.isListed(name)) << p.listed().join(QLatin1Char('|')).toStdString();

    const bool opened = p.open(name);
    if (!mustWork && !opened) {
        EXPECT_FALSE(p.t.prompter.errors().empty()) << "a table that does not open is reported";
        EXPECT_EQ(p.db.column("SELECT " + q + " FROM " + q + " ORDER BY id;"), (QStringList{"one", "two"}));
        expectBystanderUntouched(p);
        return;
    }
    if (mustWork) {
        ASSERT_TRUE(opened) << joined(p.said());
    }
    EXPECT_EQ(p.grid().model()->headerData(1, Qt::Horizontal).toString(), name);
    EXPECT_EQ(p.shown(0, 1), QStringLiteral("one"));

    // An edit, a new row and a delete.
    p.typeAt(0, 1, QStringLiteral("uno"));
    p.typeAt(2, 1, QStringLiteral("tres"));
    p.go(0, 1);
    p.grid().selectRow(1);
    p.t.prompter.answers = {MessageAnswer::Yes};
    p.key(Qt::Key_Delete);
    const QStringList said = p.said();
    const QStringList stored = p.db.column("SELECT " + q + " FROM " + q + " ORDER BY id;");
    if (mustWork) {
        EXPECT_EQ(said.size(), 1) << joined(said); // the delete question only
        EXPECT_EQ(stored, (QStringList{"uno", "tres"}));
    } else {
        // Whatever the driver refused stayed out of the table; nothing else came in.
        for (const QString& v : stored)
            EXPECT_TRUE(QStringList({"one", "two", "uno", "tres"}).contains(v)) << v.toStdString();
    }
    expectBystanderUntouched(p);
    if (!mustWork)
        return;

    // The text export, from the grid.
    const QString file = p.dir.filePath(QStringLiteral("out.txt"));
    p.t.files.answers = {file};
    p.editor().mnuTXT->trigger();
    settle();
    EXPECT_EQ(QString::fromUtf8(fileBytes(file)),
              QStringLiteral("id\t") + name + QStringLiteral("\t\r\n1\tuno\t\r\n3\ttres\t\r\n"));

    // A column of the same odd name with a suffix.
    const QString column = name + QStringLiteral(" 2");
    whenShown<frmNewColumn>([&](frmNewColumn* dialog) {
        dialog->txtName->setText(column);
        dialog->cboDataType->setCurrentText(QStringLiteral("NVARCHAR"));
        dialog->txtM->setText(QStringLiteral("10"));
        dialog->PushButton1->click();
        settle();
        if (dialog->isVisible())
            dialog->reject();
    });
    p.editor().PushButton2->click();
    settle();
    EXPECT_TRUE(p.t.prompter.texts().contains(QStringLiteral("Column added."))) << joined(p.said());
    EXPECT_EQ(p.db.columnNames(name), (QStringList{QStringLiteral("id"), name, column}));
    EXPECT_EQ(p.grid().model()->headerData(2, Qt::Horizontal).toString(), column) << "reloaded";
    p.said();

    // A new table of the odd name with a suffix, with a field of the odd name.
    const QString table = name + QStringLiteral(" new");
    p.editor().PushButton1->click(); // back to the chooser
    settle();
    bool stayed = true;
    whenShown<frmNewTable>([&](frmNewTable* designer) {
        designer->txtName->setText(table);
        new QTreeWidgetItem(designer->ListView1, QStringList{name, QStringLiteral("INT")});
        designer->PushButton2->click();
        settle();
        stayed = designer->isVisible();
        if (stayed)
            designer->reject();
    });
    p.chooser().PushButton1->click();
    settle();
    EXPECT_FALSE(stayed) << joined(p.said());
    EXPECT_TRUE(p.db.hasTable(table));
    EXPECT_EQ(p.db.columnNames(table), QStringList{name});
    EXPECT_TRUE(p.isListed(table)) << p.listed().join(QLatin1Char('|')).toStdString();

    expectBystanderUntouched(p);
    EXPECT_EQ(p.db.tableNames().size(), 3) << p.db.tableNames().join(QLatin1Char('|')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Names, HostileNames, ::testing::ValuesIn(hostileNames()),
                         [](const ::testing::TestParamInfo<HostileName>& info) { return std::string(info.param.what); });

} // namespace
} // namespace tabulon::faults
