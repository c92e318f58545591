#include "DataGrid.h"

#include "DataGridClipboard.h"
#include "RowSetModel.h"
#include "ValueFormat.h"
#include "app/AppContext.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <optional>

namespace tabulon {

namespace {

struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

struct Quiet {
    explicit Quiet(int& n) : n_(n) { ++n_; }
    ~Quiet() { --n_; }
    int& n_;
};

// Filtering a big table shows how far it has come and can be stopped; a small one is done
// before anything shows.
class FilterProgressDialog {
public:
    explicit FilterProgressDialog(QWidget* parent) : parent_(parent) { clock_.start(); }
    bool operator()(qsizetype done, qsizetype total)
    {
        if (!dialog_ && clock_.elapsed() > 400) {
            dialog_.emplace(parent_);
            dialog_->setWindowTitle(QStringLiteral("Tabulon"));
            dialog_->setLabelText(QStringLiteral("Filtering %L1 rows ...").arg(qlonglong(total)));
            dialog_->setCancelButtonText(QStringLiteral("Cancel"));
            dialog_->setRange(0, 1000);
            dialog_->setMinimumDuration(0);
            dialog_->setWindowModality(Qt::ApplicationModal);
            dialog_->show();
        }
        if (dialog_) {
            dialog_->setValue(static_cast<int>(done * 1000 / std::max<qsizetype>(total, 1)));
            QCoreApplication::processEvents();
            return !dialog_->wasCanceled();
        }
        return true;
    }

private:
    QWidget* parent_;
    QElapsedTimer clock_;
    std::optional<QProgressDialog> dialog_;
};

} // namespace

// Moves of the current row go through here: leaving a row writes it first, and a refused
// write keeps the current row (and the selection) where it is for the rest of that event.
class DataGridSelectionModel : public QItemSelectionModel {
public:
    DataGridSelectionModel(QAbstractItemModel* model, DataGrid* grid)
        : QItemSelectionModel(model, grid), grid_(grid) {}

    void setCurrentIndex(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override
    {
        const bool otherRow = index.isValid() && currentIndex().isValid() && index.row() != currentIndex().row();
        if (otherRow && blocked_ && grid_->quiet_ == 0)
            return;
        if (!grid_->mayMoveTo(index)) {
            block();
            return;
        }
        QItemSelectionModel::setCurrentIndex(index, command);
    }
    void select(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override
    {
        if (blocked_ && grid_->quiet_ == 0)
            return;
        QItemSelectionModel::select(index, command);
    }
    void select(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command) override
    {
        if (blocked_ && grid_->quiet_ == 0)
            return;
        QItemSelectionModel::select(selection, command);
    }
    void unblock() { blocked_ = false; }

private:
    void block()
    {
        blocked_ = true;
        QTimer::singleShot(0, this, [this] { blocked_ = false; });
    }

    DataGrid* grid_;
    bool blocked_ = false;
};

// Remembers the open cell editor, so that leaving a row can commit it first.
class DataGridDelegate : public QStyledItemDelegate {
public:
    explicit DataGridDelegate(DataGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        // A line editor keeps 32,767 characters unless told otherwise: a longer value would
        // come back cut short when the editor is confirmed, and be written so.
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            line->setMaxLength(std::numeric_limits<int>::max());
        grid_->editor_ = editor;
        return editor;
    }

private:
    DataGrid* grid_;
};

QString DataGrid::toolTipText()
{
    return QStringLiteral("Changes you make are automatically saved as you make them.");
}

DataGrid::DataGrid(AppContext& ctx, QWidget* parent) : QTableView(parent), ctx_(ctx)
{
    model_ = new RowSetModel(this);
    setModel(model_);
    QItemSelectionModel* initial = selectionModel();
    selection_ = new DataGridSelectionModel(model_, this);
    setSelectionModel(selection_);
    delete initial;
    setItemDelegate(new DataGridDelegate(this));

    QFont font(QStringLiteral("Arial"), 9);
    font.setBold(true);
    setFont(font);
    horizontalHeader()->setFont(font);
    verticalHeader()->setFont(font);
    model_->setBaseFont(font);

    setToolTip(toolTipText());
    viewport()->setToolTip(toolTipText());
    model_->setCellToolTip(toolTipText());

    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                    | QAbstractItemView::AnyKeyPressed);
    setTabKeyNavigation(true);
    setWordWrap(false);
    setCornerButtonEnabled(true);

    // A million rows stay quick: every row is one line of the same height.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height() + 6);
    verticalHeader()->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(true);

    // A header click sorts by the column (it does not select the column).
    horizontalHeader()->setSectionsClickable(true);
    disconnect(horizontalHeader(), SIGNAL(sectionPressed(int)), this, nullptr);
    disconnect(horizontalHeader(), SIGNAL(sectionEntered(int)), this, nullptr);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &DataGrid::sortByHeader);

