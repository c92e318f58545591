#include "Form3.h"
#include "DataGrid.h"
#include "RowSet.h"
#include "RowSetModel.h"
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
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
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

    // The quick filter's bar, above the grid; hidden until Ctrl+F.
    FilterBar = new QWidget(this);
    FilterBar->setObjectName(QStringLiteral("FilterBar"));
    auto* filterLabel = new QLabel(QStringLiteral("Filter:"), FilterBar);
    FilterBox = new QLineEdit(FilterBar);
    FilterBox->setObjectName(QStringLiteral("FilterBox"));
    FilterBox->setPlaceholderText(
        QStringLiteral("Shows only the rows that contain this text in any column; Esc clears it"));
    FilterBox->setClearButtonEnabled(true);
    FilterBox->installEventFilter(this);
    filterLabel->setBuddy(FilterBox);
    FilterClose = new QToolButton(FilterBar);
    FilterClose->setObjectName(QStringLiteral("FilterClose"));
    FilterClose->setText(QStringLiteral("Close"));
    FilterClose->setToolTip(QStringLiteral("Clear the filter and close it (Esc)"));
    auto* filterLayout = new QHBoxLayout(FilterBar);
    filterLayout->setContentsMargins(0, 0, 0, 0);
    filterLayout->addWidget(filterLabel);
    filterLayout->addWidget(FilterBox, 1);
    filterLayout->addWidget(FilterClose);
    FilterBar->hide();
    filterTimer_ = new QTimer(this);
    filterTimer_->setSingleShot(true);
    filterTimer_->setInterval(250);
    connect(filterTimer_, &QTimer::timeout, this, &Form3::applyFilter);
    connect(FilterBox, &QLineEdit::textChanged, this, [this] { filterTimer_->start(); });
    connect(FilterBox, &QLineEdit::returnPressed, this, [this] {
        applyFilter();
        focusGrid();
    });
    connect(FilterClose, &QToolButton::clicked, this, &Form3::closeFilter);

    // The status line, under the grid: rows, current row, filter; and a passing note.
    StatusLine = new QLabel(this);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    StatusNotice = new QLabel(this);
    StatusNotice->setObjectName(QStringLiteral("StatusNotice"));
    StatusNotice->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    StatusNotice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long note must not widen the window: it takes the room the status line leaves, shows
    // its end (a folder, a file), and holds the whole text in its tool tip.
    StatusNotice->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    noticeTimer_ = new QTimer(this);
    noticeTimer_->setSingleShot(true);
    noticeTimer_->setInterval(20000);
    connect(noticeTimer_, &QTimer::timeout, StatusNotice, &QLabel::clear);
    auto* status = new QHBoxLayout;
    status->addWidget(StatusLine);
    status->addWidget(StatusNotice, 1);

    const QAbstractItemModel* gridModel = DataGrid1->model();
    connect(gridModel, &QAbstractItemModel::rowsInserted, this, &Form3::updateStatus);
    connect(gridModel, &QAbstractItemModel::rowsRemoved, this, &Form3::updateStatus);
    connect(gridModel, &QAbstractItemModel::modelReset, this, &Form3::updateStatus);
    connect(gridModel, &QAbstractItemModel::layoutChanged, this, &Form3::updateStatus);
    connect(&DataGrid1->rowSetModel(), &RowSetModel::hiddenRowsChanged, this, &Form3::updateStatus);
    connect(DataGrid1->selectionModel(), &QItemSelectionModel::currentChanged, this, &Form3::updateStatus);

    // The grid's menu: each entry does what its key does, through the same handler.
    mnuGrid = new QMenu(this);
    mnuGrid->setObjectName(QStringLiteral("mnuGrid"));
    auto gridEntry = [&](const char* name, const QString& caption, const QKeySequence& keys) {
        QAction* a = mnuGrid->addAction(caption);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(keys);
        a->setShortcutVisibleInContextMenu(true);
        return a;
    };
    mnuCopy = gridEntry("mnuCopy", QStringLiteral("Copy"), QKeySequence::Copy);
    mnuPaste = gridEntry("mnuPaste", QStringLiteral("Paste"), QKeySequence::Paste);
    mnuSetNull = gridEntry("mnuSetNull", QStringLiteral("Set to NULL"), QKeySequence(Qt::CTRL | Qt::Key_0));
    mnuDeleteRows = gridEntry("mnuDeleteRows", QStringLiteral("Delete Rows"), QKeySequence(Qt::Key_Delete));
    mnuGrid->addSeparator();
    mnuRefresh = gridEntry("mnuRefresh", QStringLiteral("Refresh"), QKeySequence(Qt::Key_F5));
    mnuFilter = gridEntry("mnuFilter", QStringLiteral("Filter"), QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(mnuCopy, &QAction::triggered, DataGrid1, &DataGrid::copySelection);
    connect(mnuPaste, &QAction::triggered, DataGrid1, &DataGrid::paste);
    connect(mnuSetNull, &QAction::triggered, DataGrid1, &DataGrid::setCurrentCellNull);
    connect(mnuDeleteRows, &QAction::triggered, DataGrid1, &DataGrid::deleteSelectedRows);
    connect(mnuRefresh, &QAction::triggered, this, &Form3::refreshTable);
    connect(mnuFilter, &QAction::triggered, this, &Form3::openFilter);
    // F5 and Ctrl+F work anywhere in the window; the grid handles its own keys itself.
    addAction(mnuRefresh);
    addAction(mnuFilter);
    connect(mnuGrid, &QMenu::aboutToShow, this, [this] {
        const bool table = DataGrid1->hasTable();
        for (QAction* a : {mnuCopy, mnuPaste, mnuSetNull, mnuRefresh, mnuFilter})
            a->setEnabled(table);
        mnuDeleteRows->setEnabled(DataGrid1->hasWholeRowsSelected());
    });
    DataGrid1->setContextMenu(mnuGrid);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {PushButton1, PushButton4, PushButton5, PushButton2, PushButton6, PushButton3})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 8);
    layout->addWidget(Label2);
    layout->addWidget(FilterBar);
    layout->addWidget(DataGrid1, 1);
    layout->addLayout(status);
    layout->addLayout(buttons);
    resize(960, 497);
    // After an export's dialogs, or a menu dismissed, typing goes to the grid again.
    connect(mnuSaveAs, &QMenu::aboutToHide, this, &Form3::focusGrid);
    updateStatus();

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

