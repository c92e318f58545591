#include "RowSet.h"

#include "ServerDialect.h"
#include "ValueFormat.h"
#include "app/ErrorReport.h"
#include "connection/SqlNames.h"

#include <QCollator>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <algorithm>
#include <cmath>
#include <numeric>

namespace tabulon {

namespace {

std::string bracketed(const std::string& name)
{
    return bracketName(QString::fromStdString(name)).toStdString();
}

// A refusal that comes from someone else's lock, not from the row: SQLite's "database is locked"
// and "database table is locked", SQL Server's lock timeout (1222) and deadlock (1205), and a
// statement the driver gave up on (HYT00), which on SQL Server is a lock wait.
// The server's own wait for a lock during a write (SET LOCK_TIMEOUT), in milliseconds: two
// seconds inside the driver's time limit for the write.
constexpr long long kLockWaitMs =
    std::chrono::duration_cast<std::chrono::milliseconds>(RowSet::kWriteWait - std::chrono::seconds(2)).count();

bool isLockConflict(const std::exception& e)
{
    const auto* db = dynamic_cast<const odbc::Error*>(&e);
    if (!db)
        return false;
    if (db->sqlState() == "HYT00" || db->sqlState() == "40001")
        return true;
    for (const odbc::DiagnosticRecord& r : db->records()) {
        if (r.sqlState == "HYT00" || r.nativeError == 1222 || r.nativeError == 1205)
            return true;
        if ((r.nativeError == 5 || r.nativeError == 6) && r.message.find("locked") != std::string::npos)
            return true;
        if (r.message.find("due to lock timeout") != std::string::npos) // 1222 as PostgreSQL-based servers word it
            return true;
    }
    return false;
}

RowWriteResult::Status refusalOf(const std::exception& e)
{
    return isLockConflict(e) ? RowWriteResult::Status::Locked : RowWriteResult::Status::ServerError;
}

QString describe(const std::exception& e)
{
    if (const auto* db = dynamic_cast<const odbc::Error*>(&e))
        return QString::fromStdString(db->description());
    return QString::fromUtf8(e.what());
}

// A value of the column's kind, whatever the driver handed over.
odbc::CellView coerce(odbc::Kind kind, const odbc::CellView& v, std::string& scratch)
{
    if (v.kind == odbc::Kind::Null || v.kind == kind)
        return v;
    odbc::CellView out;
    out.kind = kind;
    switch (kind) {
    case odbc::Kind::Integer:
        out.integer = v.kind == odbc::Kind::Real ? static_cast<std::int64_t>(v.real)
                                                 : std::strtoll(std::string(v.bytes).c_str(), nullptr, 10);
        break;
    case odbc::Kind::Real:
        out.real = v.kind == odbc::Kind::Integer ? static_cast<double>(v.integer)
                                                 : std::strtod(std::string(v.bytes).c_str(), nullptr);
        break;
    default:
        if (v.kind == odbc::Kind::Integer)
            scratch = std::to_string(v.integer);
        else if (v.kind == odbc::Kind::Real)
            scratch = std::to_string(v.real);
        else
            scratch.assign(v.bytes);
        out.bytes = scratch;
        break;
    }
    return out;
}

// The index of the column of that name: the exact name first, else the same name in another
// case (some catalogues lower-case what they list). -1 when there is none.
int findColumn(const std::vector<odbc::ColumnInfo>& columns, const std::string& name)
{
    for (std::size_t c = 0; c < columns.size(); ++c)
        if (columns[c].name == name)
            return static_cast<int>(c);
    const QString wanted = QString::fromStdString(name);
    for (std::size_t c = 0; c < columns.size(); ++c)
        if (QString::fromStdString(columns[c].name).compare(wanted, Qt::CaseInsensitive) == 0)
            return static_cast<int>(c);
    return -1;
}

// Marks the columns the server fills itself as its own catalogue names them: the drivers do not
// say so reliably (an identity column on SQL Server comes as an ordinary int). What the driver
// did say stands; the catalogue only adds to it.
void markGeneratedColumns(std::vector<odbc::ColumnInfo>& columns, odbc::Connection& connection,
                          const QString& table)
{
    std::vector<CatalogueColumn> listed;
    try {
        listed = catalogueColumns(connection, table);
    } catch (const odbc::Error&) {
        return; // the driver's metadata stands; the server still refuses what it fills itself
    }
    for (const CatalogueColumn& entry : listed) {
        const int c = findColumn(columns, entry.name);
        if (c < 0)
            continue;
        odbc::ColumnInfo& info = columns[static_cast<std::size_t>(c)];
        switch (entry.generated) {
        case Generated::No: break;
        case Generated::Identity: info.autoIncrement = true; break;
        case Generated::RowVersion:
            info.rowVersion = true;
            info.updatable = false;
            break;
        case Generated::Computed: info.updatable = false; break;
        }
    }
}

template <typename V>
void shrinkIfSlack(V& v)
{
    if (v.capacity() > v.size() + v.size() / 8 + 64)
        v.shrink_to_fit();
}

} // namespace

RowSet::RowSet(odbc::Connection connection, QString table)
    : connection_(std::move(connection)), table_(std::move(table))
{
}

RowSet::~RowSet() = default;

std::unique_ptr<RowSet> RowSet::open(odbc::Connection connection, const QString& table,
                                     const Progress& progress)
{
    std::unique_ptr<RowSet> rows(new RowSet(std::move(connection), table));
    rows->connection_.setQueryTimeout(kReadWait);
    {
        odbc::ResultSet result = rows->connection_.query(selectAllStatement(table).toStdString());
        rows->columns_ = result.columns();
        for (odbc::ColumnInfo& info : rows->columns_) {
            // Some drivers count a name's bytes where they mean its characters.
            if (const auto end = info.name.find('\0'); end != std::string::npos)
                info.name.resize(end);
            // A driver that rewrites the statement (SQLite's takes "{...}" inside a bracketed
            // name for an ODBC escape sequence) may read another table than the one named;
            // writes would then go there too. Where the driver tells the table it read, it
            // must be this one.
            const QString read = QString::fromStdString(info.baseTable);
            if (!read.isEmpty() && read.compare(table, Qt::CaseInsensitive) != 0)
                throw AppError(QStringLiteral("The database driver read the table \"%1\" when the table \"%2\" was "
                                              "asked for, so the table is not opened: changes would go to the wrong "
                                              "table.%3")
                                   .arg(read, table,
                                        table.contains(QLatin1Char('{'))
                                            ? QStringLiteral(" (The driver takes \"{...}\" in a name for a command of "
                                                             "its own.)")
                                            : QString()));
        }
        rows->store_.resize(rows->columns_.size());
        for (std::size_t c = 0; c < rows->columns_.size(); ++c) {
            odbc::Kind kind = rows->columns_[c].kind;
            rows->store_[c].kind = kind == odbc::Kind::Null ? odbc::Kind::Text : kind;
        }
        while (result.fetchBlock()) {
            rows->appendLoaded(result, result.blockRows());
            if (progress && !progress(rows->loaded_))
                return nullptr;
        }
    }
    rows->finishSegments();
    rows->connection_.setQueryTimeout(kWriteWait);
#ifdef __GLIBC__
    // The driver and the growing buffers leave freed memory behind; hand it back, so that the
    // open table costs what it holds.
    malloc_trim(0);
#endif
    rows->nextId_ = rows->loaded_;
    rows->order_.resize(rows->loaded_);
    std::iota(rows->order_.begin(), rows->order_.end(), 0u);
    rows->replacedBits_.assign((rows->loaded_ + 63) / 64, 0);

    // The SQLite driver reads every value through its text form, which keeps 15 digits of
    // a double; such values are matched within that rounding (the one-row check still holds).
    try {
        rows->exactReals_ = rows->connection_.dbmsName() != "SQLite";
    } catch (const odbc::Error&) {
        rows->exactReals_ = true;
    }
    // On SQL Server a write that meets someone else's lock is ended by the server once the lock
    // wait runs out (error 1222), and the connection stays usable for the next attempt. The
    // driver's own time limit, a little longer, is the last resort only: FreeTDS cancels the
    // statement then, and gives the connection up when the server is slow to confirm that.
    if (rows->exactReals_) {
        try {
            rows->connection_.execute("SET LOCK_TIMEOUT " + std::to_string(kLockWaitMs) + ";");
        } catch (const odbc::Error&) {
            // Then the driver's time limit alone bounds the wait.
        }
    }
    // Asked only now: some drivers allow one active statement per connection.
    std::vector<std::string> keyNames;
    try {
        keyNames = rows->connection_.keyColumns(table.toStdString());
    } catch (const odbc::Error&) {
        keyNames.clear(); // no key known: rows are matched by all their comparable values
    }
    for (const std::string& name : keyNames) {
        const int found = findColumn(rows->columns_, name);
        if (found < 0) { // a key we cannot see is no key for us
            rows->key_.clear();
            break;
        }
        rows->key_.push_back(found);
    }
    markGeneratedColumns(rows->columns_, rows->connection_, table);
    return rows;
}

void RowSet::appendLoaded(const odbc::ResultSet& rs, std::size_t blockRows)
{
    if (static_cast<std::uint64_t>(loaded_) + blockRows >= kNewRowId)
        throw AppError(QStringLiteral("The table has more rows than Tabulon can hold."));
    std::string scratch;
    for (std::size_t c = 0; c < store_.size(); ++c) {
        ColumnStore& cs = store_[c];
        std::size_t row = loaded_;
        for (std::size_t r = 0; r < blockRows; ++r, ++row) {
            const std::size_t segIndex = row >> kSegmentShift;
            if (segIndex == cs.segments.size()) {
                const std::size_t previousBytes = cs.segments.empty() ? 0 : cs.segments.back().bytes.size();
                if (!cs.segments.empty()) {
                    Segment& done = cs.segments.back();
                    shrinkIfSlack(done.bytes);
                }
                Segment& s = cs.segments.emplace_back();
                switch (cs.kind) {
                case odbc::Kind::Integer: s.integers.reserve(kSegmentRows); break;
                case odbc::Kind::Real: s.reals.reserve(kSegmentRows); break;
                default:
                    s.ends.reserve(kSegmentRows);
                    if (previousBytes)
                        s.bytes.reserve(previousBytes + previousBytes / 16);
                    break;
                }
            }
            Segment& s = cs.segments.back();
            const odbc::CellView v = coerce(cs.kind, rs.cell(r, c), scratch);
            if (v.kind == odbc::Kind::Null) {
                if (s.nulls.empty())
                    s.nulls.assign(kSegmentRows / 64, 0);
                const std::size_t i = row & (kSegmentRows - 1);
                s.nulls[i >> 6] |= std::uint64_t(1) << (i & 63);
            }
            switch (cs.kind) {
            case odbc::Kind::Integer: s.integers.push_back(v.integer); break;
            case odbc::Kind::Real: s.reals.push_back(v.real); break;
            default:
                if (s.bytes.size() + v.bytes.size() > 0xFFFFFFF0u)
                    throw AppError(QStringLiteral("The table holds more data than Tabulon can hold."));
                s.bytes.append(v.bytes);
                s.ends.push_back(static_cast<std::uint32_t>(s.bytes.size()));
                break;
            }
        }
    }
    loaded_ += static_cast<std::uint32_t>(blockRows);
}

void RowSet::finishSegments()
{
    for (ColumnStore& cs : store_) {
        if (cs.segments.empty())
            continue;
        Segment& s = cs.segments.back();
        shrinkIfSlack(s.integers);
        shrinkIfSlack(s.reals);
        shrinkIfSlack(s.ends);
        shrinkIfSlack(s.bytes);
    }
}

bool RowSet::isEditable(int c) const { return !isGenerated(column(c)); }

std::uint32_t RowSet::idOf(qsizetype row) const
{
    return row >= rowCount() ? kNewRowId : order_[static_cast<std::size_t>(row)];
}

qsizetype RowSet::rowOfId(std::uint32_t id) const
{
    if (id == kNewRowId)
        return rowCount();
    const auto it = std::find(order_.begin(), order_.end(), id);
    return it == order_.end() ? -1 : static_cast<qsizetype>(it - order_.begin());
}

odbc::CellView RowSet::storedById(std::uint32_t id, int column) const
{
    if (id == kNewRowId)
        return {};
    if (id >= loaded_ || (replacedBits_[id >> 6] >> (id & 63) & 1)) {
        const auto& values = replaced_.at(id);
        return viewOf(values[static_cast<std::size_t>(column)]);
    }
    const ColumnStore& cs = store_[static_cast<std::size_t>(column)];
    const Segment& s = cs.segments[id >> kSegmentShift];
    const std::size_t i = id & (kSegmentRows - 1);
    odbc::CellView v;
    if (!s.nulls.empty() && (s.nulls[i >> 6] >> (i & 63) & 1))
        return v;
    v.kind = cs.kind;
    switch (cs.kind) {
    case odbc::Kind::Integer: v.integer = s.integers[i]; break;
    case odbc::Kind::Real: v.real = s.reals[i]; break;
    default: {
        const std::uint32_t begin = i == 0 ? 0 : s.ends[i - 1];
        v.bytes = std::string_view(s.bytes.data() + begin, s.ends[i] - begin);
        break;
    }
    }
    return v;
}

std::vector<odbc::Value> RowSet::storedRow(std::uint32_t id) const
{
    std::vector<odbc::Value> values;
    values.reserve(columns_.size());
    for (int c = 0; c < columnCount(); ++c)
        values.push_back(odbc::Value::fromView(storedById(id, c)));
    return values;
}

void RowSet::replaceStored(std::uint32_t id, std::vector<odbc::Value> values)
{
    if (id < loaded_)
        replacedBits_[id >> 6] |= std::uint64_t(1) << (id & 63);
    replaced_[id] = std::move(values);
}

odbc::CellView RowSet::stored(qsizetype row, int column) const { return storedById(idOf(row), column); }

odbc::CellView RowSet::shown(qsizetype row, int column) const
{
    if (const PendingRow* p = pendingOf(row)) {
        const PendingCell& cell = (*p)[static_cast<std::size_t>(column)];
        if (cell.set && !cell.refused)
            return viewOf(cell.value);
    }
    return stored(row, column);
}

RowSet::PendingRow* RowSet::pendingOf(qsizetype row)
{
    if (pending_.empty())
        return nullptr;
    const auto it = pending_.find(idOf(row));
    return it == pending_.end() ? nullptr : &it->second;
}

const RowSet::PendingRow* RowSet::pendingOf(qsizetype row) const
{
    if (pending_.empty())
        return nullptr;
    const auto it = pending_.find(idOf(row));
    return it == pending_.end() ? nullptr : &it->second;
}

RowSet::PendingRow& RowSet::pendingFor(qsizetype row)
{
    PendingRow& p = pending_[idOf(row)];
    if (p.empty())
        p.resize(columns_.size());
    return p;
}

bool RowSet::hasPendingEdit(qsizetype row) const { return pendingOf(row) != nullptr; }

bool RowSet::isCellEdited(qsizetype row, int column) const
{
    const PendingRow* p = pendingOf(row);
    return p && (*p)[static_cast<std::size_t>(column)].set;
}

const QString* RowSet::refusedText(qsizetype row, int column) const
{
    const PendingRow* p = pendingOf(row);
    if (!p || !(*p)[static_cast<std::size_t>(column)].refused)
        return nullptr;
    return &(*p)[static_cast<std::size_t>(column)].text;
}

const QString* RowSet::refusedProblem(qsizetype row, int column) const
{
    const PendingRow* p = pendingOf(row);
    if (!p || !(*p)[static_cast<std::size_t>(column)].refused)
        return nullptr;
    return &(*p)[static_cast<std::size_t>(column)].problem;
}

void RowSet::setCell(qsizetype row, int column, odbc::Value value)
{
    const bool same = sameValue(viewOf(value), stored(row, column));
    if (same) {
        // Typing the stored value back is no change; a row without changes is not in edit.
        PendingRow* p = pendingOf(row);
        if (!p)
            return;
        (*p)[static_cast<std::size_t>(column)] = PendingCell{};
        if (std::none_of(p->begin(), p->end(), [](const PendingCell& c) { return c.set; }))
            pending_.erase(idOf(row));
        return;
    }
    PendingCell& cell = pendingFor(row)[static_cast<std::size_t>(column)];
    cell.set = true;
    cell.refused = false;
    cell.value = std::move(value);
    cell.text.clear();
    cell.problem.clear();
}

void RowSet::setRefusedText(qsizetype row, int column, const QString& text, const QString& problem)
{
    PendingCell& cell = pendingFor(row)[static_cast<std::size_t>(column)];
    cell.set = true;
    cell.refused = true;
    cell.value = {};
    cell.text = text;
    cell.problem = problem;
}

void RowSet::dropEdit(qsizetype row)
{
    pending_.erase(idOf(row));
    unsure_.erase(idOf(row));
}

std::vector<qsizetype> RowSet::rowsInEdit() const
{
    std::vector<qsizetype> rows;
    for (const auto& [id, p] : pending_)
        rows.push_back(rowOfId(id));
    std::sort(rows.begin(), rows.end());
    return rows;
}

odbc::Param RowSet::paramFor(int c, const odbc::Value& value) const
{
    const odbc::ColumnInfo& col = column(c);
    odbc::Param p;
    p.value = value;
    p.sqlType = bindTypeOf(col, value); // the column's type, or the one that carries the value whole
    p.columnSize = col.columnSize;
    p.decimalDigits = col.decimalDigits;
    if (value.kind == odbc::Kind::Text || value.kind == odbc::Kind::Binary)
        p.columnSize = std::max(p.columnSize, value.bytes.size());
    return p;
}

std::vector<bool> RowSet::identifyingColumns(const std::vector<int>& changed) const
{
    std::vector<bool> use(columns_.size(), false);
    if (key_.empty()) {
        for (int c = 0; c < columnCount(); ++c)
            use[static_cast<std::size_t>(c)] = isComparable(column(c));
        return use;
    }
    for (int c : key_)
        use[static_cast<std::size_t>(c)] = true;
    for (int c : changed)
        use[static_cast<std::size_t>(c)] = isComparable(column(c));
    for (int c : key_)
        use[static_cast<std::size_t>(c)] = true;
    return use;
}

bool RowSet::buildMatch(const std::vector<odbc::Value>& values, const std::vector<bool>& use,
                        std::string& where, std::vector<odbc::Param>& params) const
{
    bool any = false;
    for (int c = 0; c < columnCount(); ++c) {
        if (!use[static_cast<std::size_t>(c)] || !isComparable(column(c)))
            continue;
        if (any)
            where += " AND ";
        any = true;
        const odbc::Value& v = values[static_cast<std::size_t>(c)];
        where += bracketed(column(c).name);
        if (v.isNull()) {
            where += " IS NULL";
        } else if (v.kind == odbc::Kind::Real && !exactReals_ && v.real != 0) {
            const double margin = std::fabs(v.real) * 1e-14;
            where += " BETWEEN ? AND ?";
            params.push_back(paramFor(c, odbc::Value::fromReal(v.real - margin)));
            params.push_back(paramFor(c, odbc::Value::fromReal(v.real + margin)));
        } else {
            where += " = ?";
            params.push_back(paramFor(c, v));
        }
    }
    return any;
}

bool RowSet::rollbackQuietly()
{
    // The statement already failed; its message is the one worth showing. A second attempt
    // covers a call that failed once; after that the next write tries again first, so that a
    // refused write can never be committed together with a later one.
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            connection_.rollback();
            transactionLeftOpen_ = false;
            return true;
        } catch (const std::exception&) {
        }
    }
    transactionLeftOpen_ = true;
    return false;
}

