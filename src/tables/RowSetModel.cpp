#include "RowSetModel.h"

#include "ValueFormat.h"

#include <QBrush>
#include <QColor>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>
#include <array>

namespace tabulon {

namespace {

// Display of very long values is cut; editing and the exports see the whole value.
constexpr qsizetype kDisplayLimit = 4000;

// The marks in a column's header: a key for the columns that identify a row, a padlock for
// the columns the server fills. Drawn here rather than taken from a font, so that they show
// whatever fonts the system has.
constexpr int kMarkSize = 14;

void drawKey(QPainter& p, int x)
{
    p.setPen(QPen(QColor(0x8A, 0x6A, 0x00), 1.6));
    p.setBrush(QColor(0xE8, 0xB8, 0x20));
    p.drawEllipse(QRectF(x + 1.0, 1.5, 6.5, 6.5));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(x + 6.5, 6.5), QPointF(x + 12.5, 12.5));
    p.drawLine(QPointF(x + 10.0, 10.0), QPointF(x + 8.0, 12.0));
    p.drawLine(QPointF(x + 12.0, 12.0), QPointF(x + 10.5, 13.5));
}

void drawPadlock(QPainter& p, int x)
{
    p.setPen(QPen(QColor(0x50, 0x50, 0x50), 1.6));
    p.setBrush(Qt::NoBrush);
    QPainterPath shackle;
    shackle.moveTo(x + 4.0, 7.0);
    shackle.lineTo(x + 4.0, 4.5);
    shackle.arcTo(QRectF(x + 4.0, 1.5, 6.0, 6.0), 180, -180);
    shackle.lineTo(x + 10.0, 7.0);
    p.drawPath(shackle);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x70, 0x70, 0x70));
    p.drawRoundedRect(QRectF(x + 2.0, 6.5, 10.0, 7.0), 1.5, 1.5);
}

// key: the column identifies a row; locked: the server fills it.
QIcon headerMark(bool key, bool locked)
{
    static QIcon cache[4];
    const int which = (key ? 1 : 0) + (locked ? 2 : 0);
    if (which == 0)
        return {};
    if (cache[which].isNull()) {
        const int width = kMarkSize * ((key ? 1 : 0) + (locked ? 1 : 0));
        QPixmap pixmap(width, kMarkSize);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        int x = 0;
        if (key) {
            drawKey(p, x);
            x += kMarkSize;
        }
        if (locked)
            drawPadlock(p, x);
        p.end();
        cache[which] = QIcon(pixmap);
    }
    return cache[which];
}

} // namespace

class RowSetModel::Source : public GridSource {
public:
    explicit Source(const RowSetModel& model) : model_(model) {}
    int columnCount() const override { return model_.hasTable() ? model_.rowSet()->columnCount() : 0; }
    QString caption(int column) const override { return model_.rowSet()->columnName(column); }
    qsizetype rowCount() const override { return model_.dataRowCount(); }
    QString cellText(qsizetype row, int column) const override { return model_.cellText(row, column); }
    void appendCellUtf8(qsizetype row, int column, std::string& out) const override
    {
        model_.appendCellUtf8(row, column, out);
    }

private:
    const RowSetModel& model_;
};

RowSetModel::RowSetModel(QObject* parent)
    : QAbstractTableModel(parent), source_(std::make_unique<Source>(*this))
{
    nullFont_.setItalic(true);
}

RowSetModel::~RowSetModel() = default;

const GridSource& RowSetModel::gridSource() const { return *source_; }

void RowSetModel::setRowSet(std::unique_ptr<RowSet> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    modelRows_ = rows_ ? static_cast<int>(rows_->rowCount()) + 1 : 0;
    filtered_ = false;
    filterText_.clear();
    shown_.clear();
    endResetModel();
}

qsizetype RowSetModel::setRowOf(int viewRow) const
{
    if (!rows_ || viewRow < 0)
        return -1;
    if (!filtered_)
        return viewRow;
    if (viewRow < static_cast<int>(shown_.size()))
        return shown_[static_cast<std::size_t>(viewRow)];
    return viewRow == newRecordRow() ? rows_->rowCount() : -1;
}

int RowSetModel::viewRowOf(qsizetype setRow) const
{
    if (!rows_ || setRow < 0)
        return -1;
    if (setRow >= rows_->rowCount())
        return setRow == rows_->rowCount() ? newRecordRow() : -1;
    if (!filtered_)
        return static_cast<int>(setRow);
    const auto it = std::lower_bound(shown_.begin(), shown_.end(), setRow);
    return it != shown_.end() && *it == setRow ? static_cast<int>(it - shown_.begin()) : -1;
}