    horizontalHeader()->viewport()->installEventFilter(this);
    verticalHeader()->viewport()->installEventFilter(this);

    // Right clicks on a cell or a row number open the editor's menu.
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { showContextMenu(pos, false); });
    verticalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(verticalHeader(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { showContextMenu(pos, true); });

    connect(model_, &RowSetModel::valueRefused, this, [this](const QModelIndex& index, const QString& message) {
        // Said once the editor has closed, not from inside its commit.
        queuedRefusal_ = message;
        queuedKeepsText_ = model_->isEditableColumn(index.column());
        QMetaObject::invokeMethod(this, &DataGrid::showQueuedRefusal, Qt::QueuedConnection);
    });
}

DataGrid::~DataGrid() = default;

bool DataGrid::hasTable() const { return model_->hasTable(); }
RowSet* DataGrid::rowSet() const { return model_->rowSet(); }
const GridSource& DataGrid::gridSource() const { return model_->gridSource(); }
qsizetype DataGrid::approximateRowCount() const { return model_->dataRowCount(); }

void DataGrid::say(const QString& text)
{
    Message m;
    m.text = text;
    m.title = ctx_.appTitle;
    m.icon = MessageIcon::Warning;
    m.buttons = MessageButtons::Ok;
    ctx_.prompter.show(m);
}

void DataGrid::setRowSet(std::unique_ptr<RowSet> rows)
{
    Quiet quiet(quiet_);
    if (editor_) {
        QWidget* e = editor_;
        editor_ = nullptr;
        QAbstractItemView::closeEditor(e, QAbstractItemDelegate::NoHint);
    }
    queuedRefusal_.clear();
    selection_->unblock();
    filterAnchor_.reset();
    model_->setRowSet(std::move(rows));
    sortColumn_ = -1;
    sortAscending_ = true;
    horizontalHeader()->setSortIndicatorShown(false);
    if (hasTable()) {
        // Room for the edit mark beside the largest row number, so the header keeps its width.
        const QFontMetrics fm(verticalHeader()->font());
        verticalHeader()->setMinimumWidth(
            fm.horizontalAdvance(QStringLiteral("\u270E %1").arg(model_->dataRowCount() + 1)) + 12);
        fitColumns();
        const QModelIndex first = model_->index(0, 0);
        selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect);
        scrollToTop();
    }
}

void DataGrid::fitColumns()
{
    const QFontMetrics fm(font());
    const int sample = static_cast<int>(std::min<qsizetype>(model_->shownRowCount(), 100));
    for (int c = 0; c < model_->columnCount(); ++c) {
        int w = fm.horizontalAdvance(model_->headerData(c, Qt::Horizontal).toString()) + 24;
        for (int r = 0; r < sample; ++r)
            w = std::max(w, fm.horizontalAdvance(model_->data(model_->index(r, c)).toString().left(80)) + 14);
        setColumnWidth(c, std::clamp(w, 64, 360));
    }
}