RowSet::Known RowSet::findOut(const std::optional<Check>& check, std::vector<odbc::Value>* found)
{
    if (!check)
        return Known::Unknown;
    std::vector<odbc::Value> row;
    int count = -1;
    try {
        count = readBack(check->where, check->params, row);
    } catch (const std::exception&) {
        return Known::Unknown;
    }
    if (count < 0 || count > 1)
        return Known::Unknown;
    if (count != check->doneWhen)
        return Known::NotDone;
    if (found && count == 1)
        *found = std::move(row);
    return Known::Done;
}

RowWriteResult RowSet::runOneRow(RowWriteResult::Action action, const std::string& sql,
                                 const std::vector<odbc::Param>& params,
                                 std::optional<std::int64_t>* identity,
                                 const std::function<std::optional<Check>()>& check,
                                 std::vector<odbc::Value>* found)
{
    RowWriteResult res;
    res.action = action;
    if (transactionLeftOpen_ && !rollbackQuietly()) {
        res.status = RowWriteResult::Status::ServerError;
        res.detail = QStringLiteral("The connection to the server no longer answers.");
        return res;
    }
    try {
        connection_.beginTransaction();
    } catch (const std::exception& e) {
        rollbackQuietly(); // autocommit back on, should the server have switched it off
        res.status = refusalOf(e);
        res.detail = describe(e);
        return res;
    }
    long long affected = 0;
    try {
        // The statement's own rows: what triggers on the table write is not counted.
        const odbc::WriteOutcome written = connection_.executeWrite(sql, params, identity != nullptr);
        affected = written.rows;
        if (identity)
            *identity = written.identity;
    } catch (const std::exception& e) {
        rollbackQuietly();
        res.status = refusalOf(e);
        res.detail = describe(e);
        return res;
    }
    res.rows = static_cast<qsizetype>(affected);
    if (affected != 1) {
        rollbackQuietly();
        res.status = affected == 0 ? RowWriteResult::Status::NoRowMatched
            : affected < 0        ? RowWriteResult::Status::CountUnknown
                                  : RowWriteResult::Status::ManyRowsMatched;
        return res;
    }
    try {
        connection_.commit();
    } catch (const odbc::ErrorAfterCommit& e) {
        // The server has the row; only the connection is in doubt now.
        rollbackQuietly();
        res.after = RowWriteResult::After::ConnectionFailed;
        res.afterDetail = describe(e);
    } catch (const std::exception& e) {
        // The COMMIT may or may not have been carried out (its answer can be lost on the way
        // back). Whatever is still open is rolled back, then the server is asked.
        rollbackQuietly();
        res.detail = describe(e);
        res.afterDetail = res.detail;
        switch (findOut(check ? check() : std::nullopt, found)) {
        case Known::Done: res.after = RowWriteResult::After::FoundSaved; break;
        case Known::NotDone:
            res.status = refusalOf(e);
            res.after = RowWriteResult::After::FoundNotSaved;
            break;
        case Known::Unknown: res.status = RowWriteResult::Status::OutcomeUnknown; break;
        }
    }
    return res;
}

