#pragma once

#include "export/GridSource.h"
#include "support/PdfText.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace tabulon::test {

// A grid of fixed texts; a missing value stands for NULL. Hooks run before a caption or a cell
// is read (to fail, to look at the pointer, to cancel).
class FakeGrid : public GridSource {
public:
    using Row = std::vector<std::optional<QString>>;
    FakeGrid(QStringList captions, std::vector<Row> rows)
        : captions_(std::move(captions)), rows_(std::move(rows))
    {
    }

    int columnCount() const override { return int(captions_.size()); }
    QString caption(int column) const override
    {
        if (beforeCaption)
            beforeCaption(column);
        return captions_.at(column);
    }
    qsizetype rowCount() const override { return qsizetype(rows_.size()); }
    QString cellText(qsizetype row, int column) const override
    {
        return rows_.at(std::size_t(row)).at(std::size_t(column)).value_or(QString());
    }
    void appendCellUtf8(qsizetype row, int column, std::string& out) const override
    {
        if (beforeCell)
            beforeCell(row, column);
        out += cellText(row, column).toStdString();
    }

    CellKind columnKind(int column) const override
    {
        return std::size_t(column) < kinds.size() ? kinds[std::size_t(column)] : CellKind::Text;
    }

    std::vector<CellKind> kinds; // text for the columns not given
    std::function<void(qsizetype, int)> beforeCell;
    std::function<void(int)> beforeCaption;

private:
    QStringList captions_;
    std::vector<Row> rows_;
};

// The two-row example: id, name; 1, Ann; 2, NULL.
inline FakeGrid exampleGrid()
{
    return FakeGrid(
        {QStringLiteral("id"), QStringLiteral("name")},
        {{QStringLiteral("1"), QStringLiteral("Ann")}, {QStringLiteral("2"), std::nullopt}});
}

inline FakeGrid emptyGrid()
{
    return FakeGrid({QStringLiteral("id"), QStringLiteral("name")}, {});
}

QByteArray readAll(const QString& path);
void writeAll(const QString& path, const QByteArray& bytes);
// The names in a folder, hidden ones included.
QStringList entriesOf(const QString& folder);

struct ProcessResult {
    bool started = false;
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
// Runs a program with an argument list (never a shell), waiting at most `timeoutMs`.
ProcessResult run(const QString& program, const QStringList& arguments, int timeoutMs = 60000);

// Points QDir::tempPath() at a folder for the lifetime of the guard.
class TempPathOverride {
public:
    explicit TempPathOverride(const QString& folder);
    ~TempPathOverride();

private:
    QByteArray previous_;
    bool had_;
};

} // namespace tabulon::test