// Finds the filter's text in the shown texts of a row. Text of plain ASCII, the common case,
// is looked for in the UTF-8 bytes of each value without making a string of it; other text
// compares the values as strings.
class RowSetModel::Matcher {
public:
    explicit Matcher(const QString& text) : text_(text)
    {
        bool ascii = true;
        for (QChar ch : text)
            ascii = ascii && ch.unicode() < 0x80;
        if (ascii) {
            needle_ = text.toLower().toStdString();
            ascii_ = true;
            prepareSearch();
        }
        // Numbers and binary values are shown with a few characters only: a text with any other
        // character cannot be in them, and they need not be written out to be looked at.
        const QString folded = text.toLower();
        auto onlyOf = [&](const char* chars) {
            const QString allowed = QString::fromLatin1(chars);
            for (QChar ch : folded)
                if (!allowed.contains(ch))
                    return false;
            return true;
        };
        mayBeInteger_ = onlyOf("0123456789-");
        mayBeReal_ = onlyOf("0123456789-+.einfa");
        mayBeBinary_ = onlyOf("0123456789abcdefx");
    }

    bool matches(const RowSet& rows, qsizetype row) const
    {
        for (int c = 0; c < rows.columnCount(); ++c) {
            if (const QString* refused = rows.refusedText(row, c)) {
                if (refused->contains(text_, Qt::CaseInsensitive))
                    return true;
                continue;
            }
            const odbc::CellView v = rows.shown(row, c);
            if (v.kind == odbc::Kind::Null) {
                if (QStringLiteral("NULL").contains(text_, Qt::CaseInsensitive))
                    return true;
                continue;
            }
            if ((v.kind == odbc::Kind::Integer && !mayBeInteger_) || (v.kind == odbc::Kind::Real && !mayBeReal_)
                || (v.kind == odbc::Kind::Binary && !mayBeBinary_))
                continue;
            if (ascii_) {
                buffer_.clear();
                appendDisplayUtf8(rows.column(c), v, buffer_);
                if (containsAscii(buffer_))
                    return true;
            } else if (displayText(rows.column(c), v).contains(text_, Qt::CaseInsensitive)) {
                return true;
            }
        }
        return false;
    }

private:
    static char lower(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + 32) : ch; }
    // Horspool's search, ignoring ASCII case: the table says how far the window may move on
    // from the byte under its last place.
    void prepareSearch()
    {
        const std::size_t n = needle_.size();
        shift_.fill(n == 0 ? 1 : n);
        for (std::size_t i = 0; i + 1 < n; ++i) {
            const char ch = needle_[i];
            shift_[static_cast<unsigned char>(ch)] = n - 1 - i;
            if (ch >= 'a' && ch <= 'z')
                shift_[static_cast<unsigned char>(ch - 32)] = n - 1 - i;
        }
    }
    bool containsAscii(const std::string& hay) const
    {
        const std::size_t n = needle_.size();
        if (n == 0)
            return true;
        const std::size_t size = hay.size();
        const char* h = hay.data();
        for (std::size_t i = 0; i + n <= size;) {
            std::size_t j = n;
            while (j > 0 && lower(h[i + j - 1]) == needle_[j - 1])
                --j;
            if (j == 0)
                return true;
            i += shift_[static_cast<unsigned char>(h[i + n - 1])];
        }
        return false;
    }

    QString text_;
    bool ascii_ = false;
    std::string needle_;
    std::array<std::size_t, 256> shift_{};
    bool mayBeInteger_ = true;
    bool mayBeReal_ = true;
    bool mayBeBinary_ = true;
    mutable std::string buffer_;
};

bool RowSetModel::rowMatches(qsizetype setRow, const QString& text) const
{
    return rows_ && setRow >= 0 && setRow < rows_->rowCount() && Matcher(text).matches(*rows_, setRow);
}