int RowSet::readBack(const std::string& where, const std::vector<odbc::Param>& params,
                     std::vector<odbc::Value>& row)
{
    const std::string sql = "SELECT * FROM " + bracketName(table_).toStdString() + " WHERE " + where + ";";
    odbc::ResultSet rs = connection_.query(sql, params);
    const auto& cols = rs.columns();
    if (cols.size() != columns_.size())
        return -1;
    for (std::size_t c = 0; c < cols.size(); ++c)
        if (cols[c].name != columns_[c].name)
            return -1;
    int count = 0;
    while (count < 2 && rs.fetchBlock()) {
        for (std::size_t r = 0; r < rs.blockRows() && count < 2; ++r, ++count) {
            if (count > 0)
                continue;
            row.clear();
            std::string scratch;
            for (std::size_t c = 0; c < cols.size(); ++c)
                row.push_back(odbc::Value::fromView(coerce(store_[c].kind, rs.cell(r, c), scratch)));
        }
    }
    return count;
}

RowWriteResult RowSet::writeRow(qsizetype row)
{
    const bool isNew = row >= rowCount();
    RowWriteResult res;
    res.action = isNew ? RowWriteResult::Action::Insert : RowWriteResult::Action::Update;
    PendingRow* p = pendingOf(row);
    if (!p)
        return res;
    for (int c = 0; c < columnCount(); ++c) {
        const PendingCell& cell = (*p)[static_cast<std::size_t>(c)];
        if (cell.refused) {
            res.status = RowWriteResult::Status::InvalidValue;
            res.column = c;
            res.value = cell.text;
            res.detail = cell.problem;
            return res;
        }
    }
    const std::string table = bracketName(table_).toStdString();

    // An earlier write of this row went unanswered: the server is asked first, and the row is
    // sent again only when the server is known not to hold it.
    if (const auto u = unsure_.find(idOf(row)); u != unsure_.end()) {
        std::vector<odbc::Value> found;
        const Known known = findOut(u->second.check, &found);
        if (known == Known::Unknown) {
            res.status = RowWriteResult::Status::OutcomeUnknown;
            res.detail = u->second.detail;
            return res;
        }
        Unsure was = std::move(u->second);
        unsure_.erase(u);
        if (known == Known::Done) {
            res.after = RowWriteResult::After::FoundSaved;
            res.afterDetail = was.detail;
            std::vector<odbc::Value> values = found.empty() ? std::move(was.written) : std::move(found);
            if (isNew) {
                pending_.erase(kNewRowId);
                const std::uint32_t id = nextId_++;
                replaceStored(id, std::move(values));
                order_.push_back(id);
                return res;
            }
            replaceStored(idOf(row), std::move(values));
            p = pendingOf(row); // what was changed since is written below; nothing else is
        }
    }

    if (!isNew) {
        const std::uint32_t id = idOf(row);
        std::vector<odbc::Value> values = storedRow(id);
        std::vector<int> changed;
        for (int c = 0; c < columnCount(); ++c) {
            const PendingCell& cell = (*p)[static_cast<std::size_t>(c)];
            if (cell.set && isEditable(c)
                && !sameValue(viewOf(cell.value), viewOf(values[static_cast<std::size_t>(c)])))
                changed.push_back(c);
        }
        if (changed.empty()) {
            pending_.erase(id);
            return res;
        }
        std::string sql = "UPDATE " + table + " SET ";
        std::vector<odbc::Param> params;
        for (std::size_t i = 0; i < changed.size(); ++i) {
            const int c = changed[i];
            sql += (i ? ", " : "") + bracketed(column(c).name) + " = ?";
            params.push_back(paramFor(c, (*p)[static_cast<std::size_t>(c)].value));
        }
        std::string where;
        if (!buildMatch(values, identifyingColumns(changed), where, params)) {
            res.status = RowWriteResult::Status::CannotIdentify;
            return res;
        }
        sql += " WHERE " + where + ";";
        std::vector<odbc::Value> after = values;
        for (int c : changed)
            after[static_cast<std::size_t>(c)] = (*p)[static_cast<std::size_t>(c)].value;
        // Found by its key (or all its values) as changed; only a changed value the server can
        // compare tells a done change from one that is not.
        auto check = [&]() -> std::optional<Check> {
            if (std::none_of(changed.begin(), changed.end(), [&](int c) { return isComparable(column(c)); }))
                return std::nullopt;
            Check k;
            if (!buildMatch(after, identifyingColumns(changed), k.where, k.params))
                return std::nullopt;
            return k;
        };
        std::vector<odbc::Value> found;
        res = runOneRow(RowWriteResult::Action::Update, sql, params, nullptr, check, &found);
        if (res.status == RowWriteResult::Status::OutcomeUnknown) {
            unsure_[id] = Unsure{check(), std::move(after), res.detail};
            return res;
        }
        if (!res.ok())
            return res;
        values = std::move(after);
        pending_.erase(id);
        if (!found.empty()) {
            replaceStored(id, std::move(found));
            return res;
        }
        // The server's own view of the row: computed columns, triggers, its text forms.
        std::vector<bool> use = key_.empty() ? identifyingColumns({}) : std::vector<bool>(columns_.size(), false);
        for (int c : key_)
            use[static_cast<std::size_t>(c)] = true;
        std::string again;
        std::vector<odbc::Value> fresh;
        std::vector<odbc::Param> againParams;
        try {
            if (buildMatch(values, use, again, againParams) && readBack(again, againParams, fresh) == 1)
                values = std::move(fresh);
        } catch (const std::exception& e) {
            // Written; the values as typed stand until the next read.
            if (res.after == RowWriteResult::After::Nothing) {
                res.after = RowWriteResult::After::ReadBackFailed;
                res.afterDetail = describe(e);
            }
        }
        replaceStored(id, std::move(values));
        return res;
    }

    // A new row: every column the person filled in, except those the server fills.
    std::vector<int> given;
    for (int c = 0; c < columnCount(); ++c)
        if ((*p)[static_cast<std::size_t>(c)].set && isEditable(c))
            given.push_back(c);
    std::string sql = "INSERT INTO " + table;
    std::vector<odbc::Param> params;
    if (given.empty()) {
        sql += " DEFAULT VALUES;";
    } else {
        std::string names, marks;
        for (std::size_t i = 0; i < given.size(); ++i) {
            names += (i ? ", " : "") + bracketed(column(given[i]).name);
            marks += i ? ", ?" : "?";
            params.push_back(paramFor(given[i], (*p)[static_cast<std::size_t>(given[i])].value));
        }
        sql += " (" + names + ") VALUES (" + marks + ");";
    }
    const bool hasIdentity = std::any_of(columns_.begin(), columns_.end(),
                                         [](const odbc::ColumnInfo& c) { return c.autoIncrement; });
    std::optional<std::int64_t> identity;
    std::vector<odbc::Value> values(columns_.size());
    std::vector<bool> known(columns_.size(), false);
    for (int c : given) {
        values[static_cast<std::size_t>(c)] = (*p)[static_cast<std::size_t>(c)].value;
        known[static_cast<std::size_t>(c)] = true;
    }
    auto addIdentity = [&] {
        for (int c = 0; c < columnCount(); ++c) {
            if (column(c).autoIncrement && identity && column(c).kind == odbc::Kind::Integer) {
                values[static_cast<std::size_t>(c)] = odbc::Value::fromInteger(*identity);
                known[static_cast<std::size_t>(c)] = true;
            }
        }
    };
    // The row found again by the key when it is known, else by the identity the server gave,
    // else by every value written (the one-row rule: exactly one match is this row).
    auto matchInserted = [&](std::string& where, std::vector<odbc::Param>& whereParams) {
        std::vector<bool> use(columns_.size(), false);
        const bool keyKnown = !key_.empty()
            && std::all_of(key_.begin(), key_.end(), [&](int c) { return known[static_cast<std::size_t>(c)]; });
        const auto identityColumn = std::find_if(columns_.begin(), columns_.end(), [&](const odbc::ColumnInfo& c) {
            return c.autoIncrement && known[static_cast<std::size_t>(&c - columns_.data())];
        });
        if (keyKnown) {
            for (int c : key_)
                use[static_cast<std::size_t>(c)] = true;
        } else if (identityColumn != columns_.end()) {
            use[static_cast<std::size_t>(identityColumn - columns_.begin())] = true;
        } else {
            use = known;
        }
        return buildMatch(values, use, where, whereParams);
    };
    auto check = [&]() -> std::optional<Check> {
        addIdentity();
        Check k;
        if (!matchInserted(k.where, k.params))
            return std::nullopt;
        return k;
    };
    std::vector<odbc::Value> found;
    res = runOneRow(RowWriteResult::Action::Insert, sql, params, hasIdentity ? &identity : nullptr, check, &found);
    if (res.status == RowWriteResult::Status::OutcomeUnknown) {
        unsure_[kNewRowId] = Unsure{check(), values, res.detail};
        return res;
    }
    if (!res.ok())
        return res;

    addIdentity();
    pending_.erase(kNewRowId);
    if (!found.empty()) {
        values = std::move(found);
    } else {
        std::string again;
        std::vector<odbc::Param> againParams;
        std::vector<odbc::Value> fresh;
        try {
            if (matchInserted(again, againParams) && readBack(again, againParams, fresh) == 1)
                values = std::move(fresh);
        } catch (const std::exception& e) {
            // Inserted; what is not known yet shows after the next read.
            if (res.after == RowWriteResult::After::Nothing) {
                res.after = RowWriteResult::After::ReadBackFailed;
                res.afterDetail = describe(e);
            }
        }
    }
    const std::uint32_t id = nextId_++;
    replaceStored(id, std::move(values));
    order_.push_back(id);
    return res;
}

