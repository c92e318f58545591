#pragma once

// The client-side copy of one table: every row of "SELECT * FROM [t];" as read, the column
// metadata, the key columns, and the edits a person has made but not yet written. A row is
// written with one parameterised statement inside a transaction that is rolled back unless
// exactly one row was affected; the originals stay as read until the server has the change.

#include "connection/odbc/Odbc.h"

#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tabulon {

// The outcome of writing, deleting or reloading one row.
struct RowWriteResult {
    enum class Action { Update, Insert, Delete, Reload };
    enum class Status {
        Written,         // done (or there was nothing to write)
        InvalidValue,    // a typed value is not a value of its column
        ServerError,     // the server refused the statement
        NoRowMatched,    // the row was changed or deleted by someone else since it was read
        ManyRowsMatched, // the row matches several rows: duplicate rows and no key
        CannotIdentify,  // no key and no column whose values can be compared
        CountUnknown,    // the driver could not tell how many rows were affected
        Locked,          // someone else holds a lock on the table (or the server gave up waiting)
        RowGone,         // reload: the row is no longer on the server; it left the copy
        OutcomeUnknown,  // the answer to the COMMIT was lost and the server could not be asked
                         // afterwards; the edit stays, and is checked on the server before it
                         // is sent again
    };
    // What happened around the COMMIT, beside the status.
    enum class After {
        Nothing,
        ConnectionFailed, // written: the server committed, then the connection failed
        ReadBackFailed,   // written: the server committed, then reading the row back failed
        FoundSaved,       // written: the COMMIT's answer was lost; the server, asked, holds the change
        FoundNotSaved,    // refused: the COMMIT's answer was lost; the server, asked, does not hold it
    };
    Action action = Action::Update;
    Status status = Status::Written;
    int column = -1;    // InvalidValue: the column
    QString value;      // InvalidValue: the refused text
    QString detail;     // InvalidValue: what is expected; ServerError: the driver's text
    qsizetype rows = 0; // rows the statement affected, when known
    After after = After::Nothing;
    QString afterDetail; // the driver's text of the failure around the COMMIT

    bool ok() const { return status == Status::Written; }
};

class RowSet {
public:
    // How long reading the table, and each write of a row, may wait for the server (above all
    // for a lock that someone else holds) before it is given up and reported.
    static constexpr std::chrono::seconds kReadWait{30};
    static constexpr std::chrono::seconds kWriteWait{10};

    // Called after each block of rows with the number read so far; false stops the reading.
    using Progress = std::function<bool(std::size_t rowsRead)>;

    // Reads the whole table through the connection, which the row set keeps for its writes.
    // Returns null when `progress` stopped the reading (nothing is kept then). Throws
    // odbc::Error with the driver's text when the table cannot be read.
    static std::unique_ptr<RowSet> open(odbc::Connection connection, const QString& table,
                                        const Progress& progress = {});
    ~RowSet();
    RowSet(const RowSet&) = delete;
    RowSet& operator=(const RowSet&) = delete;

    const QString& table() const { return table_; }
    odbc::Connection& connection() { return connection_; }

    int columnCount() const { return static_cast<int>(columns_.size()); }
    const odbc::ColumnInfo& column(int c) const { return columns_[static_cast<std::size_t>(c)]; }
    QString columnName(int c) const { return QString::fromStdString(column(c).name); }
    // The columns that identify a row (indexes), empty when the table has no key.
    const std::vector<int>& keyColumns() const { return key_; }
    // Identity, rowversion and computed columns are filled by the server, never typed.
    bool isEditable(int c) const;

    // Data rows in the order shown; row rowCount() is the new-record row.
    qsizetype rowCount() const { return static_cast<qsizetype>(order_.size()); }
    qsizetype newRecordRow() const { return rowCount(); }

    // The value as read (or as last written). Null for the new-record row. The view stays
    // valid until the row set changes.
    odbc::CellView stored(qsizetype row, int column) const;
    // What the grid shows: the pending edit when there is one, else the stored value.
    odbc::CellView shown(qsizetype row, int column) const;

    // ---- edits kept apart from the originals until the row is written ----
    bool hasPendingEdit(qsizetype row) const;
    bool isCellEdited(qsizetype row, int column) const;
    // The text a person typed that is not a value of the column; null when none.
    const QString* refusedText(qsizetype row, int column) const;
    const QString* refusedProblem(qsizetype row, int column) const;
    void setCell(qsizetype row, int column, odbc::Value value);
    void setRefusedText(qsizetype row, int column, const QString& text, const QString& problem);
    // Drops the row's pending edit (Esc); the stored values show again.
    void dropEdit(qsizetype row);
    // The rows that hold pending edits (the new-record row included), in the order shown.
    std::vector<qsizetype> rowsInEdit() const;

    // Writes the row's pending edit: UPDATE for a data row, INSERT for the new-record row.
    // On success the stored values become the written ones, read back from the server where
    // the row can be found again (server defaults, identity, computed values). On refusal the
    // pending edit stays as it was. An insert appends the row at rowCount() - 1.
    RowWriteResult writeRow(qsizetype row);
    // Deletes the data row on the server and then from the copy.
    RowWriteResult deleteRow(qsizetype row);
    // Reads the row again from the server and drops its pending edit. With a key the row is
    // found by its key; without one by all its comparable values as read.
    RowWriteResult reloadRow(qsizetype row);

