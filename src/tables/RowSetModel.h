#pragma once

// The grid's model over a RowSet: one column per field, one row per record in the order
// shown, and below them the new-record row. It shows each value as a person reads it (NULL
// as a grey "NULL"), takes typed text back through the column's parser, and offers the
// exports the same rows through GridSource (NULL as the empty text).

#include "RowSet.h"
#include "export/GridSource.h"

#include <QAbstractTableModel>
#include <QFont>
#include <memory>

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

    // Data rows, without the new-record row.
    qsizetype dataRowCount() const { return rows_ ? rows_->rowCount() : 0; }
    int newRecordRow() const { return static_cast<int>(dataRowCount()); }
    bool isNewRecordRow(int row) const { return rows_ && row == newRecordRow(); }

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

    bool hasPendingEdit(int row) const { return rows_ && rows_->hasPendingEdit(row); }
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

    // The display text of a cell as the exports and the clipboard read it (NULL: empty).
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
    // Typed text was not a value of its column; `message` says why.
    void valueRefused(const QModelIndex& index, const QString& message);

private:
    class Source;
    void rowChanged(int row);
    // After a delete or a reload: the row left the copy, or only its values changed.
    void rowMayHaveLeft(int row);

    std::unique_ptr<RowSet> rows_;
    std::unique_ptr<Source> source_;
    int modelRows_ = 0; // what the view was last told, kept in step by begin/end calls
    QFont nullFont_;
    QString toolTip_;
};

} // namespace tabulon