bool RowSet::matchStoredRow(std::uint32_t id, std::string& where, std::vector<odbc::Param>& params,
                            RowWriteResult& res) const
{
    if (buildMatch(storedRow(id), identifyingColumns({}), where, params))
        return true;
    res.status = RowWriteResult::Status::CannotIdentify;
    return false;
}

void RowSet::forgetRow(qsizetype row, std::uint32_t id)
{
    pending_.erase(id);
    unsure_.erase(id);
    replaced_.erase(id);
    order_.erase(order_.begin() + row);
}

RowWriteResult RowSet::deleteRow(qsizetype row)
{
    RowWriteResult res;
    res.action = RowWriteResult::Action::Delete;
    if (row < 0 || row >= rowCount())
        return res;
    const std::uint32_t id = idOf(row);
    std::string where;
    std::vector<odbc::Param> params;
    if (!matchStoredRow(id, where, params, res))
        return res;
    // Deleted when the row is no longer found by what identified it.
    auto check = [&]() -> std::optional<Check> { return Check{where, params, 0}; };
    res = runOneRow(RowWriteResult::Action::Delete,
                    "DELETE FROM " + bracketName(table_).toStdString() + " WHERE " + where + ";", params, nullptr,
                    check);
    if (!res.ok())
        return res;
    forgetRow(row, id);
    return res;
}

