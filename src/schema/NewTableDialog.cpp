#include "NewTableDialog.h"
#include "DialogLook.h"
#include "NewColumnDialog.h"
#include "SchemaCheck.h"

#include "app/AppContext.h"
#include "app/ErrorReport.h"
#include "app/WindowConventions.h"
#include "connection/ConnectionString.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tabulon {

int twipsToPixels(int twips) { return qRound(twips / 15.0); }

namespace {
constexpr int kDefaultRole = Qt::UserRole + 1;
}

void setFieldRowDefault(QTreeWidgetItem* item, const QString& defaultValue)
{
    item->setData(0, kDefaultRole, defaultValue);
    const QString tip = isBlank(defaultValue) ? QString() : QStringLiteral("Default: ") + defaultValue;
    for (int column = 0; column < 4; ++column)
        item->setToolTip(column, tip);
}

QString fieldRowDefault(const QTreeWidgetItem* item)
{
    return item->data(0, kDefaultRole).toString();
}

frmNewTable::frmNewTable(const AppContext& ctx, const LoginSource& login, QWidget* parent)
    : QDialog(parent), ctx_(ctx), login_(login)
{
    setObjectName(QStringLiteral("frmNewTable"));
    buildControls();
    pointer_ = new PointerController(this);
    formLoad();
}

frmNewTable::~frmNewTable() = default;

