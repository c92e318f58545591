#include "NewColumnDialog.h"
#include "DialogLook.h"
#include "NewTableDialog.h"
#include "SchemaCheck.h"

#include "app/AppContext.h"
#include "app/ErrorReport.h"
#include "app/WindowConventions.h"
#include "connection/ConnectionString.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tabulon {

QString closedConnectionText()
{
    return QStringLiteral("Operation is not allowed when the object is closed.");
}

frmNewColumn::frmNewColumn(const AppContext& ctx, const LoginSource& login, QWidget* parent)
    : QDialog(parent), ctx_(ctx), login_(login)
{
    setObjectName(QStringLiteral("frmNewColumn"));
    buildControls();
    pointer_ = new PointerController(this);
    formLoad();
}

frmNewColumn::~frmNewColumn() = default;

void frmNewColumn::buildControls()
{
    setWindowTitle(QStringLiteral("Add a New Column"));
    // A fixed-size dialog: a title and a close box, nothing to maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    applyDialogFont(this);

    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QLatin1String(name));
        return w;
    };
    auto label = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };

    txtName = new QLineEdit(this);
    named(txtName, "txtName");
    cboDataType = new QComboBox(this);
    named(cboDataType, "cboDataType");
    cboDataType->addItems(sqlTypeNames());
    cboDataType->setEditable(false);
    cboDataType->setMaxVisibleItems(14);
    txtM = new QLineEdit(this);
    named(txtM, "txtM");
    txtD = new QLineEdit(this);
    named(txtD, "txtD");
    txtDefault = new QLineEdit(this);
    named(txtDefault, "txtDefault");
    chkAutoInc = new QCheckBox(QStringLiteral("Auto Increment"), this);
    named(chkAutoInc, "chkAutoInc");
    PushButton1 = new QPushButton(QStringLiteral("Add"), this);
    named(PushButton1, "PushButton1");
    PushButton1->setDefault(true);

    const int fieldWidth = fontMetrics().horizontalAdvance(QStringLiteral("UNIQUEIDENTIFIER")) + 60;
    txtName->setMinimumWidth(fieldWidth);
    const int sizeWidth = fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16;
    txtM->setFixedWidth(sizeWidth);
    txtD->setFixedWidth(sizeWidth);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    grid->addWidget(label(QStringLiteral("Name:"), txtName), 0, 0);
    grid->addWidget(txtName, 0, 1);
    grid->addWidget(label(QStringLiteral("Data Type:"), cboDataType), 1, 0);
    grid->addWidget(cboDataType, 1, 1);
    auto* sizes = new QHBoxLayout;
    sizes->setSpacing(8);
    sizes->addWidget(txtM);
    sizes->addSpacing(8);
    sizes->addWidget(label(QStringLiteral("D:"), txtD));
    sizes->addWidget(txtD);
    sizes->addStretch(1);
    grid->addWidget(label(QStringLiteral("M:"), txtM), 2, 0);
    grid->addLayout(sizes, 2, 1);
    grid->addWidget(label(QStringLiteral("Default:"), txtDefault), 3, 0);
    grid->addWidget(txtDefault, 3, 1);
    grid->addWidget(chkAutoInc, 4, 1);
    grid->setColumnStretch(1, 1);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(14, 14, 14, 14);
    outer->setSpacing(14);
    outer->addLayout(grid);
    outer->addWidget(PushButton1);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(txtName, cboDataType);
    setTabOrder(cboDataType, txtM);
    setTabOrder(txtM, txtD);
    setTabOrder(txtD, txtDefault);
    setTabOrder(txtDefault, chkAutoInc);
    setTabOrder(chkAutoInc, PushButton1);
    txtName->setFocus();

    connect(PushButton1, &QPushButton::clicked, this, [this] { addClicked(); });
}

void frmNewColumn::formLoad()
{
    Handler h(ctx_, loc::NewColumn_Load);
    runLoadPrologue(h, ctx_, this, *pointer_);
    h.step(108, [&] { cboDataType->setCurrentIndex(0); });
    h.step(110, [&] { pointer_->set(Pointer::Hourglass); });
    h.step(112, [&] { connection_.reset(); });
    LoginFields fields;
    if (h.when(114, [&] {
            fields = login_.loginFields();
            return fields.local;
        })) {
        h.step(116, [&] { connection_ = odbc::Connection::open(connectionStringUtf8(fields)); });
    } else {
        h.step(118, [&] { connection_ = odbc::Connection::open(connectionStringUtf8(fields)); });
    }
    h.step(120, [&] { pointer_->set(Pointer::Default); });
}

