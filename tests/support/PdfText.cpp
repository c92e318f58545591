#include "PdfText.h"

#include <QProcess>
#include <algorithm>

namespace tabulon::test {

QStringList pdfTextLines(const QString& pdf, int page)
{
    QStringList arguments{QStringLiteral("-layout")};
    if (page > 0)
        arguments << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l")
                  << QString::number(page);
    arguments << pdf << QStringLiteral("-");
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), arguments);
    if (!pdftotext.waitForFinished(60000))
        pdftotext.kill();
    QStringList lines;
    for (QString line : QString::fromUtf8(pdftotext.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        line.remove(QLatin1Char('\f'));
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        lines << line;
    }
    return lines;
}

namespace {

// The columns of the header line: where each caption starts. Empty when the line is not it.
std::vector<qsizetype> headerStarts(const QString& line, const QStringList& header)
{
    std::vector<qsizetype> starts;
    qsizetype from = 0;
    for (const QString& caption : header) {
        const qsizetype found = line.indexOf(caption, from);
        if (found < 0 || (found > 0 && line.at(found - 1) != QLatin1Char(' ')))
            return {};
        starts.push_back(found);
        from = found + caption.size();
    }
    return starts;
}

// The line a row gives when each cell starts at its column.
QString alignedLine(const QStringList& cells, const std::vector<qsizetype>& starts)
{
    QString line;
    for (qsizetype c = 0; c < cells.size() && std::size_t(c) < starts.size(); ++c) {
        if (cells.at(c).isEmpty())
            continue;
        line = line.leftJustified(starts[std::size_t(c)], QLatin1Char(' '));
        line += cells.at(c);
    }
    return line;
}

// Finds the header in `lines`, then as many of rows[next...] as follow it in order. Returns
// false when there is no header line.
bool matchRows(const QStringList& lines, const QStringList& header,
               const std::vector<QStringList>& rows, std::size_t& next, QString& failure)
{
    qsizetype at = 0;
    std::vector<qsizetype> starts;
    for (; at < lines.size(); ++at) {
        starts = headerStarts(lines.at(at), header);
        if (!starts.empty())
            break;
    }
    if (at == lines.size()) {
        failure = QStringLiteral("no header line \"%1\"").arg(header.join(QLatin1Char(' ')));
        return false;
    }
    const QString want = alignedLine(header, starts);
    if (lines.at(at) != want) {
        failure = QStringLiteral("header line \"%1\", expected \"%2\"").arg(lines.at(at), want);
        return false;
    }
    for (; next < rows.size(); ++next) {
        const QString line = alignedLine(rows[next], starts);
        qsizetype found = at + 1;
        while (found < lines.size() && lines.at(found) != line)
            ++found;
        if (found == lines.size()) {
            failure = QStringLiteral("no line \"%1\" after line %2 \"%3\"")
                          .arg(line)
                          .arg(at + 1)
                          .arg(lines.at(at));
            break;
        }
        at = found;
    }
    return true;
}

} // namespace

QString tableRowsFailure(const QStringList& lines, const QStringList& header,
                         const std::vector<QStringList>& rows)
{
    std::size_t next = 0;
    QString failure;
    if (!matchRows(lines, header, rows, next, failure) || next < rows.size())
        return failure;
    return {};
}

QString pdfTableFailure(const QString& pdf, const QStringList& header,
                        const std::vector<QStringList>& rows, int pages)
{
    std::size_t next = 0;
    for (int p = 1; p <= pages; ++p) {
        const QStringList lines = pdfTextLines(pdf, p);
        const QString text = lines.join(QLatin1Char('\n'));
        QString failure;
        const std::size_t before = next;
        if (!matchRows(lines, header, rows, next, failure))
            return QStringLiteral("page %1: %2\n%3").arg(p).arg(failure, text);
        if (next == before && next < rows.size())
            return QStringLiteral("page %1 holds none of the rows from %2 on: %3\n%4")
                .arg(p)
                .arg(next + 1)
                .arg(failure, text);
        const QString number = QStringLiteral("Page %1 of %2").arg(p).arg(pages);
        if (!lines.contains(number) &&
            std::none_of(lines.begin(), lines.end(),
                         [&](const QString& l) { return l.trimmed() == number; }))
            return QStringLiteral("page %1 does not say \"%2\":\n%3").arg(p).arg(number, text);
    }
    if (next < rows.size())
        return QStringLiteral("rows from %1 on are missing").arg(next + 1);
    if (!pdfTextLines(pdf, pages + 1).join(QString()).trimmed().isEmpty())
        return QStringLiteral("more than %1 pages").arg(pages);
    return {};
}

int pdfPageCount(const QString& pdf)
{
    QProcess pdfinfo;
    pdfinfo.start(QStringLiteral("pdfinfo"), {pdf});
    if (!pdfinfo.waitForFinished(60000))
        pdfinfo.kill();
    for (const QString& line : QString::fromUtf8(pdfinfo.readAllStandardOutput()).split(QLatin1Char('\n')))
        if (line.startsWith(QStringLiteral("Pages:")))
            return line.mid(6).trimmed().toInt();
    return -1;
}

} // namespace tabulon::test
