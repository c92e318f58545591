#include "SchemaTestSupport.h"

#include "schema/NewColumnDialog.h"
#include "schema/NewTableDialog.h"
#include "tables/TableCatalogue.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

namespace tabulon::test {
namespace {

ColumnDefinition col(QString name, QString type, QString m = {}, QString d = {},
                     QString def = {}, bool autoInc = false)
{
    return ColumnDefinition{name, type, m, d, def, autoInc};
}

const QString kIdentity = QStringLiteral(" IDENTITY(1,1) NOT NULL ");

class NewTableDialogTest : public SchemaWindowTest {
protected:
    std::unique_ptr<frmNewTable> open()
    {
        auto d = std::make_unique<frmNewTable>(t.ctx, login);
        d->show();
        return d;
    }

    // "Add" in the designer, then the column dialog filled and its "Add" pressed.
    void addField(frmNewTable& designer, const ColumnDefinition& c)
    {
        bool opened = false;
        whenShown<frmNewColumn>([&](frmNewColumn* d) {
            opened = true;
            EXPECT_EQ(d->callingform, QStringLiteral("frmNewTable"));
            EXPECT_TRUE(d->isModal());
            d->txtName->setText(c.name);
            d->cboDataType->setCurrentIndex(d->cboDataType->findText(c.type));
            d->txtM->setText(c.m);
            d->txtD->setText(c.d);
            d->txtDefault->setText(c.defaultValue);
            d->chkAutoInc->setChecked(c.autoIncrement);
            QTest::mouseClick(d->PushButton1, Qt::LeftButton);
        });
        QTest::mouseClick(designer.PushButton4, Qt::LeftButton);
        EXPECT_TRUE(opened);
    }

    void addWorkedRows(frmNewTable& designer)
    {
        addField(designer, col("Id", "INT", {}, {}, {}, true));
        addField(designer, col("Name", "VARCHAR", "50"));
        addField(designer, col("Price", "DECIMAL", "10", "2"));
    }

    void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    // A click on the row, as the user picks it.
    void selectRow(frmNewTable& designer, int row)
    {
        QTreeWidgetItem* item = designer.ListView1->topLevelItem(row);
        const QRect rect = designer.ListView1->visualItemRect(item);
        QTest::mouseClick(designer.ListView1->viewport(), Qt::LeftButton, {}, rect.center());
        ASSERT_EQ(designer.ListView1->selectedItems(), QList<QTreeWidgetItem*>{item});
    }

