#include "SchemaTestSupport.h"

#include "schema/NewColumnDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

namespace tabulon::test {
namespace {

void fill(frmNewColumn& d, const ColumnDefinition& c)
{
    d.txtName->setText(c.name);
    d.cboDataType->setCurrentIndex(d.cboDataType->findText(c.type));
    d.txtM->setText(c.m);
    d.txtD->setText(c.d);
    d.txtDefault->setText(c.defaultValue);
    d.chkAutoInc->setChecked(c.autoIncrement);
}

ColumnDefinition col(QString name, QString type, QString m = {}, QString d = {},
                     QString def = {}, bool autoInc = false)
{
    return ColumnDefinition{name, type, m, d, def, autoInc};
}

class NewColumnDialogTest : public SchemaWindowTest {
protected:
    void SetUp() override
    {
        db.exec("CREATE TABLE [Orders]([OrderId] INTEGER);");
        t.ctx.currentTable = QStringLiteral("Orders");
    }

    // The dialog as the table editor opens it, shown without a modal loop.
    std::unique_ptr<frmNewColumn> open(const QString& callingform = QStringLiteral("Form3"))
    {
        auto d = std::make_unique<frmNewColumn>(t.ctx, login);
        d->callingform = callingform;
        d->show();
        return d;
    }

