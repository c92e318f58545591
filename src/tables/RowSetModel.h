#pragma once

// The grid's model over a RowSet: one column per field, one row per record in the order
// shown, and below them the new-record row. It shows each value as a person reads it (NULL
// as a grey "NULL"), takes typed text back through the column's parser, and offers the
// exports the same rows through GridSource (NULL as the empty text).
//
// A quick filter hides rows on screen only: the model's rows ("view rows") are then the rows of
// the row set that match, in their order, plus the new-record row. Every function here that
// takes a row or a QModelIndex means a view row; the exports (gridSource(), cellText()) and
// dataRowCount() always see every row of the table.

#include "RowSet.h"
#include "export/GridSource.h"

#include <QAbstractTableModel>
#include <QFont>
#include <functional>
#include <memory>
#include <vector>

namespace tabulon {

class RowSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RowSetModel(QObject* parent = nullptr);
    ~RowSetModel() override;

    // Binds the model to a row set (null: no table).
    void setRowSet(std::unique_ptr<RowSet> rows);
    RowSet* rowSet() const { return rows_.get(); }
    bool hasTable() const { return rows_ != nullptr; }

    // Data rows of the table, without the new-record row, whatever the filter hides.
    qsizetype dataRowCount() const { return rows_ ? rows_->rowCount() : 0; }
    // Data rows on screen: every data row, or those the filter lets through.
    qsizetype shownRowCount() const { return rows_ ? modelRows_ - 1 : 0; }
    // The view row of the new-record row (always the last).
    int newRecordRow() const { return static_cast<int>(shownRowCount()); }
    bool isNewRecordRow(int row) const { return rows_ && row == newRecordRow(); }

    // The row set's row shown at a view row (the new-record row gives rowSet()->rowCount()).
    qsizetype setRowOf(int viewRow) const;
    // The view row that shows a row of the row set; -1 when the filter hides it.
    int viewRowOf(qsizetype setRow) const;

    // The row set now holds rows from `first` on that the view has not been told of, added at
    // its end (as a table still being read adds them): they show above the new-record row,
    // through the filter when one is on, with rowsInserted.
    void rowsAppended(qsizetype first);

    // ---- quick filter ----
    // Shows only the rows where the shown text of some column (NULL reads "NULL") contains
    // `text`, ignoring case; the empty text shows every row again. `progress` is told how many
    // rows have been looked at (of how many) and may stop the filtering by returning false:
    // then nothing changes and false is returned. Rows in edit should be written first.
    using FilterProgress = std::function<bool(qsizetype done, qsizetype total)>;
    bool setFilter(const QString& text, const FilterProgress& progress = {});
    bool isFiltered() const { return filtered_; }
    const QString& filterText() const { return filterText_; }
    // Whether the row set's row matches `needle` (already folded by the filter); for tests.
    bool rowMatches(qsizetype setRow, const QString& text) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Typed text: parsed for the column; text that is not a value of the column is kept in
    // the cell, marked, and reported through valueRefused().
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // A value for the cell, already of the column's type (Ctrl+0 sets NULL this way).
    bool setValue(const QModelIndex& index, odbc::Value value);
    // Text for the cell as if typed; false (and nothing changed) when it is not a value of
    // the column, with the reason in `problem`.
    bool setText(const QModelIndex& index, const QString& text, QString* problem = nullptr);

    bool hasPendingEdit(int row) const { return rows_ && setRowOf(row) >= 0 && rows_->hasPendingEdit(setRowOf(row)); }
    void dropEdit(int row);
    // The row operations, with the rows the view sees kept in step.
    RowWriteResult writeRow(int row);
    RowWriteResult deleteRow(int row);
    RowWriteResult reloadRow(int row);

    // Whether the column takes typing; the server fills the others (identity, rowversion,
    // computed).
    bool isEditableColumn(int column) const { return rows_ && rows_->isEditable(column); }
    bool isKeyColumn(int column) const;
    // What the grid says when someone tries to type into a column the server fills.
    QString readOnlyMessage(int column) const;

    // The display text of a cell of the row set's row as the exports read it (NULL: empty).
    QString cellText(qsizetype row, int column) const;
    void appendCellUtf8(qsizetype row, int column, std::string& out) const;
    bool isNull(qsizetype row, int column) const;

    // What the exports read: captions, data rows in the order shown, display texts.
    const GridSource& gridSource() const;

    // The font the grid shows cells in; NULL is shown in its italic form.
    void setBaseFont(const QFont& font);
    // The hint for cells that have nothing more specific to say.
    void setCellToolTip(const QString& text) { toolTip_ = text; }

signals:
    // Rows came into the table that the filter hides: the view sees no change, but the count of
    // the table's rows did.
    void hiddenRowsChanged();
    // Typed text was not a value of its column; `message` says why.
    void valueRefused(const QModelIndex& index, const QString& message);

private:
    class Source;
    void rowChanged(int row);
    // After a delete or a reload: the row left the copy, or only its values changed.
    void rowMayHaveLeft(int row, bool left);

    class Matcher;

    std::unique_ptr<RowSet> rows_;
    std::unique_ptr<Source> source_;
    int modelRows_ = 0; // what the view was last told, kept in step by begin/end calls
    // While filtered: the row set's rows shown, ascending (view row i shows shown_[i]).
    bool filtered_ = false;
    QString filterText_;
    std::vector<qsizetype> shown_;
    QFont nullFont_;
    QString toolTip_;
};

} // namespace tabulon