RowWriteResult RowSet::reloadRow(qsizetype row)
{
    RowWriteResult res;
    res.action = RowWriteResult::Action::Reload;
    if (row < 0 || row >= rowCount())
        return res;
    const std::uint32_t id = idOf(row);
    std::string where;
    std::vector<odbc::Param> params;
    if (!matchStoredRow(id, where, params, res))
        return res;
    std::vector<odbc::Value> fresh;
    int found = 0;
    try {
        found = readBack(where, params, fresh);
    } catch (const std::exception& e) {
        res.status = refusalOf(e);
        res.detail = describe(e);
        return res;
    }
    if (found < 0) {
        res.status = RowWriteResult::Status::ServerError;
        res.detail = QStringLiteral("The columns of the table have changed since it was opened.");
        return res;
    }
    res.rows = found;
    if (found == 0) {
        if (key_.empty()) {
            res.status = RowWriteResult::Status::NoRowMatched;
            return res;
        }
        res.status = RowWriteResult::Status::RowGone;
        forgetRow(row, id);
        return res;
    }
    if (found > 1) {
        res.status = RowWriteResult::Status::ManyRowsMatched;
        return res;
    }
    pending_.erase(id);
    unsure_.erase(id);
    replaceStored(id, std::move(fresh));
    return res;
}