void RowSetModel::rowsAppended(qsizetype first)
{
    if (!rows_)
        return;
    const qsizetype total = rows_->rowCount();
    if (first < 0 || first >= total)
        return;
    std::vector<qsizetype> added;
    if (filtered_) {
        const Matcher matcher(filterText_);
        for (qsizetype r = first; r < total; ++r)
            if (matcher.matches(*rows_, r))
                added.push_back(r);
        if (static_cast<qsizetype>(added.size()) < total - first)
            emit hiddenRowsChanged();
        if (added.empty())
            return;
    }
    const qsizetype known = modelRows_ - 1; // unfiltered: the view's data rows
    if (!filtered_ && known >= total)
        return;
    const int count = filtered_ ? static_cast<int>(added.size()) : static_cast<int>(total - known);
    const int at = modelRows_ - 1;
    beginInsertRows(QModelIndex(), at, at + count - 1);
    shown_.insert(shown_.end(), added.begin(), added.end());
    modelRows_ += count;
    endInsertRows();
}

bool RowSetModel::setFilter(const QString& text, const FilterProgress& progress)
{
    if (!rows_)
        return false;
    if (text.isEmpty()) {
        if (!filtered_)
            return true;
        beginResetModel();
        filtered_ = false;
        filterText_.clear();
        shown_ = {};
        modelRows_ = static_cast<int>(rows_->rowCount()) + 1;
        endResetModel();
        return true;
    }
    const Matcher matcher(text);
    const qsizetype total = rows_->rowCount();
    std::vector<qsizetype> shown;
    constexpr qsizetype kStep = 16384;
    for (qsizetype r = 0; r < total; ++r) {
        if (progress && r % kStep == 0 && r > 0 && !progress(r, total))
            return false;
        if (matcher.matches(*rows_, r))
            shown.push_back(r);
    }
    beginResetModel();
    filtered_ = true;
    filterText_ = text;
    shown_ = std::move(shown);
    modelRows_ = static_cast<int>(shown_.size()) + 1;
    endResetModel();
    return true;
}

void RowSetModel::setBaseFont(const QFont& font)
{
    nullFont_ = font;
    nullFont_.setItalic(true);
}

int RowSetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : modelRows_;
}

int RowSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() || !rows_ ? 0 : rows_->columnCount();
}

bool RowSetModel::isNull(qsizetype row, int column) const
{
    return rows_->shown(row, column).kind == odbc::Kind::Null;
}

QString RowSetModel::cellText(qsizetype row, int column) const
{
    return displayText(rows_->column(column), rows_->shown(row, column));
}

void RowSetModel::appendCellUtf8(qsizetype row, int column, std::string& out) const
{
    appendDisplayUtf8(rows_->column(column), rows_->shown(row, column), out);
}

QVariant RowSetModel::data(const QModelIndex& index, int role) const
{
    if (!rows_ || !index.isValid() || index.row() >= modelRows_ || index.column() >= rows_->columnCount())
        return {};
    const qsizetype r = setRowOf(index.row());
    const int c = index.column();
    if (r < 0 || r > rows_->rowCount())
        return {};
    const QString* refused = rows_->refusedText(r, c);
    const bool newRow = r == rows_->rowCount();
    switch (role) {
    case Qt::DisplayRole: {
        if (refused)
            return *refused;
        const odbc::CellView v = rows_->shown(r, c);
        if (v.kind == odbc::Kind::Null)
            return newRow && !rows_->isCellEdited(r, c) ? QString() : QStringLiteral("NULL");
        QString text = displayText(rows_->column(c), v);
        if (text.size() > kDisplayLimit)
            text = text.left(kDisplayLimit) + QChar(0x2026);
        return text;
    }
    case Qt::EditRole:
        if (refused)
            return *refused;
        return cellText(r, c);
    case Qt::ForegroundRole:
        if (refused)
            return QBrush(QColor(0xC0, 0x00, 0x00));
        if (rows_->shown(r, c).kind == odbc::Kind::Null)
            return QBrush(QColor(0x90, 0x90, 0x90));
        return {};
    case Qt::FontRole:
        if (!refused && rows_->shown(r, c).kind == odbc::Kind::Null)
            return nullFont_;
        return {};
    case Qt::BackgroundRole:
        if (rows_->isCellEdited(r, c))
            return QBrush(QColor(0xFF, 0xF6, 0xC8));
        return {};
    case Qt::TextAlignmentRole:
        return isNumeric(rows_->column(c)) ? int(Qt::AlignRight | Qt::AlignVCenter)
                                           : int(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        if (const QString* problem = rows_->refusedProblem(r, c))
            return describeRefusedValue(*rows_, c, *refused, *problem);
        return toolTip_.isEmpty() ? QVariant() : QVariant(toolTip_);
    default: return {};
    }
}

QVariant RowSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (!rows_)
        return {};
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= rows_->columnCount())
            return {};
        if (role == Qt::DisplayRole)
            return rows_->columnName(section);
        const bool key = isKeyColumn(section);
        const bool locked = !rows_->isEditable(section);
        if (role == Qt::DecorationRole) {
            const QIcon mark = headerMark(key, locked);
            return mark.isNull() ? QVariant() : QVariant(mark);
        }
        if (role == Qt::ToolTipRole) {
            QString tip = rows_->columnName(section) + QStringLiteral(" (") + typeDescription(rows_->column(section))
                + QLatin1Char(')');
            if (key)
                tip += QStringLiteral("\nKey: this column identifies each row.");
            if (locked)
                tip += QStringLiteral("\nNot editable: ") + generatedReason(rows_->column(section))
                    + QLatin1Char('.');
            return tip;
        }
        return {};
    }
    if (section < 0 || section >= modelRows_)
        return {};
    // A row is numbered by its place in the table, also while the filter hides rows above it.
    const qsizetype row = setRowOf(section);
    if (row < 0)
        return {};
    const bool newRow = row >= rows_->rowCount();
    const bool inEdit = row <= rows_->rowCount() && rows_->hasPendingEdit(row);
    switch (role) {
    case Qt::DisplayRole:
        if (newRow)
            return inEdit ? QStringLiteral("\u270E *") : QStringLiteral("*");
        return inEdit ? QStringLiteral("\u270E %1").arg(row + 1) : QString::number(row + 1);
    case Qt::ToolTipRole:
        if (inEdit)
            return QStringLiteral("Row in edit: written when you leave the row; Esc drops the changes.");
        if (newRow)
            return QStringLiteral("New row: type here to add a row to the table.");
        return {};
    case Qt::TextAlignmentRole: return int(Qt::AlignRight | Qt::AlignVCenter);
    default: return {};
    }
}