void frmNewTable::buildControls()
{
    setWindowTitle(QStringLiteral("Add New Table"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    applyDialogFont(this);

    Frame2 = new QGroupBox(QStringLiteral("Table Name"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    txtName = new QLineEdit(Frame2);
    txtName->setObjectName(QStringLiteral("txtName"));
    auto* nameLayout = new QVBoxLayout(Frame2);
    nameLayout->addWidget(txtName);

    Frame1 = new QGroupBox(QStringLiteral("Field(s)"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    ListView1 = new QTreeWidget(Frame1);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setColumnCount(0);
    ListView1->setHeaderLabels({});
    ListView1->header()->setSectionsMovable(false);
    ListView1->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ListView1->setMinimumSize(480, 200);
    PushButton4 = new QPushButton(QStringLiteral("Add"), Frame1);
    PushButton4->setObjectName(QStringLiteral("PushButton4"));
    PushButton1 = new QPushButton(QStringLiteral("Delete Selected"), Frame1);
    PushButton1->setObjectName(QStringLiteral("PushButton1"));
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(PushButton4);
    listButtons->addWidget(PushButton1);
    listButtons->addStretch(1);
    auto* fieldsLayout = new QVBoxLayout(Frame1);
    fieldsLayout->addWidget(ListView1, 1);
    fieldsLayout->addLayout(listButtons);

    PushButton2 = new QPushButton(QStringLiteral("Save"), this);
    PushButton2->setObjectName(QStringLiteral("PushButton2"));
    PushButton3 = new QPushButton(QStringLiteral("Cancel"), this);
    PushButton3->setObjectName(QStringLiteral("PushButton3"));
    for (QPushButton* b : {PushButton4, PushButton1, PushButton2, PushButton3})
        b->setMinimumWidth(b->sizeHint().width() + 16);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(PushButton2);
    bottom->addWidget(PushButton3);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(12, 12, 12, 12);
    outer->setSpacing(10);
    outer->addWidget(Frame2);
    outer->addWidget(Frame1, 1);
    outer->addLayout(bottom);

    setTabOrder(txtName, PushButton4);
    setTabOrder(PushButton4, PushButton1);
    setTabOrder(PushButton1, ListView1);
    setTabOrder(ListView1, PushButton2);
    setTabOrder(PushButton2, PushButton3);
    txtName->setFocus();

    // A row that arrives becomes the selected one, so "Delete Selected" acts on what the
    // user sees highlighted.
    connect(ListView1->model(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent, int, int last) {
                if (parent.isValid())
                    return;
                ListView1->setCurrentItem(ListView1->topLevelItem(last));
            });

    connect(PushButton4, &QPushButton::clicked, this, [this] { addClicked(); });
    connect(PushButton1, &QPushButton::clicked, this, [this] { deleteSelectedClicked(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { saveClicked(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { cancelClicked(); });
}

void frmNewTable::formLoad()
{
    Handler h(ctx_, loc::NewTable_Load);
    runLoadPrologue(h, ctx_, this, *pointer_);
    const QString headers[4] = {QStringLiteral("Field Name"), QStringLiteral("Data Type"),
                                QStringLiteral("Precision"), QStringLiteral("Autoincrement")};
    for (int i = 0; i < 4; ++i) {
        h.step(108 + 2 * i, [&] {
            const int column = ListView1->columnCount();
            ListView1->setColumnCount(column + 1);
            ListView1->headerItem()->setText(column, headers[i]);
        });
    }
    for (int i = 0; i < 4; ++i)
        h.step(116 + 2 * i, [&] { ListView1->setColumnWidth(i, twipsToPixels(kFieldColumnTwips[i])); });
}

QList<FieldRow> frmNewTable::rows() const
{
    QList<FieldRow> list;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = ListView1->topLevelItem(i);
        list.append(FieldRow{item->text(0), item->text(1), item->text(2), item->text(3),
                             fieldRowDefault(item)});
    }
    return list;
}

void frmNewTable::addClicked()
{
    Handler h(ctx_, loc::NewTable_Add);
    std::unique_ptr<frmNewColumn> dialog;
    h.step(100, [&] {
        dialog = std::make_unique<frmNewColumn>(ctx_, login_, this);
        dialog->callingform = QStringLiteral("frmNewTable");
        dialog->fieldList = ListView1;
    });
    h.step(102, [&] {
        if (!dialog)
            throw AppError(QStringLiteral("The column dialog could not be opened."));
        dialog->exec();
    });
}

void frmNewTable::deleteSelectedClicked()
{
    Handler h(ctx_, loc::NewTable_Delete);
    if (h.when(100, [&] { return pointer_->pointer() == Pointer::Hourglass; }))
        return;
    if (h.when(102, [&] { return ListView1->topLevelItemCount() >= 1; })) {
        h.step(104, [&] {
            const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
            if (selected.isEmpty())
                throw AppError(QStringLiteral("No field row is selected."));
            delete selected.first();
        });
    }
}

void frmNewTable::saveClicked()
{
    Handler h(ctx_, loc::NewTable_Save);
    std::optional<odbc::Connection> connection;
    h.step(100, [&] { connection.reset(); });
    if (h.when(102, [&] { return txtName->text().isEmpty(); }))
        return;
    if (h.when(104, [&] { return ListView1->topLevelItemCount() == 0; }))
        return;
    // A default goes into the statement as typed: one that would end its column's definition
    // early is refused here too, and the definition stays for correcting.
    for (const FieldRow& row : rows()) {
        if (const QString problem = defaultProblem(row.defaultValue); !problem.isEmpty()) {
            ctx_.prompter.show({QStringLiteral("Field \"%1\": %2").arg(row.fieldName, problem),
                                ctx_.appTitle, MessageIcon::Warning, MessageButtons::Ok});
            return;
        }
    }
    QString statement;
    h.step(106, [&] { statement = createTableStatement(txtName->text(), rows()); });

    bool created = false;
    {
        Hourglass busy(*pointer_);
        LoginFields fields;
        if (h.when(120, [&] {
                fields = login_.loginFields();
                return fields.local;
            })) {
            h.step(122, [&] { connection = odbc::Connection::open(connectionStringUtf8(fields)); });
        } else {
            h.step(124, [&] { connection = odbc::Connection::open(connectionStringUtf8(fields)); });
        }
        created = h.step(128, [&] {
            if (!connection)
                throw AppError(closedConnectionText());
            connection->execute(statement.toStdString());
            ensureTableExists(*connection, txtName->text());
            QStringList fields;
            for (const FieldRow& row : rows())
                fields << row.fieldName;
            ensureColumnsExist(*connection, txtName->text(), fields);
        });
        h.step(130, [&] {
            if (!connection)
                throw AppError(closedConnectionText());
            connection.reset();
        });
    }
    // A table that was not created keeps its definition on screen for the user to mend.
    if (created)
        h.step(134, [&] { accept(); });
}

void frmNewTable::cancelClicked()
{
    Handler h(ctx_, loc::NewTable_Cancel);
    h.step(100, [&] { reject(); });
}

void runCreateTableDialog(Handler& handler, const AppContext& ctx, const LoginSource& login,
                          QWidget* parent)
{
    handler.step(100, [&] {
        frmNewTable designer(ctx, login, parent);
        designer.exec();
    });
}

} // namespace tabulon