    // Reorders the rows shown by the column's natural order, NULL first (ascending) or last
    // (descending); equal values keep their order. Nothing is sent to the server.
    void sortBy(int column, bool ascending);
    // The stable identity of the row shown at `row` (survives sorting and deletes).
    std::uint32_t rowId(qsizetype row) const { return order_[static_cast<std::size_t>(row)]; }
    qsizetype rowOfId(std::uint32_t id) const;

    // Bytes held by the copy (for measuring).
    std::size_t memoryBytes() const;

private:
    RowSet(odbc::Connection connection, QString table);

    struct PendingCell {
        bool set = false;
        bool refused = false;
        odbc::Value value;
        QString text;    // refused: what was typed
        QString problem; // refused: what is expected
    };
    using PendingRow = std::vector<PendingCell>;

    struct Segment {
        std::vector<std::uint64_t> nulls;
        std::vector<std::int64_t> integers;
        std::vector<double> reals;
        std::vector<std::uint32_t> ends; // end offset of each value in `bytes`
        std::string bytes;
    };
    struct ColumnStore {
        odbc::Kind kind = odbc::Kind::Text;
        std::vector<Segment> segments;
    };

    static constexpr unsigned kSegmentShift = 16;
    static constexpr std::size_t kSegmentRows = std::size_t(1) << kSegmentShift;
    static constexpr std::uint32_t kNewRowId = 0xFFFFFFFFu;

    void appendLoaded(const odbc::ResultSet& rs, std::size_t blockRows);
    void finishSegments();
    odbc::CellView storedById(std::uint32_t id, int column) const;
    std::vector<odbc::Value> storedRow(std::uint32_t id) const;
    void replaceStored(std::uint32_t id, std::vector<odbc::Value> values);
    std::uint32_t idOf(qsizetype row) const;
    PendingRow* pendingOf(qsizetype row);
    const PendingRow* pendingOf(qsizetype row) const;
    PendingRow& pendingFor(qsizetype row);

    // The WHERE clause that finds a row by the given values; false when nothing can.
    bool buildMatch(const std::vector<odbc::Value>& values, const std::vector<bool>& use,
                    std::string& where, std::vector<odbc::Param>& params) const;
    std::vector<bool> identifyingColumns(const std::vector<int>& changed) const;
    // The WHERE clause that finds the stored row again; false, with `res` saying why, when no
    // column can identify it.
    bool matchStoredRow(std::uint32_t id, std::string& where, std::vector<odbc::Param>& params,
                        RowWriteResult& res) const;
    // Drops a row that left the table from the copy.
    void forgetRow(qsizetype row, std::uint32_t id);
    odbc::Param paramFor(int column, const odbc::Value& value) const;
    // How to find out from the server whether a write whose COMMIT went unanswered took
    // effect: the rows matching `where` are counted, and the write is done when `doneWhen`
    // (0 or 1) of them match; any other count leaves it unknown.
    struct Check {
        std::string where;
        std::vector<odbc::Param> params;
        int doneWhen = 1;
    };
    enum class Known { Done, NotDone, Unknown };
    Known findOut(const std::optional<Check>& check, std::vector<odbc::Value>* found);
    // An edit whose write is in doubt: checked on the server before it is sent again.
    struct Unsure {
        std::optional<Check> check;
        std::vector<odbc::Value> written; // the row as it would stand on the server
        QString detail;
    };
    RowWriteResult runOneRow(RowWriteResult::Action action, const std::string& sql,
                             const std::vector<odbc::Param>& params,
                             std::optional<std::int64_t>* identity = nullptr,
                             const std::function<std::optional<Check>()>& check = {},
                             std::vector<odbc::Value>* found = nullptr);
    // Ends a transaction that failed; false when the connection would not even do that (the
    // next write tries again before anything else).
    bool rollbackQuietly();
    // Reads the rows matching `where`; returns how many there were (counting stops at 2) and
    // the first one.
    int readBack(const std::string& where, const std::vector<odbc::Param>& params,
                 std::vector<odbc::Value>& row);

    odbc::Connection connection_;
    QString table_;
    std::vector<odbc::ColumnInfo> columns_;
    std::vector<int> key_;
    bool exactReals_ = true; // whether the driver hands floating-point values over unrounded
    std::vector<ColumnStore> store_;
    std::uint32_t loaded_ = 0;              // rows in the column store
    std::uint32_t nextId_ = 0;              // ids of inserted rows follow the loaded ones
    std::vector<std::uint32_t> order_;      // the rows shown, by id
    std::vector<std::uint64_t> replacedBits_;
    std::unordered_map<std::uint32_t, std::vector<odbc::Value>> replaced_;
    std::unordered_map<std::uint32_t, PendingRow> pending_;
    std::unordered_map<std::uint32_t, Unsure> unsure_;
    bool transactionLeftOpen_ = false;
};

// What the grid says when a write is refused: the reason in plain words and the driver's text.
// With `leaving`, without the advice to correct the row (the caller asks what to do instead).
QString describeRefusal(const RowSet& rows, const RowWriteResult& result, bool leaving = false);
// What the grid says about a write that was done but met a failure around its COMMIT (the
// connection failing right afterwards, or the answer lost and the server asked); empty when
// there is nothing to say.
QString describeWritten(const RowSet& rows, const RowWriteResult& result);
// What the grid says when typed text is not a value of its column.
QString describeRefusedValue(const RowSet& rows, int column, const QString& text, const QString& problem);

} // namespace tabulon