void RowSet::sortBy(int column, bool ascending)
{
    const odbc::ColumnInfo& col = this->column(column);
    const std::size_t n = order_.size();
    std::vector<std::uint32_t> positions(n);
    std::iota(positions.begin(), positions.end(), 0u);

    if (valueTypeOf(col) == ValueType::Text) {
        // Text in the reader's order: one collation key per row, compared many times.
        QCollator collator;
        collator.setNumericMode(true);
        std::vector<QCollatorSortKey> keys;
        std::vector<char> isNull(n, 0);
        keys.reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
            const odbc::CellView v = storedById(order_[i], column);
            isNull[i] = v.kind == odbc::Kind::Null;
            keys.push_back(collator.sortKey(
                QString::fromUtf8(v.bytes.data(), static_cast<qsizetype>(v.bytes.size()))));
        }
        auto less = [&](std::uint32_t a, std::uint32_t b) {
            if (isNull[a] || isNull[b])
                return isNull[a] && !isNull[b];
            const int c = keys[a].compare(keys[b]);
            if (c != 0)
                return c < 0;
            const odbc::CellView x = storedById(order_[a], column), y = storedById(order_[b], column);
            return x.bytes < y.bytes;
        };
        if (ascending)
            std::stable_sort(positions.begin(), positions.end(), less);
        else
            std::stable_sort(positions.begin(), positions.end(),
                             [&](std::uint32_t a, std::uint32_t b) { return less(b, a); });
    } else {
        auto cmp = [&](std::uint32_t a, std::uint32_t b) {
            return compareValues(col, storedById(order_[a], column), storedById(order_[b], column));
        };
        if (ascending)
            std::stable_sort(positions.begin(), positions.end(),
                             [&](std::uint32_t a, std::uint32_t b) { return cmp(a, b) < 0; });
        else
            std::stable_sort(positions.begin(), positions.end(),
                             [&](std::uint32_t a, std::uint32_t b) { return cmp(a, b) > 0; });
    }
    std::vector<std::uint32_t> sorted(n);
    for (std::size_t i = 0; i < n; ++i)
        sorted[i] = order_[positions[i]];
    order_ = std::move(sorted);
}