    static QList<FieldRow> workedRows()
    {
        return {{"Id", "INT", "", kIdentity}, {"Name", "VARCHAR", "(50)", ""},
                {"Price", "DECIMAL", "(10, 2)", ""}};
    }
};

TEST_F(NewTableDialogTest, OpensEmptyWithItsFramesAndFourColumns)
{
    auto d = open();
    EXPECT_TRUE(t.prompter.shown.empty());
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Add New Table"));
    EXPECT_EQ(d->Frame2->title(), QStringLiteral("Table Name"));
    EXPECT_EQ(d->Frame1->title(), QStringLiteral("Field(s)"));
    EXPECT_EQ(d->txtName->parentWidget(), d->Frame2);
    EXPECT_TRUE(d->Frame1->isAncestorOf(d->ListView1));
    EXPECT_TRUE(d->Frame1->isAncestorOf(d->PushButton4));
    EXPECT_TRUE(d->Frame1->isAncestorOf(d->PushButton1));
    EXPECT_EQ(d->PushButton4->text(), QStringLiteral("Add"));
    EXPECT_EQ(d->PushButton1->text(), QStringLiteral("Delete Selected"));
    EXPECT_EQ(d->PushButton2->text(), QStringLiteral("Save"));
    EXPECT_EQ(d->PushButton3->text(), QStringLiteral("Cancel"));
    EXPECT_TRUE(d->txtName->text().isEmpty());
    EXPECT_EQ(d->ListView1->topLevelItemCount(), 0);

    ASSERT_EQ(d->ListView1->columnCount(), 4);
    EXPECT_EQ(d->ListView1->header()->defaultAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    const QStringList headers{"Field Name", "Data Type", "Precision", "Autoincrement"};
    const int widths[] = {100, 100, 67, 100};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(d->ListView1->headerItem()->text(i), headers[i]);
        if (i < 3)
            EXPECT_EQ(d->ListView1->columnWidth(i), widths[i]) << i;
        else // the last column takes whatever room the list has left, never less
            EXPECT_GE(d->ListView1->columnWidth(i), widths[i]);
    }

    // Add and Delete Selected side by side under the list; Save and Cancel along the bottom.
    EXPECT_EQ(d->PushButton4->y(), d->PushButton1->y());
    EXPECT_LT(d->PushButton4->x(), d->PushButton1->x());
    EXPECT_EQ(d->PushButton2->y(), d->PushButton3->y());
    EXPECT_LT(d->PushButton2->x(), d->PushButton3->x());
    EXPECT_LT(d->Frame2->y(), d->Frame1->y());
    EXPECT_LT(d->Frame1->geometry().bottom(), d->PushButton2->y());
}

// Field rows as the column dialog writes them into the designer's list.
struct RowCase {
    const char* label;
    ColumnDefinition input;
    FieldRow row;
};
void PrintTo(const RowCase& c, std::ostream* out) { *out << c.label; }

class DesignerRows : public NewTableDialogTest, public ::testing::WithParamInterface<RowCase> {};

TEST_P(DesignerRows, TheColumnDialogAppendsTheRowAndSendsNothing)
{
    db.exec("CREATE TABLE [Orders]([OrderId] INTEGER);");
    t.ctx.currentTable = QStringLiteral("Orders"); // as if an editor were open
    auto d = open();
    addField(*d, col("First", "BIT"));
    addField(*d, GetParam().input);

    ASSERT_EQ(d->ListView1->topLevelItemCount(), 2);
    EXPECT_EQ(d->rows().last(), GetParam().row);
    EXPECT_TRUE(t.prompter.shown.empty()) << t.prompter.texts().join("|").toStdString();
    EXPECT_EQ(columnsOf(QStringLiteral("Orders")), QStringList{QStringLiteral("OrderId")});
    EXPECT_TRUE(d->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    WorkedAndEdges, DesignerRows,
    ::testing::Values(
        RowCase{"qty_int", col("Qty", "INT"), {"Qty", "INT", "", ""}},
        RowCase{"price_decimal", col("Price", "DECIMAL", "10", "2"), {"Price", "DECIMAL", "(10, 2)", ""}},
        RowCase{"code_varchar", col("Code", "VARCHAR", "20"), {"Code", "VARCHAR", "(20)", ""}},
        RowCase{"id_identity", col("Id", "INT", {}, {}, {}, true), {"Id", "INT", "", kIdentity}},
        RowCase{"default_kept_with_the_row", col("Qty", "INT", {}, {}, "0"), {"Qty", "INT", "", "", "0"}},
        RowCase{"default_of_blanks_not_carried", col("Qty", "INT", {}, {}, "  "), {"Qty", "INT", "", ""}},
        RowCase{"leading_blank_kept", col(" Qty", "INT"), {" Qty", "INT", "", ""}},
        RowCase{"d_of_blanks", col("Qty", "DECIMAL", "10", "  "), {"Qty", "DECIMAL", "(10)", ""}},
        RowCase{"blanks_around_numbers", col("P", "NUMERIC", " 10", "2 "), {"P", "NUMERIC", "( 10, 2 )", ""}},
        RowCase{"identity_on_xml", col("X", "XML", {}, {}, {}, true), {"X", "XML", "", kIdentity}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(NewTableDialogTest, WorkedExampleCreatesTheTableAndTheChooserListsIt)
{
    auto d = open();
    d->txtName->setText(QStringLiteral("Orders"));
    addWorkedRows(*d);
    EXPECT_EQ(d->rows(), workedRows());
    click(d->PushButton2);

    EXPECT_TRUE(t.prompter.shown.empty()) << t.prompter.texts().join("|").toStdString();
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(storedDefinition(QStringLiteral("Orders")),
              db.isSqlite() ? QStringLiteral("CREATE TABLE [Orders]([Id] INT   IDENTITY(1,1) NOT NULL ,"
                                             "[Name] VARCHAR (50) ,[Price] DECIMAL (10, 2) )")
                            : QStringLiteral("[Id] int identity not null, [Name] varchar(50), "
                                             "[Price] decimal(10,2)"));
    EXPECT_EQ(columnsOf(QStringLiteral("Orders")), (QStringList{"Id", "Name", "Price"}));

    // The chooser shows the name as the catalogue gives it: Babelfish lists it lower-cased.
    QListWidget chooserList;
    FillTableList(login, &chooserList);
    const Qt::MatchFlags sameName =
        db.isSqlite() ? Qt::MatchFlags(Qt::MatchExactly | Qt::MatchCaseSensitive) : Qt::MatchFixedString;
    EXPECT_EQ(chooserList.findItems(QStringLiteral("Orders"), sameName).size(), 1);
}

// A default typed in the column dialog goes into the table's definition: the server keeps
// it, and a row inserted without the column gets it.
TEST_F(NewTableDialogTest, TypedDefaultsAreKeptAndFillNewRows)
{
    auto d = open();
    d->txtName->setText(QStringLiteral("Orders"));
    addField(*d, col("Id", "INT"));
    addField(*d, col("Qty", "INT", {}, {}, "1"));
    addField(*d, col("Note", "VARCHAR", "10", {}, "'n/a'"));
    addField(*d, col("Price", "DECIMAL", "10, 2", {}, "2.5"));
    addField(*d, col("Plain", "INT", {}, {}, "   "));
    ASSERT_EQ(d->ListView1->topLevelItemCount(), 5);
    // Four columns still; the default shows as the row's tip.
    EXPECT_EQ(d->ListView1->columnCount(), 4);
    EXPECT_EQ(d->ListView1->topLevelItem(1)->toolTip(0), QStringLiteral("Default: 1"));
    EXPECT_TRUE(d->ListView1->topLevelItem(0)->toolTip(0).isEmpty());
    click(d->PushButton2);

    EXPECT_TRUE(t.prompter.shown.empty()) << t.prompter.texts().join("|").toStdString();
    EXPECT_FALSE(d->isVisible());
    if (db.isSqlite()) {
        EXPECT_EQ(storedDefinition(QStringLiteral("Orders")),
                  QStringLiteral("CREATE TABLE [Orders]([Id] INT  ,[Qty] INT   DEFAULT 1,"
                                 "[Note] VARCHAR (10)  DEFAULT 'n/a',"
                                 "[Price] DECIMAL (10, 2)  DEFAULT 2.5,[Plain] INT  )"));
    } else {
        EXPECT_EQ(storedDefault(QStringLiteral("Orders"), QStringLiteral("Qty")), QStringLiteral("1"));
        EXPECT_EQ(storedDefault(QStringLiteral("Orders"), QStringLiteral("Note")), QStringLiteral("'n/a'"));
        EXPECT_EQ(storedDefault(QStringLiteral("Orders"), QStringLiteral("Price")), QStringLiteral("2.5"));
        EXPECT_TRUE(storedDefault(QStringLiteral("Orders"), QStringLiteral("Plain")).isNull());
    }
    db.exec("INSERT INTO [Orders]([Id]) VALUES (7);");
    const std::vector<QStringList> got =
        db.rows("SELECT [Qty], [Note], [Price], [Plain] FROM [Orders] WHERE [Id] = 7;");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].mid(0, 2), (QStringList{QStringLiteral("1"), QStringLiteral("n/a")}));
    EXPECT_DOUBLE_EQ(got[0][2].toDouble(), 2.5);
    EXPECT_TRUE(got[0][3].isNull());
}

// On the designer's path too, a default that would end its column's definition or the statement
// early is refused in the column dialog, which keeps the entries and adds no row.
TEST_F(NewTableDialogTest, ADefaultThatWouldLeaveItsColumnIsRefusedAndAddsNoRow)
{
    auto designer = open();
    for (const char* typed : {"0; DROP TABLE x", "1, [Extra] INT", "1) DROP TABLE x SELECT (1",
                              "0 -- note", "(1"}) {
        SCOPED_TRACE(typed);
        t.prompter.clear();
        frmNewColumn dialog(t.ctx, login);
        dialog.callingform = QStringLiteral("frmNewTable");
        dialog.fieldList = designer->ListView1;
        dialog.show();
        dialog.txtName->setText(QStringLiteral("Qty"));
        dialog.cboDataType->setCurrentIndex(dialog.cboDataType->findText(QStringLiteral("INT")));
        dialog.txtDefault->setText(QString::fromUtf8(typed));
        click(dialog.PushButton1);

        ASSERT_EQ(t.prompter.shown.size(), 1u);
        EXPECT_EQ(t.prompter.shown[0].icon, MessageIcon::Warning);
        EXPECT_TRUE(t.prompter.shown[0].text.startsWith(QStringLiteral("The default must be")))
            << t.prompter.shown[0].text.toStdString();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.txtDefault->text(), QString::fromUtf8(typed));
        EXPECT_EQ(designer->ListView1->topLevelItemCount(), 0);
    }
}

// Save checks each row's default again before it builds the statement, whatever put it there.
TEST_F(NewTableDialogTest, SaveRefusesARowWhoseDefaultWouldEndTheStatement)
{
    auto d = open();
    d->txtName->setText(QStringLiteral("Orders"));
    addField(*d, col("Qty", "INT", {}, {}, "1"));
    setFieldRowDefault(d->ListView1->topLevelItem(0), QStringLiteral("1) DROP TABLE x SELECT (1"));
    const QList<FieldRow> before = d->rows();
    click(d->PushButton2);

    ASSERT_EQ(t.prompter.shown.size(), 1u);
    EXPECT_EQ(t.prompter.shown[0].icon, MessageIcon::Warning);
    EXPECT_TRUE(t.prompter.shown[0].text.startsWith(QStringLiteral("Field \"Qty\": The default")))
        << t.prompter.shown[0].text.toStdString();
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->rows(), before);
    EXPECT_TRUE(tableNames().isEmpty());
}

struct RefusalCase {
    const char* label;
    const char* setup;
    QList<ColumnDefinition> fields;
};
void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.label; }

class RefusedCreate : public NewTableDialogTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusedCreate, IsReportedAt128AndTheDesignerKeepsNameAndRows)
{
    if (*GetParam().setup)
        db.exec(GetParam().setup);
    auto d = open();
    d->txtName->setText(QStringLiteral("Orders"));
    for (const ColumnDefinition& c : GetParam().fields)
        addField(*d, c);
    const QList<FieldRow> before = d->rows();
    click(d->PushButton2);