void Form3::openConnection(Handler& h, const TableLines& lines)
{
    opening_.reset();
    const LoginFields fields = login_.loginFields();
    h.step(fields.local ? lines.openLocal : lines.open, [&] {
        opening_ = std::make_unique<odbc::Connection>(odbc::Connection::open(connectionStringUtf8(fields)));
    });
}

void Form3::readTable(Handler& h, const TableLines& lines)
{
    std::unique_ptr<odbc::Connection> connection = std::move(opening_);
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
    // A table read afresh starts unfiltered.
    resetFilterBar();
    h.step(lines.focus, [&] { DataGrid1->setFocus(); });
}

void Form3::bindTable(Handler& h, const TableLines& lines)
{
    openConnection(h, lines);
    readTable(h, lines);
}

namespace {
constexpr int kNoLine = 0;
}

void Form3::openTableConnection(Handler& h)
{
    openConnection(h, {112, 114, kNoLine, kNoLine, kNoLine, kNoLine});
}

void Form3::readOpenedTable(Handler& h)
{
    readTable(h, {kNoLine, kNoLine, 122, 126, 128, 130});
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
    focusGrid();
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
    focusGrid();
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
    focusGrid();
}

void Form3::mnuXLS_Click()
{
    if (!commitPendingEdits())
        return;
    // The workbook keeps numbers and dates as such: it learns each column's type here.
    const TypedGridSource grid(DataGrid1->gridSource(), DataGrid1->rowSet());
    tabulon::mnuXLS_Click(ctx_, grid, *pointer_);
    focusGrid();
}

void Form3::mnuCSV_Click()
{
    if (commitPendingEdits())
        tabulon::mnuCSV_Click(ctx_, DataGrid1->gridSource(), *pointer_, lastExportFile_);
    focusGrid();
}

void Form3::mnuPDF_Click()
{
    // Where the PDF printer put the file: a note in the status line, no box to close.
    if (commitPendingEdits())
        tabulon::mnuPDF_Click(ctx_, DataGrid1->gridSource(), *pointer_, lastExportFile_,
                              [this](const QString& note) { showNotice(note); });
    focusGrid();
}