std::size_t RowSet::memoryBytes() const
{
    std::size_t total = order_.capacity() * sizeof(std::uint32_t) + replacedBits_.capacity() * 8;
    for (const ColumnStore& cs : store_)
        for (const Segment& s : cs.segments)
            total += s.nulls.capacity() * 8 + s.integers.capacity() * 8 + s.reals.capacity() * 8
                + s.ends.capacity() * 4 + s.bytes.capacity();
    for (const auto& [id, values] : replaced_)
        for (const odbc::Value& v : values)
            total += sizeof(odbc::Value) + v.bytes.capacity();
    return total;
}

QString describeRefusedValue(const RowSet& rows, int column, const QString& text, const QString& problem)
{
    return QStringLiteral("The value \"%1\" cannot be stored in the column \"%2\" (%3): %4")
        .arg(text, rows.columnName(column), typeDescription(rows.column(column)), problem);
}

QString describeWritten(const RowSet&, const RowWriteResult& result)
{
    using A = RowWriteResult::Action;
    if (!result.ok())
        return {};
    const bool isDelete = result.action == A::Delete;
    const QString done = result.action == A::Insert ? QStringLiteral("The new row was saved")
        : isDelete                                  ? QStringLiteral("The row was deleted")
                                                    : QStringLiteral("The row was saved");
    switch (result.after) {
    case RowWriteResult::After::Nothing:
    case RowWriteResult::After::FoundNotSaved: return {};
    case RowWriteResult::After::ConnectionFailed:
        return done + QStringLiteral(" on the server, but the connection failed right afterwards.\n\nThe driver "
                                     "said: ")
            + result.afterDetail
            + QStringLiteral("\n\nIf the next change is refused as well, go back and open the table again.");
    case RowWriteResult::After::ReadBackFailed:
        return done + QStringLiteral(" on the server, but reading it back afterwards failed, so the row shows the "
                                     "values as typed. Open the table again to see the values the server gave "
                                     "it.\n\nThe driver said: ")
            + result.afterDetail;
    case RowWriteResult::After::FoundSaved:
        return QStringLiteral("The connection failed while the server was confirming the change. Tabulon asked the "
                              "server afterwards: %1%2.\n\nThe driver said: ")
                   .arg(done.at(0).toLower() + done.mid(1),
                        isDelete ? QString() : QStringLiteral(", once (it was not sent again)"))
            + result.afterDetail;
    }
    return {};
}