void DataGrid::flushEditor()
{
    if (!editor_)
        return;
    QWidget* e = editor_;
    editor_ = nullptr;
    commitData(e);
    QAbstractItemView::closeEditor(e, QAbstractItemDelegate::NoHint);
}

void DataGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (editor == editor_)
        editor_ = nullptr;
    QTableView::closeEditor(editor, hint);
}

bool DataGrid::mayMoveTo(const QModelIndex& target)
{
    if (quiet_ > 0 || !hasTable())
        return true;
    const QModelIndex current = currentIndex();
    if (!current.isValid() || !target.isValid() || target.row() == current.row())
        return true;
    return writeRowNow(current.row());
}

bool DataGrid::writeRowNow(int row)
{
    flushEditor();
    if (!model_->hasPendingEdit(row))
        return true;
    RowWriteResult result;
    {
        Quiet quiet(quiet_);
        result = model_->writeRow(row);
    }
    if (result.ok()) {
        if (const QString note = describeWritten(*rowSet(), result); !note.isEmpty())
            say(note);
        return true;
    }
    reportRefusal(row, result);
    return false;
}

void DataGrid::reportRefusal(int row, const RowWriteResult& result)
{
    queuedRefusal_.clear();
    RowSet& rows = *rowSet();
    if (result.status == RowWriteResult::Status::NoRowMatched && result.action == RowWriteResult::Action::Update) {
        Message m;
        m.text = QStringLiteral("The row was not saved: it was changed or deleted by someone else since it was "
                                "read. Nothing was changed.\n\n"
                                "Reload the row from the server?\n"
                                "Yes: show the server's values (your changes to the row are dropped).\n"
                                "No: keep your changes and go on editing.");
        m.title = ctx_.appTitle;
        m.icon = MessageIcon::Warning;
        m.buttons = MessageButtons::YesNo;
        if (ctx_.prompter.show(m) == MessageAnswer::Yes) {
            RowWriteResult reloaded;
            {
                Quiet quiet(quiet_);
                reloaded = model_->reloadRow(row);
            }
            if (!reloaded.ok())
                say(describeRefusal(rows, reloaded));
        }
        return;
    }
    say(describeRefusal(rows, result));
}

void DataGrid::showQueuedRefusal()
{
    if (queuedRefusal_.isEmpty())
        return;
    QString text = queuedRefusal_;
    if (queuedKeepsText_)
        text += QStringLiteral("\n\nYour text is kept in the cell: correct it, or press Esc to drop your changes to "
                               "the row.");
    queuedRefusal_.clear();
    say(text);
}

void DataGrid::refuseReadOnly(const QModelIndex& index)
{
    queuedRefusal_.clear();
    say(model_->readOnlyMessage(index.column()));
}

void DataGrid::moveCurrentQuietly(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    Quiet quiet(quiet_);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
}

bool DataGrid::commitPendingRow()
{
    if (!hasTable())
        return true;
    selection_->unblock();
    flushEditor();
    const std::vector<qsizetype> inEdit = rowSet()->rowsInEdit();
    // Rows are edited only where they show; should one in edit be hidden all the same, every
    // row is shown again rather than leave it unwritten.
    for (qsizetype setRow : inEdit)
        if (model_->viewRowOf(setRow) < 0) {
            Quiet quiet(quiet_);
            model_->setFilter(QString());
            break;
        }
    for (qsizetype setRow : inEdit) {
        const int row = model_->viewRowOf(setRow);
        // An insert adds a row below; rows above it keep their places.
        if (row < 0 || !model_->hasPendingEdit(row))
            continue;
        if (!writeRowNow(row)) {
            const int column = currentIndex().isValid() ? currentIndex().column() : 0;
            if (currentIndex().row() != row)
                moveCurrentQuietly(model_->index(static_cast<int>(row), column));
            return false;
        }
    }
    return true;
}