    ASSERT_EQ(t.prompter.shown.size(), 1u) << t.prompter.texts().join("|").toStdString();
    EXPECT_EQ(reportedLines(t.prompter, loc::NewTable_Save), std::vector<int>{128});
    EXPECT_FALSE(reportedDescription(t.prompter.shown[0]).isEmpty());
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->txtName->text(), QStringLiteral("Orders"));
    EXPECT_EQ(d->rows(), before);
    EXPECT_EQ(d->pointer().pointer(), Pointer::Default);

    // Mended, the same definitions create the table.
    t.prompter.clear();
    d->txtName->setText(QStringLiteral("Orders2"));
    while (d->ListView1->topLevelItemCount() > 1) {
        selectRow(*d, 1);
        click(d->PushButton1);
    }
    click(d->PushButton2);
    EXPECT_TRUE(t.prompter.shown.empty()) << t.prompter.texts().join("|").toStdString();
    EXPECT_FALSE(d->isVisible());
    EXPECT_TRUE(db.hasTable(QStringLiteral("Orders2")));
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, RefusedCreate,
    ::testing::Values(
        RefusalCase{"table_exists", "CREATE TABLE [Orders]([X] INTEGER);",
                    {col("Id", "INT"), col("Name", "VARCHAR", "50")}},
        RefusalCase{"duplicate_field_names", "",
                    {col("Id", "INT"), col("Id", "VARCHAR", "5")}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(NewTableDialogTest, WithoutAConnectionSaveReportsOpenSendAndCloseAndKeepsRows)
{
    for (const bool local : {true, false}) {
        SCOPED_TRACE(local ? "local" : "with port");
        login.fields = db.login();
        auto d = open();
        d->txtName->setText(QStringLiteral("Orders"));
        addField(*d, col("Id", "INT"));
        t.prompter.clear();

        login.fields = unreachable(local); // read afresh when Save opens its connection
        click(d->PushButton2);
        EXPECT_EQ(reportedLines(t.prompter, loc::NewTable_Save),
                  (std::vector<int>{local ? 122 : 124, 128, 130}));
        EXPECT_EQ(t.prompter.errors().size(), t.prompter.shown.size());
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(d->rows(), (QList<FieldRow>{{"Id", "INT", "", ""}}));
    }
    EXPECT_FALSE(db.hasTable(QStringLiteral("Orders")));
}

TEST_F(NewTableDialogTest, RemovedMiddleRowIsAbsentFromTheStatement)
{
    auto d = open();
    d->txtName->setText(QStringLiteral("T"));
    addField(*d, col("A", "INT"));
    addField(*d, col("B", "VARCHAR", "5"));
    addField(*d, col("C", "BIT"));
    selectRow(*d, 1);
    click(d->PushButton1);
    EXPECT_EQ(d->rows(), (QList<FieldRow>{{"A", "INT", "", ""}, {"C", "BIT", "", ""}}));

    click(d->PushButton2);
    EXPECT_TRUE(t.prompter.shown.empty()) << t.prompter.texts().join("|").toStdString();
    EXPECT_EQ(storedDefinition(QStringLiteral("T")),
              db.isSqlite() ? QStringLiteral("CREATE TABLE [T]([A] INT  ,[C] BIT  )")
                            : QStringLiteral("[A] int, [C] bit"));
}

TEST_F(NewTableDialogTest, AnAddedRowIsTheSelectedOne)
{
    auto d = open();
    addField(*d, col("A", "INT"));
    addField(*d, col("B", "INT"));
    click(d->PushButton1);
    EXPECT_EQ(d->rows(), (QList<FieldRow>{{"A", "INT", "", ""}}));
    EXPECT_TRUE(t.prompter.shown.empty());
}

TEST_F(NewTableDialogTest, DeleteSelectedWithNoneSelectedIsReportedAt104)
{
    auto d = open();
    addField(*d, col("A", "INT"));
    addField(*d, col("B", "INT"));
    d->ListView1->clearSelection();
    const QList<FieldRow> before = d->rows();
    click(d->PushButton1);

    ASSERT_EQ(t.prompter.shown.size(), 1u);
    EXPECT_EQ(reportedLines(t.prompter, loc::NewTable_Delete), std::vector<int>{104});
    EXPECT_EQ(reportedDescription(t.prompter.shown[0]), QStringLiteral("No field row is selected."));
    EXPECT_EQ(d->rows(), before);
}

TEST_F(NewTableDialogTest, DeleteSelectedDoesNothingUnderTheHourglassOrOnAnEmptyList)
{
    auto d = open();
    click(d->PushButton1); // empty list: nothing to remove, nothing to report
    addField(*d, col("A", "INT"));
    selectRow(*d, 0);
    d->pointer().set(Pointer::Hourglass);
    click(d->PushButton1);
    d->pointer().set(Pointer::Default);
    EXPECT_EQ(d->ListView1->topLevelItemCount(), 1);
    EXPECT_TRUE(t.prompter.shown.empty());
}

TEST_F(NewTableDialogTest, SaveDoesNothingWithoutANameOrWithoutRows)
{
    auto d = open();
    addField(*d, col("A", "INT"));
    click(d->PushButton2); // no name
    d->txtName->setText(QStringLiteral("T"));
    selectRow(*d, 0);
    click(d->PushButton1); // the list is empty again
    click(d->PushButton2);

    EXPECT_TRUE(t.prompter.shown.empty()) << t.prompter.texts().join("|").toStdString();
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->txtName->text(), QStringLiteral("T"));
    EXPECT_TRUE(tableNames().isEmpty());
}

TEST_F(NewTableDialogTest, ANameOfBlanksIsSentInsideTheBrackets)
{
    auto d = open();
    d->txtName->setText(QStringLiteral("  "));
    addField(*d, col("A", "INT"));
    click(d->PushButton2);
    EXPECT_TRUE(t.prompter.shown.empty()) << t.prompter.texts().join("|").toStdString();
    EXPECT_EQ(tableNames(), QStringList{QStringLiteral("  ")});
    EXPECT_EQ(storedDefinition(QStringLiteral("  ")),
              db.isSqlite() ? QStringLiteral("CREATE TABLE [  ]([A] INT  )") : QStringLiteral("[A] int"));
}

TEST_F(NewTableDialogTest, CancelDiscardsWithoutAQuestionAndTheNextOpeningIsEmpty)
{
    int openings = 0;
    whenShown<frmNewTable>([&](frmNewTable* d) {
        ++openings;
        EXPECT_TRUE(d->isModal());
        d->txtName->setText(QStringLiteral("Draft"));
        addField(*d, col("A", "INT"));
        EXPECT_EQ(d->ListView1->topLevelItemCount(), 1);
        click(d->PushButton3);
    });
    Handler first(t.ctx, loc::Form2_CreateTable);
    runCreateTableDialog(first, t.ctx, login, nullptr);

    whenShown<frmNewTable>([&](frmNewTable* d) {
        ++openings;
        EXPECT_TRUE(d->txtName->text().isEmpty());
        EXPECT_EQ(d->ListView1->topLevelItemCount(), 0);
        d->reject(); // the close box
    });
    Handler second(t.ctx, loc::Form2_CreateTable);
    runCreateTableDialog(second, t.ctx, login, nullptr);

    EXPECT_EQ(openings, 2);
    EXPECT_EQ(first.failures() + second.failures(), 0);
    EXPECT_TRUE(t.prompter.shown.empty()) << t.prompter.texts().join("|").toStdString();
    EXPECT_TRUE(tableNames().isEmpty());
}

} // namespace
} // namespace tabulon::test