ColumnDefinition frmNewColumn::definition() const
{
    return ColumnDefinition{txtName->text(),    cboDataType->currentText(),
                            txtM->text(),       txtD->text(),
                            txtDefault->text(), chkAutoInc->isChecked()};
}

odbc::Connection& frmNewColumn::openConnection()
{
    if (!connection_)
        throw AppError(closedConnectionText());
    return *connection_;
}

void frmNewColumn::addClicked()
{
    Handler h(ctx_, loc::NewColumn_Add);
    const ColumnDefinition column = definition();
    if (h.when(100, [&] { return isBlank(column.name); }))
        return;
    // Sizes and the default go into the statement as typed: refuse what would end it early,
    // and keep the entries for correcting.
    if (const QString problem = definitionProblem(column); !problem.isEmpty()) {
        ctx_.prompter.show({problem, ctx_.appTitle, MessageIcon::Warning, MessageButtons::Ok});
        return;
    }
    if (h.when(102, [&] { return callingform == QLatin1String("Form3"); })) {
        addToTable(h, column);
        return;
    }
    if (h.when(132, [&] { return callingform == QLatin1String("frmNewTable"); }))
        addToDesigner(h, column);
    h.step(150, [&] { accept(); });
}

void frmNewColumn::addToTable(Handler& h, const ColumnDefinition& column)
{
    const QString table = ctx_.currentTable;
    QString statement;
    h.step(104, [&] { statement = addColumnStatement(table, column); });
    h.step(118, [&] { pointer_->set(Pointer::Hourglass); });
    const bool added =
        h.step(120, [&] {
            openConnection().execute(statement.toStdString());
            ensureColumnExists(openConnection(), table, column.name);
        });
    if (!added) {
        // The column is not there: no default for it, no success to announce, and the
        // entries stay for the user to correct.
        h.step(128, [&] { pointer_->set(Pointer::Default); });
        return;
    }
    if (h.when(122, [&] { return hasDefault(column); })) {
        QString defaultStatement;
        h.step(124, [&] {
            defaultStatement = addDefaultStatement(table, column.name, column.defaultValue);
        });
        h.step(126, [&] { openConnection().execute(defaultStatement.toStdString()); });
    }
    h.step(128, [&] { pointer_->set(Pointer::Default); });
    h.step(130, [&] { ctx_.say(QStringLiteral("Column added.")); });
    h.step(150, [&] { accept(); });
}

void frmNewColumn::addToDesigner(Handler& h, const ColumnDefinition& column)
{
    const FieldRow row = fieldRow(column);
    QTreeWidgetItem* item = nullptr;
    h.step(134, [&] {
        if (!fieldList)
            throw AppError(QStringLiteral("The field list of the table designer is not open."));
        item = new QTreeWidgetItem(fieldList, QStringList{row.fieldName});
    });
    auto setSubItem = [&](int line, int position, const QString& text) {
        h.step(line, [&] {
            if (!item)
                throw AppError(QStringLiteral("The field row was not added."));
            item->setText(position, text);
        });
    };
    setSubItem(136, 1, row.dataType);
    if (!row.precision.isEmpty())
        setSubItem(140, 2, row.precision);
    if (column.autoIncrement)
        setSubItem(148, 3, row.autoincrement);
    // The default has no column of the list: it rides with the row and shows as its tip.
    if (!isBlank(row.defaultValue)) {
        h.step(149, [&] {
            if (!item)
                throw AppError(QStringLiteral("The field row was not added."));
            setFieldRowDefault(item, row.defaultValue);
        });
    }
}

void runAddNewColumnDialog(Handler& handler, const AppContext& ctx, const LoginSource& login,
                           QWidget* parent)
{
    std::unique_ptr<frmNewColumn> dialog;
    handler.step(104, [&] {
        dialog = std::make_unique<frmNewColumn>(ctx, login, parent);
        dialog->callingform = QStringLiteral("Form3");
    });
    handler.step(106, [&] {
        if (!dialog)
            throw AppError(QStringLiteral("The column dialog could not be opened."));
        dialog->exec();
    });
}

} // namespace tabulon