    void add(frmNewColumn& d) { QTest::mouseClick(d.PushButton1, Qt::LeftButton); }
};

TEST_F(NewColumnDialogTest, OpensEmptyWithTheTypeListAndItsRowsInOrder)
{
    auto d = open();
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Add a New Column"));
    EXPECT_TRUE(t.prompter.shown.empty());
    EXPECT_TRUE(d->connected());

    QStringList items;
    for (int i = 0; i < d->cboDataType->count(); ++i)
        items << d->cboDataType->itemText(i);
    EXPECT_EQ(items, sqlTypeNames());
    EXPECT_FALSE(d->cboDataType->isEditable());
    EXPECT_EQ(d->cboDataType->currentText(), QStringLiteral("BIGINT"));
    for (QLineEdit* box : {d->txtName, d->txtM, d->txtD, d->txtDefault})
        EXPECT_TRUE(box->text().isEmpty()) << box->objectName().toStdString();
    EXPECT_FALSE(d->chkAutoInc->isChecked());
    EXPECT_EQ(d->chkAutoInc->text(), QStringLiteral("Auto Increment"));
    EXPECT_EQ(d->PushButton1->text(), QStringLiteral("Add"));

    // Each box has its label; M and D share a row, D to the right.
    const std::pair<const char*, QWidget*> labels[] = {{"Name:", d->txtName},
                                                       {"Data Type:", d->cboDataType},
                                                       {"M:", d->txtM},
                                                       {"D:", d->txtD},
                                                       {"Default:", d->txtDefault}};
    for (const auto& [text, buddy] : labels) {
        QLabel* found = nullptr;
        for (QLabel* l : d->findChildren<QLabel*>())
            if (l->text() == QLatin1String(text))
                found = l;
        ASSERT_NE(found, nullptr) << text;
        EXPECT_EQ(found->buddy(), buddy) << text;
    }
    EXPECT_EQ(d->txtM->y(), d->txtD->y());
    EXPECT_GT(d->txtD->x(), d->txtM->x() + d->txtM->width());
    EXPECT_LT(d->txtName->y(), d->cboDataType->y());
    EXPECT_LT(d->cboDataType->y(), d->txtM->y());
    EXPECT_LT(d->txtM->y(), d->txtDefault->y());
    EXPECT_LT(d->txtDefault->y(), d->chkAutoInc->y());
    EXPECT_LT(d->chkAutoInc->y(), d->PushButton1->y());

    // Tab order: name, type, M, D, default, auto increment, Add.
    const QList<QWidget*> order{d->txtName,    d->cboDataType, d->txtM,      d->txtD,
                                d->txtDefault, d->chkAutoInc,  d->PushButton1};
    for (int i = 0; i + 1 < order.size(); ++i) {
        QWidget* next = order[i]->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        EXPECT_EQ(next, order[i + 1]) << "after " << order[i]->objectName().toStdString();
    }
}

TEST_F(NewColumnDialogTest, EveryOpeningStartsAfreshAndTheEditorSetsItsCallingForm)
{
    int openings = 0;
    whenShown<frmNewColumn>([&](frmNewColumn* d) {
        ++openings;
        EXPECT_EQ(d->callingform, QStringLiteral("Form3"));
        EXPECT_TRUE(d->isModal());
        fill(*d, col("Scrap", "XML", "1", "2", "3", true));
        d->reject(); // the close box
    });
    Handler first(t.ctx, loc::Form3_AddColumn);
    runAddNewColumnDialog(first, t.ctx, login, nullptr);

    whenShown<frmNewColumn>([&](frmNewColumn* d) {
        ++openings;
        EXPECT_EQ(d->cboDataType->currentText(), QStringLiteral("BIGINT"));
        for (QLineEdit* box : {d->txtName, d->txtM, d->txtD, d->txtDefault})
            EXPECT_TRUE(box->text().isEmpty());
        EXPECT_FALSE(d->chkAutoInc->isChecked());
        d->reject();
    });
    Handler second(t.ctx, loc::Form3_AddColumn);
    runAddNewColumnDialog(second, t.ctx, login, nullptr);

    EXPECT_EQ(openings, 2);
    EXPECT_EQ(first.failures() + second.failures(), 0);
    EXPECT_TRUE(t.prompter.shown.empty());
    EXPECT_EQ(columnsOf(QStringLiteral("Orders")), QStringList{QStringLiteral("OrderId")});
}

// The editor's path: the column reaches the table, last, with the definition as typed.
struct TableCase {
    const char* label;
    ColumnDefinition input;
    QString storedColumn;  // SQLite: the definition as sent, spliced into the table's text
    QString cataloguedAs;  // T-SQL: the column as the catalogue describes it
};
void PrintTo(const TableCase& c, std::ostream* out) { *out << c.label; }

class AddToTable : public NewColumnDialogTest, public ::testing::WithParamInterface<TableCase> {};

TEST_P(AddToTable, ColumnIsAddedLastAndSuccessIsSaid)
{
    const TableCase& c = GetParam();
    int handlerFailures = -1;
    whenShown<frmNewColumn>([&](frmNewColumn* d) {
        fill(*d, c.input);
        add(*d);
        if (d->isVisible()) { // refused: the dialog waits for a correction
            ADD_FAILURE() << "the dialog stayed open";
            d->reject();
        }
    });
    Handler h(t.ctx, loc::Form3_AddColumn);
    runAddNewColumnDialog(h, t.ctx, login, nullptr);
    handlerFailures = h.failures();

    EXPECT_EQ(handlerFailures, 0);
    ASSERT_EQ(t.prompter.shown.size(), 1u) << t.prompter.texts().join("|").toStdString();
    EXPECT_EQ(t.prompter.shown[0].text, QStringLiteral("Column added."));
    EXPECT_EQ(t.prompter.shown[0].title, t.ctx.appTitle);
    EXPECT_EQ(t.prompter.shown[0].icon, MessageIcon::None);
    EXPECT_EQ(t.prompter.shown[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(columnsOf(QStringLiteral("Orders")),
              (QStringList{QStringLiteral("OrderId"), c.input.name}));
    EXPECT_EQ(storedDefinition(QStringLiteral("Orders")),
              db.isSqlite() ? QStringLiteral("CREATE TABLE [Orders]([OrderId] INTEGER, ") +
                                  c.storedColumn + QLatin1Char(')')
                            : QStringLiteral("[OrderId] int, ") + c.cataloguedAs);
}

INSTANTIATE_TEST_SUITE_P(
    Worked, AddToTable,
    ::testing::Values(TableCase{"qty_int", col("Qty", "INT"), "[Qty] INT", "[Qty] int"},
                      TableCase{"price_decimal", col("Price", "DECIMAL", "10", "2"),
                                "[Price] DECIMAL (10, 2)", "[Price] decimal(10,2)"},
                      TableCase{"code_varchar", col("Code", "VARCHAR", "20"), "[Code] VARCHAR (20)",
                                "[Code] varchar(20)"},
                      // precision and scale typed together in M, with or without a blank
                      TableCase{"precision_and_scale_in_m", col("Price", "DECIMAL", "10, 2"),
                                "[Price] DECIMAL (10, 2)", "[Price] decimal(10,2)"},
                      TableCase{"precision_and_scale_in_m_no_blank", col("Price", "DECIMAL", "10,2"),
                                "[Price] DECIMAL (10,2)", "[Price] decimal(10,2)"},
                      TableCase{"identity", col("Id", "INT", {}, {}, {}, true),
                                "[Id] INT IDENTITY(1,1) NOT NULL", // SQLite drops the closing blank
                                "[Id] int identity not null"},
                      TableCase{"leading_blank_kept", col(" Qty", "INT"), "[ Qty] INT", "[ Qty] int"},
                      // the server's own precision and scale for a bare NUMERIC
                      TableCase{"d_without_m_ignored", col("N", "NUMERIC", "", "2"), "[N] NUMERIC",
                                "[N] numeric(18,0)"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(NewColumnDialogTest, RefusedDefaultIsReportedAfterTheColumnAndSuccessIsStillTrue)
{
    // A default may not name a column; SQLite does not know ADD DEFAULT ... FOR at all.
    auto d = open();
    fill(*d, col("Qty", "INT", {}, {}, "OrderId"));
    add(*d);

    ASSERT_EQ(t.prompter.shown.size(), 2u);
    EXPECT_EQ(reportedLines(t.prompter, loc::NewColumn_Add), std::vector<int>{126});
    EXPECT_FALSE(reportedDescription(t.prompter.shown[0]).isEmpty());
    EXPECT_EQ(t.prompter.shown[1].text, QStringLiteral("Column added."));
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(columnsOf(QStringLiteral("Orders")),
              (QStringList{QStringLiteral("OrderId"), QStringLiteral("Qty")}));
    EXPECT_EQ(storedDefinition(QStringLiteral("Orders")),
              db.isSqlite() ? QStringLiteral("CREATE TABLE [Orders]([OrderId] INTEGER, [Qty] INT)")
                            : QStringLiteral("[OrderId] int, [Qty] int"));
}

// The default goes to the server as a second statement after the column: on a T-SQL server a
// default constraint that fills the column of every row inserted without it. SQLite refuses
// that statement, which is reported, and the column stays without a default.
struct DefaultCase {
    const char* label;
    ColumnDefinition input;
    QString kept;     // the default as the catalogue keeps it
    QString inserted; // what a row inserted without the column holds there
};
void PrintTo(const DefaultCase& c, std::ostream* out) { *out << c.label; }

class AddWithDefault : public NewColumnDialogTest, public ::testing::WithParamInterface<DefaultCase> {};

TEST_P(AddWithDefault, IsKeptByATsqlServerAndFillsNewRows)
{
    const DefaultCase& c = GetParam();
    db.exec("INSERT INTO [Orders]([OrderId]) VALUES (1);");
    auto d = open();
    fill(*d, c.input);
    add(*d);

    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(columnsOf(QStringLiteral("Orders")),
              (QStringList{QStringLiteral("OrderId"), c.input.name}));
    db.exec("INSERT INTO [Orders]([OrderId]) VALUES (2);");
    const QString inserted = db.value("SELECT " + bracketName(c.input.name).toStdString() +
                                      " FROM [Orders] WHERE [OrderId] = 2;");
    if (db.isSqlite()) {
        ASSERT_EQ(t.prompter.shown.size(), 2u) << t.prompter.texts().join("|").toStdString();
        EXPECT_EQ(reportedLines(t.prompter, loc::NewColumn_Add), std::vector<int>{126});
        EXPECT_EQ(t.prompter.shown[1].text, QStringLiteral("Column added."));
        EXPECT_TRUE(inserted.isNull());
        return;
    }
    EXPECT_EQ(t.prompter.texts(), QStringList{QStringLiteral("Column added.")});
    EXPECT_EQ(storedDefault(QStringLiteral("Orders"), c.input.name), c.kept);
    EXPECT_EQ(inserted, c.inserted);
}

INSTANTIATE_TEST_SUITE_P(
    Defaults, AddWithDefault,
    ::testing::Values(DefaultCase{"number", col("Qty", "INT", {}, {}, "7"), "7", "7"},
                      DefaultCase{"quoted_text", col("Note", "VARCHAR", "10", {}, "'n/a'"),
                                  "'n/a'", "n/a"},
                      DefaultCase{"decimal_typed_after_a_blank",
                                  col("Total", "DECIMAL", "10", "2", " 2.5"), "2.5", "2.50"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(NewColumnDialogTest, RefusedAddKeepsTheDialogAndEntriesAndSendsNoDefault)
{
    auto d = open();
    const ColumnDefinition typed = col("OrderId", "DECIMAL", "10", "2", "5", false);
    fill(*d, typed); // a name already in use
    add(*d);

    ASSERT_EQ(t.prompter.shown.size(), 1u) << t.prompter.texts().join("|").toStdString();
    EXPECT_EQ(reportedLines(t.prompter, loc::NewColumn_Add), std::vector<int>{120});
    // The server's own words, naming the column (Babelfish lower-cases it).
    const QString said = reportedDescription(t.prompter.shown[0]);
    EXPECT_TRUE(said.contains(QStringLiteral("OrderId"), Qt::CaseInsensitive)) << said.toStdString();
    if (db.isSqlite())
        EXPECT_TRUE(said.contains(QStringLiteral("duplicate column name"))) << said.toStdString();
    else // Babelfish, or SQL Server itself
        EXPECT_TRUE(said.contains(QStringLiteral("already exists")) ||
                    said.contains(QStringLiteral("more than once")))
            << said.toStdString();
    EXPECT_TRUE(d->isVisible());
    const ColumnDefinition kept = d->definition();
    EXPECT_EQ(kept.name, typed.name);
    EXPECT_EQ(kept.type, typed.type);
    EXPECT_EQ(kept.m, typed.m);
    EXPECT_EQ(kept.d, typed.d);
    EXPECT_EQ(kept.defaultValue, typed.defaultValue);
    EXPECT_EQ(d->pointer().pointer(), Pointer::Default);
    EXPECT_EQ(columnsOf(QStringLiteral("Orders")), QStringList{QStringLiteral("OrderId")});

    // Corrected, the same dialog adds the column.
    t.prompter.clear();
    d->txtName->setText(QStringLiteral("Amount"));
    d->txtDefault->clear();
    add(*d);
    EXPECT_EQ(t.prompter.texts(), QStringList{QStringLiteral("Column added.")});
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(columnsOf(QStringLiteral("Orders")),
              (QStringList{QStringLiteral("OrderId"), QStringLiteral("Amount")}));
}

TEST_F(NewColumnDialogTest, WithoutAConnectionTheLoadAndTheAddAreReportedAndNothingIsClaimed)
{
    for (const bool local : {true, false}) {
        SCOPED_TRACE(local ? "local" : "with port");
        t.prompter.clear();
        login.fields = unreachable(local);
        auto d = open();
        EXPECT_FALSE(d->connected());
        EXPECT_EQ(reportedLines(t.prompter, loc::NewColumn_Load), std::vector<int>{local ? 116 : 118});
        EXPECT_EQ(d->pointer().pointer(), Pointer::Default);
        EXPECT_EQ(d->cboDataType->currentText(), QStringLiteral("BIGINT"));

        t.prompter.clear();
        fill(*d, col("Qty", "INT", {}, {}, "0"));
        add(*d);
        ASSERT_EQ(t.prompter.shown.size(), 1u);
        EXPECT_EQ(reportedLines(t.prompter, loc::NewColumn_Add), std::vector<int>{120});
        EXPECT_EQ(reportedDescription(t.prompter.shown[0]), closedConnectionText());
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(d->txtName->text(), QStringLiteral("Qty"));
    }
}

TEST_F(NewColumnDialogTest, ABlankNameDoesNothingOnEitherPath)
{
    QTreeWidget list;
    for (const QString& caller : {QStringLiteral("Form3"), QStringLiteral("frmNewTable")}) {
        auto d = open(caller);
        d->fieldList = &list;
        fill(*d, col("   ", "INT", "10", {}, "0", true));
        add(*d);
        EXPECT_TRUE(d->isVisible()) << caller.toStdString();
    }
    EXPECT_TRUE(t.prompter.shown.empty());
    EXPECT_EQ(list.topLevelItemCount(), 0);
    EXPECT_EQ(columnsOf(QStringLiteral("Orders")), QStringList{QStringLiteral("OrderId")});
}

TEST_F(NewColumnDialogTest, AnyOtherCallingFormJustCloses)
{
    QTreeWidget list;
    for (const QString& caller : {QString(), QStringLiteral("form3"), QStringLiteral("FRMNEWTABLE"),
                                  QStringLiteral("Form2"), QStringLiteral("Form3 ")}) {
        auto d = open(caller);
        d->fieldList = &list;
        fill(*d, col("Qty", "INT", {}, {}, "0"));
        add(*d);
        EXPECT_FALSE(d->isVisible()) << caller.toStdString();
    }
    EXPECT_TRUE(t.prompter.shown.empty());
    EXPECT_EQ(list.topLevelItemCount(), 0);
    EXPECT_EQ(columnsOf(QStringLiteral("Orders")), QStringList{QStringLiteral("OrderId")});
}

TEST_F(NewColumnDialogTest, HourglassIsUpWhileTheStatementRuns)
{
    // The refusal's report is shown while the statement is still "running".
    auto d = open();
    std::vector<Pointer> seen;
    t.prompter.onShow = [&](const Message&) { seen.push_back(d->pointer().pointer()); };
    fill(*d, col("OrderId", "INT"));
    add(*d);
    EXPECT_EQ(seen, std::vector<Pointer>{Pointer::Hourglass});
    EXPECT_EQ(d->pointer().pointer(), Pointer::Default);
}

} // namespace
} // namespace tabulon::test