Qt::ItemFlags RowSetModel::flags(const QModelIndex& index) const
{
    if (!rows_ || !index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (rows_->isEditable(index.column()))
        f |= Qt::ItemIsEditable;
    return f;
}

bool RowSetModel::isKeyColumn(int column) const
{
    if (!rows_)
        return false;
    const std::vector<int>& key = rows_->keyColumns();
    return std::find(key.begin(), key.end(), column) != key.end();
}

QString RowSetModel::readOnlyMessage(int column) const
{
    if (!rows_ || column < 0 || column >= rows_->columnCount() || rows_->isEditable(column))
        return {};
    return QStringLiteral("The column \"%1\" (%2) cannot be typed into: %3. Its value is filled in by the server "
                          "when the row is saved; nothing was changed.")
        .arg(rows_->columnName(column), typeDescription(rows_->column(column)),
             generatedReason(rows_->column(column)));
}

void RowSetModel::rowChanged(int row)
{
    if (!rows_ || row < 0 || row >= modelRows_)
        return;
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, row, row);
}

bool RowSetModel::setText(const QModelIndex& index, const QString& text, QString* problem)
{
    if (!rows_ || !index.isValid() || !rows_->isEditable(index.column()))
        return false;
    const qsizetype r = setRowOf(index.row());
    const int c = index.column();
    if (r < 0)
        return false;
    // Leaving a cell as it was is no change, whatever its exact stored form.
    if (!rows_->refusedText(r, c) && text == cellText(r, c)
        && !(text.isEmpty() && rows_->shown(r, c).kind != odbc::Kind::Null))
        return true;
    ParsedValue parsed = parseValue(rows_->column(c), text);
    if (!parsed.ok) {
        if (problem)
            *problem = parsed.problem;
        return false;
    }
    rows_->setCell(r, c, std::move(parsed.value));
    rowChanged(index.row());
    return true;
}

bool RowSetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !rows_ || !index.isValid())
        return false;
    if (!rows_->isEditable(index.column())) {
        // Refused before anything is kept or sent, in the same words the grid uses.
        emit valueRefused(index, readOnlyMessage(index.column()));
        return false;
    }
    const QString text = value.toString();
    QString problem;
    if (setText(index, text, &problem))
        return true;
    const qsizetype r = setRowOf(index.row());
    if (r < 0)
        return false;
    rows_->setRefusedText(r, index.column(), text, problem);
    rowChanged(index.row());
    emit valueRefused(index, describeRefusedValue(*rows_, index.column(), text, problem));
    return true;
}

