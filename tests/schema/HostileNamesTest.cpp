// Table and column names that carry SQL's own punctuation, quotes, comment marks, braces,
// blanks and letters beyond ASCII, through both schema windows. Such a name is sent inside its
// brackets as typed: the table or column of exactly that name is made, nothing else is, and a
// table standing by is not touched.
//
// Names holding "]" are left to the statement-text tests: Babelfish cannot read "]]".
// The SQLite driver does not read brackets: it takes "{...}" for an ODBC escape, so a name with
// braces reaches the engine as another name. On SQLite the windows must then say so and keep
// the entries, never report the object as made. (It also takes a ";" outside quotes for the end
// of a statement: it makes and alters such a table but refuses to read it, so on SQLite the
// tests read such a table straight from the file.)

#include "SchemaTestSupport.h"

#include "schema/NewColumnDialog.h"
#include "schema/NewTableDialog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

namespace tabulon::test {
namespace {

struct HostileName {
    const char* label;
    QString table;
    QString column;
    bool notWholeOnSqlite; // the SQLite driver rewrites or refuses the statement
};
void PrintTo(const HostileName& c, std::ostream* out) { *out << c.label; }

const HostileName kNames[] = {
    {"semicolons", QStringLiteral("Orders; DROP TABLE Bystander"),
     QStringLiteral("Qty; DELETE FROM Bystander"), false},
    {"single_quotes", QStringLiteral("O'Brien's"), QStringLiteral("it's'"), false},
    {"double_quotes", QStringLiteral("say \"hi\""), QStringLiteral("\"q\""), false},
    {"comment_marks", QStringLiteral("a -- b /* c"), QStringLiteral("d */ -- e"), false},
    {"all_of_them", QStringLiteral("x'; DROP TABLE Bystander; --"),
     QStringLiteral("y\"; DELETE FROM Bystander /*"), false},
    {"blanks", QStringLiteral("  Order  Lines"), QStringLiteral(" Unit  Price"), false},
    {"non_ascii", QStringLiteral("Größe Élan ñ"), QStringLiteral("Ärger 日本 ø"), false},
    {"braces_in_the_table", QStringLiteral("{a}=b"), QStringLiteral("plain"), true},
    {"braces_in_the_column", QStringLiteral("plain"), QStringLiteral("c{fn d}e"), true},
};

class HostileNames : public SchemaWindowTest, public ::testing::WithParamInterface<HostileName> {
protected:
    void SetUp() override
    {
        db.exec("CREATE TABLE [Bystander]([id] INT, [name] VARCHAR(20));");
        db.exec("INSERT INTO [Bystander]([id], [name]) VALUES (1, 'kept');");
    }

    void expectBystanderUntouched()
    {
        EXPECT_EQ(columnsOf(QStringLiteral("Bystander")),
                  (QStringList{QStringLiteral("id"), QStringLiteral("name")}));
        EXPECT_EQ(db.rows("SELECT [id], [name] FROM [Bystander];"),
                  (std::vector<QStringList>{{QStringLiteral("1"), QStringLiteral("kept")}}));
    }

    // The table's column names as typed: on SQLite from the file itself, elsewhere as a query
    // reports them (Babelfish's catalogue lists them lower-cased).
    QStringList columnsRead(const QString& table)
    {
        return db.isSqlite() ? db.columnNames(table) : columnsOf(table);
    }

    // Whether this engine gets the name as typed.
    bool nameArrivesWhole() const { return !(db.isSqlite() && GetParam().notWholeOnSqlite); }
};

TEST_P(HostileNames, AColumnIsAddedToSuchATable)
{
    const HostileName& c = GetParam();
    db.exec("CREATE TABLE " + bracketName(c.table).toStdString() + "([id] INT);");
    t.ctx.currentTable = c.table;

    frmNewColumn d(t.ctx, login);
    d.callingform = QStringLiteral("Form3");
    d.show();
    ASSERT_TRUE(d.connected());
    d.txtName->setText(c.column);
    d.cboDataType->setCurrentIndex(d.cboDataType->findText(QStringLiteral("INT")));
    d.txtDefault->setText(QStringLiteral("5"));
    QTest::mouseClick(d.PushButton1, Qt::LeftButton);

    expectBystanderUntouched();
    if (!nameArrivesWhole()) {
        // Reported where the column is added, the dialog kept with what was typed.
        EXPECT_EQ(reportedLines(t.prompter, loc::NewColumn_Add), std::vector<int>{120})
            << t.prompter.texts().join("|").toStdString();
        EXPECT_FALSE(t.prompter.texts().contains(QStringLiteral("Column added.")));
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(d.txtName->text(), c.column);
        // No column of the name asked for (the driver may have made one of another name).
        EXPECT_FALSE(db.columnNames(c.table).contains(c.column));
        return;
    }
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(columnsRead(c.table), (QStringList{QStringLiteral("id"), c.column}));
    db.exec("INSERT INTO " + bracketName(c.table).toStdString() + "([id]) VALUES (1);");
    const QString filled = db.value("SELECT " + bracketName(c.column).toStdString() + " FROM " +
                                    bracketName(c.table).toStdString() + ";");
    if (db.isSqlite()) {
        // SQLite does not know ADD DEFAULT ... FOR: reported, and the column has no default.
        EXPECT_EQ(reportedLines(t.prompter, loc::NewColumn_Add), std::vector<int>{126});
        EXPECT_EQ(t.prompter.texts().last(), QStringLiteral("Column added."));
        EXPECT_TRUE(filled.isNull());
    } else {
        EXPECT_EQ(t.prompter.texts(), QStringList{QStringLiteral("Column added.")});
        EXPECT_EQ(storedDefault(c.table, c.column), QStringLiteral("5"));
        EXPECT_EQ(filled, QStringLiteral("5"));
    }
}

TEST_P(HostileNames, SuchATableIsCreated)
{
    const HostileName& c = GetParam();
    frmNewTable d(t.ctx, login);
    d.show();
    d.txtName->setText(c.table);
    for (const QString& field : {c.column, QStringLiteral("id")})
        new QTreeWidgetItem(d.ListView1, QStringList{field, QStringLiteral("INT")});
    QTest::mouseClick(d.PushButton2, Qt::LeftButton);

    expectBystanderUntouched();
    if (!nameArrivesWhole()) {
        EXPECT_EQ(reportedLines(t.prompter, loc::NewTable_Save), std::vector<int>{128})
            << t.prompter.texts().join("|").toStdString();
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(d.txtName->text(), c.table);
        EXPECT_EQ(d.ListView1->topLevelItemCount(), 2);
        // Either no table of that name, or one made without the column asked for.
        if (db.hasTable(c.table))
            EXPECT_NE(db.columnNames(c.table), (QStringList{c.column, QStringLiteral("id")}));
        return;
    }
    EXPECT_TRUE(t.prompter.shown.empty()) << t.prompter.texts().join("|").toStdString();
    EXPECT_FALSE(d.isVisible());
    EXPECT_TRUE(db.hasTable(c.table));
    EXPECT_EQ(columnsRead(c.table), (QStringList{c.column, QStringLiteral("id")}));
    EXPECT_EQ(tableNames().size(), 2);
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileNames, ::testing::ValuesIn(kNames),
                         [](const auto& info) { return std::string(info.param.label); });

} // namespace
} // namespace tabulon::test
