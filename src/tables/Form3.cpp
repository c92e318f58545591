#include "Form3.h"
#include "DataGrid.h"
#include "RowSet.h"
#include "TypedGridSource.h"

#include "app/AppContext.h"
#include "app/ErrorReport.h"
#include "app/WindowConventions.h"
#include "connection/ConnectionString.h"
#include "connection/odbc/Odbc.h"
#include "export/ExportActions.h"
#include "schema/NewColumnDialog.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>
#include <optional>

namespace tabulon {

QString duplicateRowsHelpText()
{
    return QStringLiteral(
        "Error: 'Too many rows affected' means that the row you changed matches more than one "
        "row of the table, because the table has duplicate rows and no key. The change was not "
        "saved. Remove the duplicates or add a primary key to the table.");
}

Form3::Form3(AppContext& ctx, const LoginSource& login, QWidget* parent)
    : QWidget(parent), ctx_(ctx), login_(login)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    Label2 = new QLabel(QStringLiteral(" Table: "), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    DataGrid1 = new DataGrid(ctx_, this);
    DataGrid1->setObjectName(QStringLiteral("DataGrid1"));
    QFont gridFont(QStringLiteral("Arial"), 9);
    gridFont.setBold(true);
    DataGrid1->setFont(gridFont);
    DataGrid1->horizontalHeader()->setFont(gridFont);
    DataGrid1->setToolTip(
        QStringLiteral("Changes you make are automatically saved as you make them."));

    auto button = [&](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    PushButton1 = button("PushButton1", QStringLiteral("< Back"));
    PushButton4 = button("PushButton4", QStringLiteral("Help"));
    PushButton5 = button("PushButton5", QStringLiteral("Add New Row"));
    PushButton2 = button("PushButton2", QStringLiteral("Add New Column"));
    PushButton6 = button("PushButton6", QStringLiteral("Export Table As.."));
    PushButton3 = button("PushButton3", QStringLiteral("Quit"));

    mnuSaveAs = new QMenu(QStringLiteral("Save As"), this);
    mnuSaveAs->setObjectName(QStringLiteral("mnuSaveAs"));
    auto entry = [&](const char* name, const QString& caption, void (Form3::*handler)()) {
        QAction* a = mnuSaveAs->addAction(caption);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    mnuTXT = entry("mnuTXT", QStringLiteral("TXT"), &Form3::mnuTXT_Click);
    mnuXLS = entry("mnuXLS", QStringLiteral("XLS"), &Form3::mnuXLS_Click);
    mnuCSV = entry("mnuCSV", QStringLiteral("CSV"), &Form3::mnuCSV_Click);
    mnuPDF = entry("mnuPDF", QStringLiteral("PDF"), &Form3::mnuPDF_Click);
    mnuXML = entry("mnuXML", QStringLiteral("XML"), &Form3::mnuXML_Click);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {PushButton1, PushButton4, PushButton5, PushButton2, PushButton6, PushButton3})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 8);
    layout->addWidget(Label2);
    layout->addWidget(DataGrid1, 1);
    layout->addLayout(buttons);
    resize(960, 497);

    connect(PushButton1, &QPushButton::clicked, this, &Form3::PushButton1_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form3::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form3::PushButton5_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form3::PushButton2_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form3::PushButton6_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form3::PushButton3_Click);

    pointer_ = new PointerController(this);
}

Form3::~Form3() = default;

void Form3::Form_Load()
{
    Handler h(ctx_, loc::Form3_Load);
    runLoadPrologue(h, ctx_, this, *pointer_);
    h.step(110, [&] { setWindowTitle(QString::fromLatin1(kProductTitle)); });
}

namespace {

// Reading a big table shows how far it has come and can be stopped.
class OpenProgress {
public:
    OpenProgress(QWidget* parent, const QString& table) : parent_(parent), table_(table)
    {
        clock_.start();
    }

