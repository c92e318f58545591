#include "TextPrinting.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

namespace tabulon {

QString expandTabs(const QString& line, int tabSize)
{
    QString out;
    out.reserve(line.size() + tabSize);
    for (const QChar c : line) {
        if (c == QLatin1Char('\t')) {
            const int pad = tabSize - (out.size() % tabSize);
            out.append(QString(pad, QLatin1Char(' ')));
        } else {
            out.append(c);
        }
    }
    return out;
}

int paintPlainText(QPrinter& printer, const QString& text)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return 0;
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(9);
    painter.setFont(font);
    const QFontMetricsF metrics(font, &printer);
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const QRectF area(0, 0, page.width(), page.height());
    const double lineHeight = metrics.lineSpacing();
    const double footer = lineHeight * 2;
    const int linesPerPage = std::max(1, int((area.height() - footer) / lineHeight));
    const int charsPerLine =
        std::max(8, int(area.width() / std::max(1.0, metrics.horizontalAdvance(QLatin1Char('M')))));

    // Split into display lines: CR LF, CR and LF all end a line; long lines wrap.
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normal.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (normal.endsWith(QLatin1Char('\n')))
        normal.chop(1);
    QStringList lines;
    for (const QString& raw : normal.split(QLatin1Char('\n'))) {
        const QString expanded = expandTabs(raw);
        if (expanded.isEmpty()) {
            lines << QString();
            continue;
        }
        for (int i = 0; i < expanded.size(); i += charsPerLine)
            lines << expanded.mid(i, charsPerLine);
    }

    const int pages = std::max<qsizetype>(1, (lines.size() + linesPerPage - 1) / linesPerPage);
    for (int p = 0; p < pages; ++p) {
        if (p > 0)
            printer.newPage();
        double y = metrics.ascent();
        for (int i = p * linesPerPage; i < std::min<qsizetype>(lines.size(), (p + 1) * linesPerPage);
             ++i) {
            painter.drawText(QPointF(0, y), lines.at(i));
            y += lineHeight;
        }
        const QString number = QStringLiteral("Page %1 of %2").arg(p + 1).arg(pages);
        painter.drawText(QRectF(0, area.height() - lineHeight, area.width(), lineHeight),
                         Qt::AlignHCenter | Qt::AlignBottom, number);
    }
    painter.end();
    return pages;
}

QString writePlainTextPdf(const QString& text, const QString& pdfPath, const QString& title)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdfPath);
    printer.setDocName(title);
    printer.setCreator(QStringLiteral("Tabulon"));
    if (paintPlainText(printer, text) < 1)
        return QStringLiteral("The PDF file could not be written.");
    return {};
}

} // namespace tabulon