bool DataGrid::writeOrDropForLeaving()
{
    if (!hasTable())
        return true;
    selection_->unblock();
    flushEditor();
    queuedRefusal_.clear(); // a refused value is part of the one question below
    const std::vector<qsizetype> inEdit = rowSet()->rowsInEdit();
    for (qsizetype row : inEdit) {
        if (!model_->hasPendingEdit(static_cast<int>(row)))
            continue;
        RowWriteResult result;
        {
            Quiet quiet(quiet_);
            result = model_->writeRow(static_cast<int>(row));
        }
        if (result.ok()) {
            if (const QString note = describeWritten(*rowSet(), result); !note.isEmpty())
                say(note);
            continue;
        }
        Message m;
        m.text = describeRefusal(*rowSet(), result, true)
            + QStringLiteral("\n\nLeave the table all the same?\n"
                             "Yes: leave it; the changes that were not saved are dropped.\n"
                             "No: stay and go on editing.");
        m.title = ctx_.appTitle;
        m.icon = MessageIcon::Warning;
        m.buttons = MessageButtons::YesNo;
        if (ctx_.prompter.show(m) != MessageAnswer::Yes) {
            const int column = currentIndex().isValid() ? currentIndex().column() : 0;
            if (currentIndex().row() != row)
                moveCurrentQuietly(model_->index(static_cast<int>(row), column));
            return false;
        }
        if (editor_) {
            QWidget* e = editor_;
            editor_ = nullptr;
            QAbstractItemView::closeEditor(e, QAbstractItemDelegate::NoHint);
        }
        for (qsizetype r : rowSet()->rowsInEdit())
            model_->dropEdit(static_cast<int>(r));
        return true;
    }
    return true;
}

void DataGrid::moveToNewRecordRow()
{
    if (!hasTable())
        return;
    setFocus();
    selection_->unblock();
    const int column = currentIndex().isValid() ? currentIndex().column() : 0;
    // A new row being typed is left for the next one: it is written first, as any left row is.
    if (currentIndex().isValid() && model_->isNewRecordRow(currentIndex().row()) && !writeRowNow(currentIndex().row()))
        return;
    const QModelIndex target = model_->index(model_->newRecordRow(), column);
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    if (currentIndex().row() == target.row())
        scrollTo(target);
}

void DataGrid::setCurrentCellNull()
{
    const QModelIndex index = currentIndex();
    if (!hasTable() || !index.isValid())
        return;
    if (!rowSet()->isEditable(index.column())) {
        refuseReadOnly(index);
        return;
    }
    if (editor_) {
        QWidget* e = editor_;
        editor_ = nullptr;
        QAbstractItemView::closeEditor(e, QAbstractItemDelegate::NoHint);
    }
    model_->setValue(index, odbc::Value::null());
}

QString DataGrid::selectionText() const
{
    if (!hasTable())
        return {};
    QItemSelection selection = selectionModel()->selection();
    if (selection.isEmpty() && currentIndex().isValid())
        selection.select(currentIndex(), currentIndex());
    if (selection.isEmpty())
        return {};
    int top = INT_MAX, bottom = -1, left = INT_MAX, right = -1;
    for (const QItemSelectionRange& range : selection) {
        top = std::min(top, range.top());
        bottom = std::max(bottom, range.bottom());
        left = std::min(left, range.left());
        right = std::max(right, range.right());
    }
    // The new-record row is copied only while it holds something.
    const int lastData = static_cast<int>(model_->shownRowCount()) - 1;
    if (bottom > lastData && !model_->hasPendingEdit(model_->newRecordRow()))
        bottom = lastData;
    const bool single = selection.size() == 1;
    QString out;
    for (int r = top; r <= bottom; ++r) {
        if (r > top)
            out += QLatin1Char('\n');
        for (int c = left; c <= right; ++c) {
            if (c > left)
                out += QLatin1Char('\t');
            const QModelIndex index = model_->index(r, c);
            if (!single && !selection.contains(index))
                continue;
            out += clipboardField(model_->data(index, Qt::EditRole).toString());
        }
    }
    return out;
}