bool RowSetModel::setValue(const QModelIndex& index, odbc::Value value)
{
    if (!rows_ || !index.isValid() || !rows_->isEditable(index.column()) || setRowOf(index.row()) < 0)
        return false;
    rows_->setCell(setRowOf(index.row()), index.column(), std::move(value));
    rowChanged(index.row());
    return true;
}

void RowSetModel::dropEdit(int row)
{
    if (!rows_ || setRowOf(row) < 0)
        return;
    rows_->dropEdit(setRowOf(row));
    rowChanged(row);
}

RowWriteResult RowSetModel::writeRow(int row)
{
    const qsizetype setRow = setRowOf(row);
    if (!rows_ || setRow < 0)
        return {};
    const qsizetype before = rows_->rowCount();
    const RowWriteResult res = rows_->writeRow(setRow);
    if (res.ok() && rows_->rowCount() > before) {
        // The new-record row became a data row (shown, filter or not); a fresh one opens below.
        if (filtered_)
            shown_.push_back(rows_->rowCount() - 1);
        beginInsertRows(QModelIndex(), modelRows_, modelRows_);
        ++modelRows_;
        endInsertRows();
    }
    rowChanged(row);
    return res;
}

RowWriteResult RowSetModel::deleteRow(int row)
{
    const qsizetype setRow = setRowOf(row);
    if (!rows_ || setRow < 0)
        return {};
    const qsizetype before = rows_->rowCount();
    const RowWriteResult res = rows_->deleteRow(setRow);
    rowMayHaveLeft(row, rows_->rowCount() < before);
    return res;
}

RowWriteResult RowSetModel::reloadRow(int row)
{
    const qsizetype setRow = setRowOf(row);
    if (!rows_ || setRow < 0)
        return {};
    const qsizetype before = rows_->rowCount();
    const RowWriteResult res = rows_->reloadRow(setRow);
    rowMayHaveLeft(row, rows_->rowCount() < before);
    return res;
}

void RowSetModel::rowMayHaveLeft(int row, bool left)
{
    if (left) {
        beginRemoveRows(QModelIndex(), row, row);
        if (filtered_) {
            // The rows below it move up one place in the row set.
            const auto at = shown_.begin() + row;
            for (auto it = shown_.erase(at); it != shown_.end(); ++it)
                --*it;
        }
        --modelRows_;
        endRemoveRows();
    } else {
        rowChanged(row);
    }
}

void RowSetModel::sort(int column, Qt::SortOrder order)
{
    if (!rows_ || column < 0 || column >= rows_->columnCount())
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    constexpr std::uint32_t kNewRow = 0xFFFFFFFFu;
    auto idOfView = [&](int viewRow) {
        const qsizetype r = setRowOf(viewRow);
        return r >= 0 && r < rows_->rowCount() ? rows_->rowId(r) : kNewRow;
    };
    std::vector<std::uint32_t> ids;
    ids.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& i : before)
        ids.push_back(idOfView(i.row()));
    std::vector<std::uint32_t> shownIds;
    if (filtered_) {
        shownIds.reserve(shown_.size());
        for (qsizetype r : shown_)
            shownIds.push_back(rows_->rowId(r));
    }
    rows_->sortBy(column, order == Qt::AscendingOrder);
    // Where each row went: one pass over the new order.
    std::vector<qsizetype> placeOfId;
    auto placeOf = [&](std::uint32_t id) -> qsizetype {
        if (id == kNewRow)
            return rows_->rowCount();
        return id < placeOfId.size() ? placeOfId[id] : -1;
    };
    if (filtered_ || before.size() > 64) {
        std::uint32_t maxId = 0;
        for (qsizetype r = 0; r < rows_->rowCount(); ++r)
            maxId = std::max(maxId, rows_->rowId(r));
        placeOfId.assign(std::size_t(maxId) + 1, -1);
        for (qsizetype r = 0; r < rows_->rowCount(); ++r)
            placeOfId[rows_->rowId(r)] = r;
    }
    if (filtered_) {
        for (std::size_t k = 0; k < shownIds.size(); ++k)
            shown_[k] = placeOf(shownIds[k]);
        std::sort(shown_.begin(), shown_.end());
    }
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype k = 0; k < before.size(); ++k) {
        const std::uint32_t id = ids[static_cast<std::size_t>(k)];
        const qsizetype r = placeOfId.empty() ? rows_->rowOfId(id) : placeOf(id);
        after.push_back(index(viewRowOf(r), before[k].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace tabulon