QString describeRefusal(const RowSet& rows, const RowWriteResult& result, bool leaving)
{
    using S = RowWriteResult::Status;
    using A = RowWriteResult::Action;
    QString head;
    switch (result.action) {
    case A::Update: head = QStringLiteral("The row was not saved"); break;
    case A::Insert: head = QStringLiteral("The new row was not saved"); break;
    case A::Delete: head = QStringLiteral("The row was not deleted"); break;
    case A::Reload: head = QStringLiteral("The row could not be read again from the server"); break;
    }
    const bool keeps = result.action == A::Update || result.action == A::Insert;
    const QString kept = keeps && !leaving ? QStringLiteral("\n\nYour changes are kept in the row: correct them, or press Esc "
                                                "to drop them.")
                               : QString();
    switch (result.status) {
    case S::Written: return {};
    case S::InvalidValue:
        return head + QStringLiteral(": ") + describeRefusedValue(rows, result.column, result.value, result.detail)
            + kept;
    case S::ServerError:
        if (result.after == RowWriteResult::After::FoundNotSaved)
            return head + QStringLiteral(": the connection failed while the server was confirming the change, and "
                                         "the server, asked afterwards, does not hold it. Nothing was changed.\n\n"
                                         "The driver said: ")
                + result.detail + kept;
        return head + QStringLiteral(" because the server refused it:\n\n") + result.detail + kept;
    case S::OutcomeUnknown: {
        const QString what = result.action == A::Insert ? QStringLiteral("the new row was saved")
            : result.action == A::Delete                ? QStringLiteral("the row was deleted")
                                                         : QStringLiteral("the row was saved");
        QString text = QStringLiteral("It is not known whether %1: the connection failed while the server was "
                                      "confirming the change, and the server could not be asked afterwards.\n\n"
                                      "The driver said: ")
                           .arg(what)
            + result.detail;
        if (result.action == A::Delete)
            return text + QStringLiteral("\n\nOpen the table again to see whether the row is still there.");
        if (!leaving)
            text += result.action == A::Insert
                ? QStringLiteral("\n\nWhen you leave the row again, Tabulon first asks the server whether it holds "
                                 "the new row, and inserts it only if it does not.")
                : QStringLiteral("\n\nWhen you leave the row again, Tabulon first asks the server whether it holds "
                                 "your changes, and writes them only if it does not.");
        return text + kept;
    }
    case S::NoRowMatched:
        if (result.action == A::Insert)
            return head + QStringLiteral(": the server reported that no row was inserted. Nothing was changed.")
                + kept;
        if (result.action == A::Reload)
            return head + QStringLiteral(": no row on the server holds the values that were read, and the table "
                                         "has no key to find it by, so it was changed or deleted by someone "
                                         "else. Open the table again to see the server's rows.");
        return head + QStringLiteral(": it was changed or deleted by someone else since it was read. "
                                     "Nothing was changed.")
            + kept;
    case S::ManyRowsMatched:
        return head + QStringLiteral(": it matches more than one row of the table, because the table has "
                                     "duplicate rows and no key. Nothing was changed.")
            + kept;
    case S::CannotIdentify:
        return head + QStringLiteral(": the table has no key and no column whose values can be compared, so "
                                     "this row cannot be told apart from the others. Nothing was changed.")
            + kept;
    case S::Locked:
        return head + QStringLiteral(": the table is locked by another user or program that is changing it "
                                     "at this moment, and the lock was not released in time. Nothing was "
                                     "changed.%1\n\nThe server said: ")
                   .arg(keeps ? QStringLiteral(" Leave the row again to try once more.") : QString())
            + result.detail + kept;
    case S::CountUnknown:
        return head + QStringLiteral(": the driver could not tell how many rows the statement affected, so it "
                                     "was undone. Nothing was changed.")
            + kept;
    case S::RowGone:
        return QStringLiteral("The row was deleted by someone else; it has been removed from the grid.");
    }
    return head;
}

} // namespace tabulon