void DataGrid::copySelection()
{
    if (!hasTable())
        return;
    WaitCursor wait;
    QGuiApplication::clipboard()->setText(selectionText());
}

void DataGrid::paste()
{
    pasteText(QGuiApplication::clipboard()->text());
}

bool DataGrid::pasteText(const QString& text)
{
    if (!hasTable())
        return false;
    const std::vector<QStringList> cells = parseClipboardCells(text);
    if (cells.empty())
        return false;
    RowSet& rows = *rowSet();
    QModelIndex start = currentIndex().isValid() ? currentIndex() : model_->index(0, 0);
    const bool intoNewRows = model_->isNewRecordRow(start.row());
    qsizetype width = 0;
    for (const QStringList& row : cells)
        width = std::max(width, row.size());
    const int available = rows.columnCount() - start.column();
    if (width > available) {
        say(QStringLiteral("Nothing was pasted: the copied cells are %1 columns wide, but from the column \"%2\" "
                           "on the table has only %3.")
                .arg(width)
                .arg(rows.columnName(start.column()))
                .arg(available));
        return false;
    }
    // Every value is checked before anything changes.
    std::vector<std::vector<std::optional<odbc::Value>>> values(cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        for (qsizetype j = 0; j < cells[i].size(); ++j) {
            const int c = start.column() + static_cast<int>(j);
            values[i].emplace_back();
            if (!rows.isEditable(c))
                continue; // the server fills these
            ParsedValue parsed = parseValue(rows.column(c), cells[i][j]);
            if (!parsed.ok) {
                say(QStringLiteral("Nothing was pasted: ")
                    + describeRefusedValue(rows, c, cells[i][j], parsed.problem)
                    + QStringLiteral(" (pasted row %1)").arg(i + 1));
                return false;
            }
            values[i].back() = std::move(parsed.value);
        }
    }
    if (!commitPendingRow())
        return false;
    if (intoNewRows) // a new row in edit was just inserted; the paste goes below it
        start = model_->index(model_->newRecordRow(), start.column());

    WaitCursor wait;
    const int existing = static_cast<int>(model_->shownRowCount());
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int wanted = start.row() + static_cast<int>(i);
        const int row = wanted < existing ? wanted : model_->newRecordRow();
        for (std::size_t j = 0; j < values[i].size(); ++j)
            if (values[i][j])
                model_->setValue(model_->index(row, start.column() + static_cast<int>(j)), *values[i][j]);
        RowWriteResult result;
        {
            Quiet quiet(quiet_);
            result = model_->writeRow(row);
        }
        if (result.ok()) {
            if (const QString note = describeWritten(rows, result); !note.isEmpty())
                say(note);
        } else {
            moveCurrentQuietly(model_->index(row, start.column()));
            if (i > 0)
                say(QStringLiteral("%1 of the %2 pasted rows were written; the row below stopped the paste.")
                        .arg(i)
                        .arg(values.size()));
            reportRefusal(row, result);
            return false;
        }
    }
    const int lastRow = std::min(start.row() + static_cast<int>(values.size()) - 1,
                                 static_cast<int>(model_->shownRowCount()) - 1);
    Quiet quiet(quiet_);
    selectionModel()->select(QItemSelection(start, model_->index(std::max(lastRow, start.row()),
                                                                 start.column() + static_cast<int>(width) - 1)),
                             QItemSelectionModel::ClearAndSelect);
    return true;
}

