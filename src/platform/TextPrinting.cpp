#include "TextPrinting.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>

namespace tabulon {

namespace {

thread_local PaintProgress lentProgress;

QFont monospacedFont()
{
    // Liberation Mono ships with the program's fonts; the system's fixed font stands in.
    QFont font(QStringLiteral("Liberation Mono"));
    font.setStyleHint(QFont::Monospace, QFont::PreferDefault);
    font.setFixedPitch(true);
    if (!QFontInfo(font).fixedPitch())
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(9);
    return font;
}

} // namespace

ScopedPaintProgress::ScopedPaintProgress(PaintProgress progress)
    : previous_(std::exchange(lentProgress, std::move(progress)))
{
}

ScopedPaintProgress::~ScopedPaintProgress()
{
    lentProgress = std::move(previous_);
}

QString expandTabs(const QString& line, int tabSize)
{
    if (!line.contains(QLatin1Char('\t')))
        return line;
    QString out;
    out.reserve(line.size() + tabSize);
    for (const QChar c : line) {
        if (c == QLatin1Char('\t')) {
            const int pad = tabSize - int(out.size() % tabSize);
            out.append(QString(pad, QLatin1Char(' ')));
        } else {
            out.append(c);
        }
    }
    return out;
}

QStringList plainTextLines(const QString& text, int width, int tabSize)
{
    width = std::max(1, width);
    QStringList lines;
    const qsizetype size = text.size();
    qsizetype start = 0;
    auto addLine = [&](qsizetype from, qsizetype to) {
        const QString expanded = expandTabs(text.mid(from, to - from), tabSize);
        if (expanded.size() <= width) {
            lines << expanded;
            return;
        }
        for (qsizetype i = 0; i < expanded.size(); i += width)
            lines << expanded.mid(i, width);
    };
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        addLine(start, i);
        if (c == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < size)
        addLine(start, size);
    return lines;
}

int paintPlainText(QPagedPaintDevice& device, const QString& text, const PaintProgress& given)
{
    const PaintProgress& progress = given ? given : lentProgress;
    QPainter painter;
    if (!painter.begin(&device))
        return 0;
    const QFont font = monospacedFont();
    painter.setFont(font);
    const QFontMetricsF metrics(font, &device);
    const QRectF page = device.pageLayout().paintRectPixels(device.logicalDpiY());
    const QRectF area(0, 0, page.width(), page.height());
    const double lineHeight = metrics.lineSpacing();
    const double footer = lineHeight * 2;
    const int linesPerPage = std::max(1, int((area.height() - footer) / lineHeight));
    const int charsPerLine =
        std::max(8, int(area.width() / std::max(1.0, metrics.horizontalAdvance(QLatin1Char('M')))));

    const QStringList lines = plainTextLines(text, charsPerLine);
    const int pages = int(std::max<qsizetype>(1, (lines.size() + linesPerPage - 1) / linesPerPage));
    for (int p = 0; p < pages; ++p) {
        if (progress && !progress(p, pages)) {
            // A printer is asked to drop the job; Qt's PDF engines cannot, so a caller that
            // gave a file removes it.
            if (auto* printer = dynamic_cast<QPrinter*>(&device))
                printer->abort();
            painter.end();
            return -1;
        }
        if (p > 0)
            device.newPage();
        double y = metrics.ascent();
        const qsizetype last = std::min<qsizetype>(lines.size(), qsizetype(p + 1) * linesPerPage);
        for (qsizetype i = qsizetype(p) * linesPerPage; i < last; ++i) {
            painter.drawText(QPointF(0, y), lines.at(i));
            y += lineHeight;
        }
        const QString number = QStringLiteral("Page %1 of %2").arg(p + 1).arg(pages);
        painter.drawText(QRectF(0, area.height() - lineHeight, area.width(), lineHeight),
                         Qt::AlignHCenter | Qt::AlignBottom, number);
    }
    if (progress)
        progress(pages, pages);
    if (!painter.end())
        return 0;
    return pages;
}

QString writePlainTextPdf(const QString& text, QIODevice& output, const QString& title,
                          const PaintProgress& progress)
{
    QPdfWriter writer(&output);
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("Tabulon"));
    const QLocale::Territory territory = QLocale().territory();
    const bool letter = territory == QLocale::UnitedStates || territory == QLocale::Canada;
    writer.setPageLayout(QPageLayout(QPageSize(letter ? QPageSize::Letter : QPageSize::A4),
                                     QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                                     QPageLayout::Millimeter));
    const int pages = paintPlainText(writer, text, progress);
    if (pages < 0)
        return QStringLiteral("The PDF file was not written: the export was cancelled.");
    if (pages == 0)
        return QStringLiteral("The PDF could not be laid out.");
    return {};
}

QString writePlainTextPdf(const QString& text, const QString& pdfPath, const QString& title,
                          const PaintProgress& progress)
{
    QSaveFile file(pdfPath);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("The PDF file \"%1\" could not be written: %2")
            .arg(pdfPath, file.errorString());
    const QString failure = writePlainTextPdf(text, file, title, progress);
    if (!failure.isEmpty()) {
        file.cancelWriting();
        return failure;
    }
    if (!file.commit())
        return QStringLiteral("The PDF file \"%1\" could not be written: %2")
            .arg(pdfPath, file.errorString());
    return {};
}

} // namespace tabulon