void Form3::mnuXML_Click()
{
    if (commitPendingEdits())
        tabulon::mnuXML_Click(ctx_, DataGrid1->gridSource(), *pointer_, lastExportFile_);
    focusGrid();
}

void Form3::focusGrid()
{
    DataGrid1->setFocus(Qt::OtherFocusReason);
}

void Form3::refreshTable()
{
    if (ctx_.currentTable.isEmpty())
        return;
    // The row in edit goes to the server first, as leaving it would; refused, it stays as typed
    // and nothing is read.
    if (!commitPendingEdits())
        return;
    std::unique_ptr<RowSet> rows;
    QString failure;
    try {
        Hourglass busy(*pointer_);
        OpenProgress progress(this, ctx_.currentTable);
        rows = RowSet::open(odbc::Connection::open(connectionStringUtf8(login_.loginFields())), ctx_.currentTable,
                            [&](std::size_t n) { return progress(n); });
        if (!rows) { // stopped by the person: the grid stays as it was
            focusGrid();
            return;
        }
    } catch (...) {
        failure = describeException(std::current_exception());
    }
    if (!failure.isEmpty()) {
        Message m;
        m.text = QStringLiteral("The table \"%1\" could not be read again; the grid still shows the rows as they "
                                "were read before.\n\n%2")
                     .arg(ctx_.currentTable, failure);
        m.title = ctx_.appTitle;
        m.icon = MessageIcon::Warning;
        m.buttons = MessageButtons::Ok;
        ctx_.prompter.show(m);
        focusGrid();
        return;
    }
    if (DataGrid1->hasTable())
        DataGrid1->replaceRowSet(std::move(rows));
    else
        DataGrid1->setRowSet(std::move(rows));
    updateStatus();
    focusGrid();
}

void Form3::openFilter()
{
    if (!DataGrid1->hasTable())
        return;
    // A row in edit that the filter might hide is written before anything is typed.
    if (!commitPendingEdits())
        return;
    FilterBar->show();
    FilterBox->setFocus(Qt::ShortcutFocusReason);
    FilterBox->selectAll();
}

void Form3::applyFilter()
{
    filterTimer_->stop();
    if (!DataGrid1->hasTable())
        return;
    DataGrid1->setFilter(FilterBox->text());
    updateStatus();
}

void Form3::closeFilter()
{
    filterTimer_->stop();
    if (DataGrid1->hasTable() && !DataGrid1->setFilter(QString())) {
        focusGrid(); // a row in edit was refused: the grid has said why; the filter stays
        return;
    }
    {
        const QSignalBlocker quiet(FilterBox);
        FilterBox->clear();
    }
    FilterBar->hide();
    updateStatus();
    focusGrid();
}

void Form3::resetFilterBar()
{
    filterTimer_->stop();
    const QSignalBlocker quiet(FilterBox);
    FilterBox->clear();
    FilterBar->hide();
}

bool Form3::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FilterBox && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        closeFilter();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Form3::showNotice(const QString& text)
{
    StatusNotice->setText(text);
    StatusNotice->setToolTip(text);
    noticeTimer_->start();
}

QString Form3::statusText() const
{
    return StatusLine->text();
}

void Form3::updateStatus()
{
    if (!DataGrid1->hasTable()) {
        StatusLine->setText(QStringLiteral("No table"));
        return;
    }
    const RowSetModel& model = DataGrid1->rowSetModel();
    const QLocale locale;
    const qsizetype total = model.dataRowCount();
    auto rows = [&](qsizetype n) {
        return n == 1 ? QStringLiteral("1 row") : locale.toString(qlonglong(n)) + QStringLiteral(" rows");
    };
    QString text = rows(total);
    const QModelIndex current = DataGrid1->currentIndex();
    if (current.isValid()) {
        if (model.isNewRecordRow(current.row()))
            text += QStringLiteral(" \u00B7 current: the new row");
        else if (const qsizetype row = model.setRowOf(current.row()); row >= 0)
            text += QStringLiteral(" \u00B7 current row: ") + locale.toString(qlonglong(row + 1));
    }
    if (model.isFiltered())
        text += QStringLiteral(" \u00B7 filtered: %1 of %2 \u00B7 exports write all %3")
                    .arg(locale.toString(qlonglong(model.shownRowCount())), locale.toString(qlonglong(total)),
                         rows(total));
    StatusLine->setText(text);
}

} // namespace tabulon