bool DataGrid::deleteSelectedRows()
{
    if (!hasTable())
        return false;
    std::vector<int> rows;
    bool newRowSelected = false;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        if (index.row() < model_->shownRowCount())
            rows.push_back(index.row());
        else
            newRowSelected = true;
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (newRowSelected && model_->hasPendingEdit(model_->newRecordRow()) && rows.empty()) {
        if (editor_) {
            QWidget* e = editor_;
            editor_ = nullptr;
            QAbstractItemView::closeEditor(e, QAbstractItemDelegate::NoHint);
        }
        model_->dropEdit(model_->newRecordRow());
    }
    if (rows.empty())
        return false;
    flushEditor();
    // A row that is deleted needs no writing; any other row in edit is written first.
    for (int row : rows)
        if (model_->hasPendingEdit(row))
            model_->dropEdit(row);
    if (!commitPendingRow())
        return false;

    Message ask;
    ask.text = rows.size() == 1
        ? QStringLiteral("Delete the selected row from the table \"%1\"?\n\nThe row is deleted on the server at "
                         "once; this cannot be undone.")
              .arg(rowSet()->table())
        : QStringLiteral("Delete the %1 selected rows from the table \"%2\"?\n\nThe rows are deleted on the "
                         "server at once; this cannot be undone.")
              .arg(rows.size())
              .arg(rowSet()->table());
    ask.title = ctx_.appTitle;
    ask.icon = MessageIcon::Question;
    ask.buttons = MessageButtons::YesNo;
    if (ctx_.prompter.show(ask) != MessageAnswer::Yes)
        return false;

    std::size_t deleted = 0;
    {
        WaitCursor wait;
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
            RowWriteResult result;
            {
                Quiet quiet(quiet_);
                result = model_->deleteRow(*it);
            }
            if (!result.ok()) {
                moveCurrentQuietly(model_->index(*it, std::max(0, currentIndex().column())));
                QString text = describeRefusal(*rowSet(), result);
                if (deleted > 0)
                    text += QStringLiteral("\n\n%1 of the %2 selected rows were deleted before this one.")
                                .arg(deleted)
                                .arg(rows.size());
                say(text);
                return false;
            }
            if (const QString note = describeWritten(*rowSet(), result); !note.isEmpty())
                say(note);
            ++deleted;
        }
    }
    return true;
}