    bool operator()(std::size_t rows)
    {
        if (!dialog_ && clock_.elapsed() > 500) {
            dialog_.emplace(parent_);
            dialog_->setWindowTitle(QStringLiteral("Tabulon"));
            dialog_->setCancelButtonText(QStringLiteral("Cancel"));
            dialog_->setRange(0, 0);
            dialog_->setMinimumDuration(0);
            dialog_->setWindowModality(Qt::ApplicationModal);
            dialog_->adjustSize();
            dialog_->move(parent_->frameGeometry().center() - dialog_->rect().center());
            dialog_->show();
        }
        // Repaint and look for Cancel about twenty times a second, not at every block.
        if (dialog_ && clock_.elapsed() - lastUpdate_ >= 50) {
            lastUpdate_ = clock_.elapsed();
            dialog_->setLabelText(QStringLiteral("Reading the table %1: %L2 rows so far")
                                      .arg(table_)
                                      .arg(qulonglong(rows)));
            QCoreApplication::processEvents();
            return !dialog_->wasCanceled();
        }
        return !(dialog_ && dialog_->wasCanceled());
    }

private:
    QWidget* parent_;
    QString table_;
    QElapsedTimer clock_;
    qint64 lastUpdate_ = 0;
    std::optional<QProgressDialog> dialog_;
};

} // namespace

void Form3::bindTable(Handler& h, const TableLines& lines)
{
    std::optional<odbc::Connection> connection;
    const LoginFields fields = login_.loginFields();
    h.step(fields.local ? lines.openLocal : lines.open, [&] {
        connection.emplace(odbc::Connection::open(connectionStringUtf8(fields)));
    });
    if (lines.unbind > 0)
        h.step(lines.unbind, [&] { DataGrid1->clear(); });
    std::unique_ptr<RowSet> rows;
    bool cancelled = false;
    h.step(lines.recordset, [&] {
        if (!connection)
            throw AppError(QStringLiteral("Operation is not allowed when the object is closed."));
        OpenProgress progress(this, ctx_.currentTable);
        rows = RowSet::open(std::move(*connection), ctx_.currentTable,
                            [&](std::size_t n) { return progress(n); });
        cancelled = !rows;
    });
    h.step(lines.bind, [&] {
        if (!rows && !cancelled)
            throw AppError(QStringLiteral("The table could not be read, so the grid shows no table."));
        DataGrid1->setRowSet(std::move(rows));
    });
    h.step(lines.focus, [&] { DataGrid1->setFocus(); });
}

void Form3::openCurrentTable(Handler& h)
{
    bindTable(h, {112, 114, 122, 126, 128, 130});
}

bool Form3::commitPendingEdits()
{
    return DataGrid1->commitPendingRow();
}

void Form3::PushButton1_Click()
{
    if (!DataGrid1->writeOrDropForLeaving())
        return;
    emit backRequested();
}

void Form3::PushButton3_Click()
{
    if (!DataGrid1->writeOrDropForLeaving())
        return;
    Handler h(ctx_, loc::Form3_Quit);
    h.step(100, [&] { emit quitRequested(); });
}

void Form3::closeEvent(QCloseEvent* event)
{
    if (!DataGrid1->writeOrDropForLeaving()) {
        event->ignore();
        return;
    }
    event->accept();
    emit quitRequested();
}

void Form3::PushButton4_Click()
{
    Handler h(ctx_, loc::Form3_Help);
    h.step(102, [&] { ctx_.say(duplicateRowsHelpText()); });
}

void Form3::PushButton5_Click()
{
    Handler h(ctx_, loc::Form3_AddRow);
    h.step(100, [&] { DataGrid1->setFocus(); });
    // The grid goes straight to its new-record row; no row arithmetic or keystrokes needed.
    h.step(106, [&] { DataGrid1->setFocus(); });
    h.step(108, [&] { DataGrid1->moveToNewRecordRow(); });
}

void Form3::PushButton2_Click()
{
    if (!commitPendingEdits())
        return;
    Handler h(ctx_, loc::Form3_AddColumn);
    runAddNewColumnDialog(h, ctx_, login_, this);
    // Whatever happened in the dialog, the grid is read again from the server.
    bindTable(h, {112, 114, 0, 116, 118, 120});
}

void Form3::PushButton6_Click()
{
    Handler h(ctx_, loc::Form3_Export);
    h.step(106, [&] { mnuSaveAs->popup(QCursor::pos()); });
}

void Form3::mnuTXT_Click()
{
    if (commitPendingEdits())
        tabulon::mnuTXT_Click(ctx_, DataGrid1->gridSource(), *pointer_, lastExportFile_);
}

void Form3::mnuXLS_Click()
{
    if (!commitPendingEdits())
        return;
    // The workbook keeps numbers and dates as such: it learns each column's type here.
    const TypedGridSource grid(DataGrid1->gridSource(), DataGrid1->rowSet());
    tabulon::mnuXLS_Click(ctx_, grid, *pointer_);
}

void Form3::mnuCSV_Click()
{
    if (commitPendingEdits())
        tabulon::mnuCSV_Click(ctx_, DataGrid1->gridSource(), *pointer_, lastExportFile_);
}

void Form3::mnuPDF_Click()
{
    if (commitPendingEdits())
        tabulon::mnuPDF_Click(ctx_, DataGrid1->gridSource(), *pointer_, lastExportFile_);
}

void Form3::mnuXML_Click()
{
    if (commitPendingEdits())
        tabulon::mnuXML_Click(ctx_, DataGrid1->gridSource(), *pointer_, lastExportFile_);
}

} // namespace tabulon
