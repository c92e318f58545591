#pragma once

// How a ResultSet reads its rows.
//
// Block mode: every column is bound column-wise (SQL_BIND_BY_COLUMN) to an array of
// `capacity` rows, buffers sized from the column metadata, and one SQLFetch brings a whole
// block. Integers and reals land in 8-byte arrays, text as UTF-16 and binary as bytes; cell()
// converts a text cell to UTF-8 into one reused buffer per column.
//
// Row mode: one row per fetch, every column read with SQLGetData in pieces until it is whole.
// A result set starts in row mode when a column may hold values too long to bind (text or
// binary of unknown or huge size: text, ntext, image, xml, (n)varchar(max), varbinary(max)).
//
// Drivers that do not enforce declared sizes (SQLite) can still hand a block a value longer
// than its buffer. The drivers cannot go back inside a forward-only block (no SQL_GD_BLOCK),
// so the statement is run again in row mode, the rows already handed out are skipped, and the
// rows of the current block are read again whole and compared with what the block held; a
// difference means the table changed in between, and the read fails rather than mixing rows.

#include "OdbcDetail.h"

#include <functional>

namespace odbc {

struct ResultSet::Impl {
    using Runner = std::function<SQLRETURN(const detail::StmtHandle&)>;

    static std::unique_ptr<Impl> start(std::shared_ptr<detail::ConnectedDbc> dbc, Runner run);

    bool fetchBlock();
    CellView cell(std::size_t row, std::size_t column);

    struct Column {
        Kind kind = Kind::Text;
        bool longValues = false;  // read with SQLGetData
        SQLLEN width = 0;          // bytes per row in block mode
        std::vector<unsigned char> data;
        std::vector<SQLLEN> indicator;
        std::string utf8;          // the converted text of the last cell() asked for

        // Row mode: the one current value.
        bool null = true;
        std::int64_t integer = 0;
        double real = 0;
        std::u16string wideValue;
        std::string bytes;
    };

    std::shared_ptr<detail::ConnectedDbc> dbc;
    Runner run;
    detail::StmtHandle stmt;
    std::vector<ColumnInfo> columns;
    std::vector<Column> cols;
    bool rowMode = false;
    bool done = false;
    SQLULEN capacity = 1;
    SQLULEN fetched = 0;
    std::vector<SQLUSMALLINT> status;
    std::size_t rowsBefore = 0; // rows handed out before the current block

    // After a switch to row mode: the block that overflowed, kept to compare its rows with
    // their second reading.
    std::vector<Column> recheck;
    std::size_t recheckRows = 0;
    std::size_t recheckDone = 0;

private:
    bool execute();
    void describe();
    std::string columnName(SQLUSMALLINT c, SQLSMALLINT& type, SQLULEN& size, SQLSMALLINT& digits);
    void bindBlock();
    bool blockOverflowed() const;
    void restartInRowMode();
    void readRow();
    void compareWithRecheck();
    void finish();
};

} // namespace odbc
