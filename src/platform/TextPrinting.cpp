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

QFont tableFont()
{
    // Liberation Mono ships with the program's fonts; the system's fixed font stands in.
    QFont font(QStringLiteral("Liberation Mono"));
    font.setStyleHint(QFont::Monospace, QFont::PreferDefault);
    font.setFixedPitch(true);
    if (!QFontInfo(font).fixedPitch())
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(kTableFontPoints);
    return font;
}

// The advance of one character cell, as a fraction of the font size.
double advanceEm(const QFont& font)
{
    QFont big = font;
    big.setPointSizeF(100);
    const QFontMetricsF metrics(big);
    return metrics.horizontalAdvance(QLatin1Char('M')) / (100.0 * metrics.fontDpi() / 72.0);
}

} // namespace

int headerEnd(const TablePage& page)
{
    int end = 0;
    for (int l = 0; l < page.headerLines && l < int(page.lines.size()); ++l)
        for (const TableSegment& segment : page.lines[std::size_t(l)].segments)
            end = std::max(end, segment.x + segment.width);
    return end;
}

ScopedPaintProgress::ScopedPaintProgress(PaintProgress progress)
    : previous_(std::exchange(lentProgress, std::move(progress)))
{
}

ScopedPaintProgress::~ScopedPaintProgress()
{
    lentProgress = std::move(previous_);
}

const PaintProgress& ScopedPaintProgress::current()
{
    return lentProgress;
}

QPageLayout tablePageLayout()
{
    const QLocale::Territory territory = QLocale().territory();
    const bool letter = territory == QLocale::UnitedStates || territory == QLocale::Canada;
    return QPageLayout(QPageSize(letter ? QPageSize::Letter : QPageSize::A4),
                       QPageLayout::Portrait,
                       QMarginsF(kTableMarginMm, kTableMarginMm, kTableMarginMm, kTableMarginMm),
                       QPageLayout::Millimeter);
}

PageMetrics tablePageMetrics(const QPageLayout& page, double charWidthEm)
{
    QPageLayout portrait = page;
    portrait.setOrientation(QPageLayout::Portrait);
    const QRectF area = portrait.paintRect(QPageLayout::Point);
    return {area.width(), area.height(), charWidthEm * kTableFontPoints,
            kTableLineFactor * kTableFontPoints};
}

TableLayout textTableLayout(const QString& text, const QPageLayout& page)
{
    return layoutTable(parseTabbedText(text), tablePageMetrics(page, advanceEm(tableFont())));
}

int paintTextTable(QPagedPaintDevice& device, const QString& text, const PaintProgress& given)
{
    const PaintProgress& progress = given ? given : lentProgress;
    const QFont font = tableFont();
    const TableLayout layout = textTableLayout(text, device.pageLayout());
    device.setPageOrientation(layout.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);

    QPainter painter;
    if (!painter.begin(&device))
        return 0;
    painter.setFont(font);
    const QFontMetricsF metrics(font, &device);
    const double toPixels = device.logicalDpiY() / 72.0;
    const QRectF page = device.pageLayout().paintRectPixels(device.logicalDpiY());
    const QRectF area(0, 0, page.width(), page.height());
    const double cell = metrics.horizontalAdvance(QLatin1Char('M'));
    const double lineHeight = kTableLineFactor * kTableFontPoints * toPixels;
    const double baseline = (lineHeight - metrics.height()) / 2 + metrics.ascent();
    QPen rule = painter.pen();
    rule.setWidthF(0.5 * toPixels);

    const int pages = int(layout.pages.size());
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
        const TablePage& sheet = layout.pages[std::size_t(p)];
        double top = 0;
        for (const TableLine& line : sheet.lines) {
            for (const TableSegment& segment : line.segments) {
                const QPointF at(segment.x * cell, top + baseline);
                // A glyph from a fallback font may be wider than its cell: never let it reach
                // into the next column.
                if (metrics.horizontalAdvance(segment.text) > segment.width * cell + 0.5) {
                    painter.save();
                    painter.setClipRect(QRectF(segment.x * cell, top, segment.width * cell,
                                               lineHeight));
                    painter.drawText(at, segment.text);
                    painter.restore();
                } else {
                    painter.drawText(at, segment.text);
                }
            }
            top += lineHeight;
        }
        if (sheet.headerLines > 0) {
            painter.save();
            painter.setPen(rule);
            const double y = sheet.headerLines * lineHeight - lineHeight * 0.1;
            painter.drawLine(QPointF(0, y), QPointF(headerEnd(sheet) * cell, y));
            painter.restore();
        }
        painter.drawText(QRectF(0, area.height() - lineHeight, area.width(), lineHeight),
                         Qt::AlignHCenter | Qt::AlignBottom, pageNumberText(p, pages));
    }
    if (progress)
        progress(pages, pages);
    if (!painter.end())
        return 0;
    return pages;
}

QString writeTextTablePdf(const QString& text, QIODevice& output, const QString& title,
                          const PaintProgress& progress)
{
    QPdfWriter writer(&output);
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("Tabulon"));
    writer.setPageLayout(tablePageLayout());
    const int pages = paintTextTable(writer, text, progress);
    if (pages < 0)
        return QStringLiteral("The PDF file was not written: the export was cancelled.");
    if (pages == 0)
        return QStringLiteral("The PDF could not be laid out.");
    return {};
}

QString writeTextTablePdf(const QString& text, const QString& pdfPath, const QString& title,
                          const PaintProgress& progress)
{
    QSaveFile file(pdfPath);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("The PDF file \"%1\" could not be written: %2")
            .arg(pdfPath, file.errorString());
    const QString failure = writeTextTablePdf(text, file, title, progress);
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