void DataGrid::sortByHeader(int column)
{
    QHeaderView* header = horizontalHeader();
    auto restoreIndicator = [&] {
        header->setSortIndicatorShown(sortColumn_ >= 0);
        header->setSortIndicator(sortColumn_, sortAscending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
    };
    if (!hasTable() || column < 0 || column >= model_->columnCount() || !commitPendingRow()) {
        restoreIndicator();
        return;
    }
    const bool ascending = column == sortColumn_ ? !sortAscending_ : true;
    {
        WaitCursor wait;
        Quiet quiet(quiet_);
        model_->sort(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    }
    sortColumn_ = column;
    sortAscending_ = ascending;
    restoreIndicator();
    if (currentIndex().isValid())
        scrollTo(currentIndex());
}

bool DataGrid::isFiltered() const { return model_->isFiltered(); }
QString DataGrid::filterText() const { return model_->filterText(); }

bool DataGrid::hasWholeRowsSelected() const
{
    return hasTable() && !selectionModel()->selectedRows().isEmpty();
}

void DataGrid::restorePlace(qsizetype setRow, int viewRow, int column)
{
    if (!hasTable() || model_->rowCount() == 0)
        return;
    int view = setRow >= 0 ? model_->viewRowOf(setRow) : -1;
    if (view < 0)
        view = std::clamp(viewRow, 0, model_->rowCount() - 1);
    column = std::clamp(column, 0, std::max(0, model_->columnCount() - 1));
    moveCurrentQuietly(model_->index(view, column));
}

bool DataGrid::setFilter(const QString& text)
{
    if (!hasTable())
        return false;
    if (text == model_->filterText())
        return true;
    if (!commitPendingRow())
        return false;
    const QModelIndex current = currentIndex();
    qsizetype setRow = current.isValid() ? model_->setRowOf(current.row()) : -1;
    const int column = current.isValid() ? current.column() : 0;
    if (setRow >= 0 && setRow < rowSet()->rowCount())
        filterAnchor_ = rowSet()->rowId(setRow);
    else if (filterAnchor_) // on the new-record row, as after a filter that showed nothing
        setRow = rowSet()->rowOfId(*filterAnchor_);
    bool done = false;
    {
        WaitCursor wait;
        FilterProgressDialog progress(this);
        Quiet quiet(quiet_);
        done = model_->setFilter(text, std::ref(progress));
    }
    if (!done)
        return false;
    // The current row stays current when it is shown; else the first row shown is.
    restorePlace(setRow, 0, column);
    return true;
}

void DataGrid::replaceRowSet(std::unique_ptr<RowSet> rows)
{
    if (!hasTable() || !rows) {
        setRowSet(std::move(rows));
        return;
    }
    const QModelIndex current = currentIndex();
    const int column = current.isValid() ? current.column() : 0;
    const int viewRow = current.isValid() ? current.row() : 0;
    const bool onNewRow = current.isValid() && model_->isNewRecordRow(viewRow);
    const qsizetype oldRow = current.isValid() ? model_->setRowOf(viewRow) : -1;

    // The current row's key, by column name, as shown.
    struct KeyPart {
        QString column;
        bool null;
        std::string text;
    };
    std::vector<KeyPart> key;
    if (!onNewRow && oldRow >= 0 && oldRow < rowSet()->rowCount())
        for (int c : rowSet()->keyColumns()) {
            KeyPart part{rowSet()->columnName(c), model_->isNull(oldRow, c), {}};
            model_->appendCellUtf8(oldRow, c, part.text);
            key.push_back(std::move(part));
        }
    const QString filter = model_->filterText();
    const QString sortName = sortColumn_ >= 0 ? rowSet()->columnName(sortColumn_) : QString();
    const bool ascending = sortAscending_;
    const int scroll = verticalScrollBar()->value();

    setRowSet(std::move(rows));
    RowSet& fresh = *rowSet();
    auto columnNamed = [&](const QString& name) {
        for (int c = 0; c < fresh.columnCount(); ++c)
            if (fresh.columnName(c) == name)
                return c;
        return -1;
    };
    {
        WaitCursor wait;
        Quiet quiet(quiet_);
        if (const int c = sortName.isEmpty() ? -1 : columnNamed(sortName); c >= 0) {
            model_->sort(c, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
            sortColumn_ = c;
            sortAscending_ = ascending;
            horizontalHeader()->setSortIndicatorShown(true);
            horizontalHeader()->setSortIndicator(c, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
        }
        if (!filter.isEmpty()) {
            FilterProgressDialog progress(this);
            model_->setFilter(filter, std::ref(progress));
        }
    }

    qsizetype target = -1;
    if (onNewRow) {
        target = fresh.rowCount();
    } else if (!key.empty()) {
        std::vector<int> columns;
        for (const KeyPart& part : key)
            columns.push_back(columnNamed(part.column));
        if (std::find(columns.begin(), columns.end(), -1) == columns.end()) {
            std::string text;
            for (qsizetype r = 0; r < fresh.rowCount() && target < 0; ++r) {
                bool same = true;
                for (std::size_t k = 0; k < key.size() && same; ++k) {
                    const bool null = model_->isNull(r, columns[k]);
                    text.clear();
                    if (!null)
                        model_->appendCellUtf8(r, columns[k], text);
                    same = null == key[k].null && (null || text == key[k].text);
                }
                if (same)
                    target = r;
            }
        }
    }
    verticalScrollBar()->setValue(scroll);
    restorePlace(target, viewRow, column);
}

void DataGrid::showContextMenu(const QPoint& pos, bool onRowHeader)
{
    if (!contextMenu_)
        return;
    selection_->unblock();
    if (hasTable()) {
        if (onRowHeader) {
            const int row = verticalHeader()->logicalIndexAt(pos.y());
            if (row >= 0 && !selectionModel()->isRowSelected(row, QModelIndex()))
                selectRow(row);
        } else {
            const QModelIndex at = indexAt(pos);
            if (at.isValid() && !selectionModel()->isSelected(at))
                setCurrentIndex(at);
        }
    }
    QWidget* origin = onRowHeader ? verticalHeader()->viewport() : viewport();
    contextMenu_->popup(origin->mapToGlobal(pos));
}

void DataGrid::keyPressEvent(QKeyEvent* event)
{
    selection_->unblock();
    if (!hasTable()) {
        QTableView::keyPressEvent(event);
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        copySelection();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        paste();
        return;
    }
    if (event->key() == Qt::Key_0 && (event->modifiers() & Qt::ControlModifier)) {
        setCurrentCellNull();
        return;
    }
    if (state() != QAbstractItemView::EditingState) {
        if (event->key() == Qt::Key_Escape) {
            // The cell editor takes the first Esc; this one drops the row's changes.
            if (currentIndex().isValid() && model_->hasPendingEdit(currentIndex().row())) {
                queuedRefusal_.clear();
                model_->dropEdit(currentIndex().row());
            }
            return;
        }
        if (event->key() == Qt::Key_Delete && !selectionModel()->selectedRows().isEmpty()) {
            deleteSelectedRows();
            return;
        }
        // A letter typed on a column the server fills is refused here, rather than left to the
        // view, which would take it for a search and move to another row.
        const bool modified = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        const QModelIndex current = currentIndex();
        if (!modified && !event->text().isEmpty() && event->text().at(0).isPrint() && current.isValid()
            && !model_->isEditableColumn(current.column())) {
            refuseReadOnly(current);
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

void DataGrid::mousePressEvent(QMouseEvent* event)
{
    selection_->unblock();
    QTableView::mousePressEvent(event);
}

bool DataGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress)
        selection_->unblock();
    return QTableView::eventFilter(watched, event);
}

bool DataGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    // Only the current row is edited; a refused move leaves the click elsewhere without effect.
    if (quiet_ == 0 && index.isValid() && currentIndex().isValid() && index.row() != currentIndex().row())
        return false;
    // Typing, F2 or a double click on a column the server fills opens no editor: the grid says
    // why at once, before anything is typed, kept or sent.
    constexpr EditTriggers byPerson = DoubleClicked | EditKeyPressed | AnyKeyPressed;
    if (hasTable() && index.isValid() && (trigger & byPerson & editTriggers())
        && !model_->isEditableColumn(index.column()) && state() != EditingState) {
        refuseReadOnly(index);
        return false;
    }
    return QTableView::edit(index, trigger, event);
}

QModelIndex DataGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex current = currentIndex();
    if (cursorAction == MoveNext && hasTable() && current.isValid() && model_->isNewRecordRow(current.row())
        && current.column() == model_->columnCount() - 1 && model_->hasPendingEdit(current.row())) {
        // Tab past the end of a new row inserts it and opens the next one.
        if (!writeRowNow(current.row()))
            return current;
        return model_->index(model_->newRecordRow(), 0);
    }
    const QModelIndex target = QTableView::moveCursor(cursorAction, modifiers);
    const bool vertical = cursorAction == MoveUp || cursorAction == MoveDown || cursorAction == MovePageUp ||
                          cursorAction == MovePageDown || cursorAction == MoveHome || cursorAction == MoveEnd;
    if (vertical && hasTable() && current.isValid() && model_->isNewRecordRow(current.row()) &&
        model_->hasPendingEdit(current.row()) && (!target.isValid() || target.row() == current.row())) {
        // The new row is the only row (an empty table): there is no other row to move to, but
        // moving away from it still leaves it, so it is written as any left row is. Down goes on
        // to the next new row, Up stays on the row just written.
        if (!writeRowNow(current.row()))
            return current;
        const bool down = cursorAction == MoveDown || cursorAction == MovePageDown || cursorAction == MoveEnd;
        return model_->index(down ? model_->newRecordRow() : current.row(), current.column());
    }
    return target;
}

} // namespace tabulon
