#pragma once

// The editor's grid: a table view over a RowSetModel that writes the row in edit when the
// user leaves it (and refuses the move when the server refuses the row), keeps a new-record
// row at the bottom, and speaks for itself through the program's Prompter when a value or a
// row is refused. Keyboard and clipboard follow spreadsheet habits.

#include "RowSet.h"

#include <QPointer>
#include <QTableView>
#include <cstdint>
#include <memory>
#include <optional>

class QMenu;

namespace tabulon {

struct AppContext;
class GridSource;
class RowSetModel;

class DataGrid : public QTableView {
    Q_OBJECT
public:
    explicit DataGrid(AppContext& ctx, QWidget* parent = nullptr);
    ~DataGrid() override;

    // The hint shown while the mouse rests on the grid.
    static QString toolTipText();

    // Binds the grid to a table (the first record becomes current), or to none. A pending
    // edit of the previous table is dropped: call commitPendingRow() first.
    void setRowSet(std::unique_ptr<RowSet> rows);
    void clear() { setRowSet(nullptr); }
    bool hasTable() const;
    RowSet* rowSet() const;
    RowSetModel& rowSetModel() const { return *model_; }
    // What the exports read: captions, data rows in the order shown, display texts.
    const GridSource& gridSource() const;
    // Data rows, without the new-record row; 0 without a table.
    qsizetype approximateRowCount() const;

    // Writes the row in edit now, as leaving it would. True when nothing was pending or the
    // server took it; false when it was refused (the grid has said why, the values stay).
    bool commitPendingRow();
    // For leaving the table ("< Back", "Quit", the close box): writes every row in edit; when
    // one is refused, asks once whether to leave all the same, and drops the unsaved changes
    // when the answer is yes. True when the table may be left.
    bool writeOrDropForLeaving();
    // Makes the new-record row current (writing the row in edit first, as any move does).
    void moveToNewRecordRow();

    // Ctrl+0: the current cell becomes NULL.
    void setCurrentCellNull();
    // Ctrl+C: the selected cells as TAB-separated text on the clipboard.
    void copySelection();
    QString selectionText() const;
    // Ctrl+V: cells from TAB-separated text, from the current cell rightwards and
    // downwards; rows below the last become new rows. Each row is written as it is filled.
    // Refused whole (nothing changed) when it is too wide or holds a value its column
    // cannot take.
    bool pasteText(const QString& text);
    void paste();
    // Delete with whole rows selected: asks, then deletes each row on the server.
    bool deleteSelectedRows();
    // A header click: sorts the client copy by the column (again: the other way).
    void sortByHeader(int column);

    // The quick filter: only the rows whose shown texts contain `text` (ignoring case) stay on
    // screen; the empty text shows every row again. It hides rows on screen only: the exports
    // still read every row. The row in edit is written first, and the current row stays
    // current when the filter lets it through. False (nothing changed) when the row in edit
    // was refused or the person stopped the filtering of a big table.
    bool setFilter(const QString& text);
    bool isFiltered() const;
    QString filterText() const;

    // The same table read again (Refresh): the sort and the filter stay, and the current row
    // stays current where it still exists, found by its key where the table has one, else by
    // its place. Pending edits of the old copy are dropped: call commitPendingRow() first.
    void replaceRowSet(std::unique_ptr<RowSet> rows);

    // The menu shown on a right click on a cell or a row number. A right click outside the
    // selection first moves there (and selects the whole row on a row number), as a left
    // click would.
    void setContextMenu(QMenu* menu) { contextMenu_ = menu; }
    // Whether whole rows are selected (what Delete and "Delete Rows" act on).
    bool hasWholeRowsSelected() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class DataGridSelectionModel;
    friend class DataGridDelegate;

    // Whether the current row may be left for `target`: writes the row in edit first.
    bool mayMoveTo(const QModelIndex& target);
    // Commits the open cell editor into the model, and closes it.
    void flushEditor();
    bool writeRowNow(int row);
    void reportRefusal(int row, const RowWriteResult& result);
    void showQueuedRefusal();
    // Says why a column the server fills cannot be typed into.
    void refuseReadOnly(const QModelIndex& index);
    void moveCurrentQuietly(const QModelIndex& index);
    void showContextMenu(const QPoint& pos, bool onRowHeader);
    // Puts the current row at the view row of `setRow` when it is shown, else near `viewRow`.
    void restorePlace(qsizetype setRow, int viewRow, int column);
    void fitColumns();
    void say(const QString& text);

    AppContext& ctx_;
    RowSetModel* model_ = nullptr;
    class DataGridSelectionModel* selection_ = nullptr;
    QPointer<QWidget> editor_;
    int quiet_ = 0; // > 0 while the grid moves the current row itself
    QString queuedRefusal_;
    bool queuedKeepsText_ = true; // the refused text stays in the cell (not so for a column the server fills)
    int sortColumn_ = -1;
    bool sortAscending_ = true;
    QMenu* contextMenu_ = nullptr;
    // The data row that was current when a filter was last changed: when a filter shows no row,
    // the next one returns to it.
    std::optional<std::uint32_t> filterAnchor_;
};

} // namespace tabulon
