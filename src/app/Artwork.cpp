#include "Artwork.h"

#include <QBuffer>
#include <QDataStream>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace tabulon {

QImage drawApplicationIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size / 64.0;
    p.scale(s, s);
    // A sheet with a header row and a grid, a pencil across its corner.
    QLinearGradient sheet(0, 6, 0, 58);
    sheet.setColorAt(0, QColor(0xff, 0xff, 0xff));
    sheet.setColorAt(1, QColor(0xe4, 0xec, 0xf5));
    p.setPen(QPen(QColor(0x2b, 0x4c, 0x7e), 2));
    p.setBrush(sheet);
    p.drawRoundedRect(QRectF(6, 8, 48, 48), 4, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2f, 0x6d, 0xb5));
    p.drawRect(QRectF(7, 9, 46, 10));
    p.setPen(QPen(QColor(0x9a, 0xb0, 0xcc), 1.2));
    for (int y = 29; y < 56; y += 10)
        p.drawLine(QPointF(7, y), QPointF(53, y));
    for (int x = 22; x < 53; x += 15)
        p.drawLine(QPointF(x, 19), QPointF(x, 55));
    p.translate(46, 44);
    p.rotate(-45);
    p.setPen(QPen(QColor(0x5a, 0x3a, 0x10), 1));
    p.setBrush(QColor(0xf2, 0xb1, 0x34));
    p.drawRect(QRectF(-4, -18, 8, 22));
    p.setBrush(QColor(0xf5, 0xd9, 0xa8));
    QPainterPath tip;
    tip.moveTo(-4, 4);
    tip.lineTo(4, 4);
    tip.lineTo(0, 12);
    tip.closeSubpath();
    p.drawPath(tip);
    return image;
}

QImage drawHandPointer(QPoint* hotSpot)
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath hand;
    // Index finger pointing up, three bent fingers and the thumb beside the palm.
    hand.addRoundedRect(QRectF(10, 1, 5, 17), 2.5, 2.5);
    hand.addRoundedRect(QRectF(15, 9, 4.5, 10), 2.2, 2.2);
    hand.addRoundedRect(QRectF(19.5, 10, 4.5, 10), 2.2, 2.2);
    hand.addRoundedRect(QRectF(24, 11.5, 4, 9), 2, 2);
    hand.addRoundedRect(QRectF(10, 14, 18, 13), 4, 4);
    QPainterPath thumb;
    thumb.moveTo(11, 19);
    thumb.lineTo(5, 14);
    thumb.quadTo(2, 13, 3.5, 17);
    thumb.lineTo(10, 25);
    thumb.closeSubpath();
    hand = hand.united(thumb).simplified();
    p.setPen(QPen(Qt::black, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(hand);
    p.setPen(QPen(Qt::black, 0.9));
    p.drawLine(QPointF(15, 14), QPointF(15, 18.5));
    p.drawLine(QPointF(19.5, 15), QPointF(19.5, 19.5));
    p.drawLine(QPointF(24, 16), QPointF(24, 20));
    p.end();
    if (hotSpot)
        *hotSpot = QPoint(12, 1);
    return image;
}

QByteArray encodeCursorFile(const QImage& source, QPoint hotSpot)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();
    const int maskStride = ((w + 31) / 32) * 4;
    const quint32 xorBytes = quint32(w * h * 4);
    const quint32 andBytes = quint32(maskStride * h);
    const quint32 dibBytes = 40 + xorBytes + andBytes;

    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    // ICONDIR: reserved, type 2 (cursor), one image.
    s << quint16(0) << quint16(2) << quint16(1);
    // ICONDIRENTRY: size, colours, reserved, hot spot, data size, data offset.
    s << quint8(w) << quint8(h) << quint8(0) << quint8(0);
    s << quint16(hotSpot.x()) << quint16(hotSpot.y()) << dibBytes << quint32(6 + 16);
    // BITMAPINFOHEADER: the height counts the colour rows and the mask rows.
    s << quint32(40) << qint32(w) << qint32(h * 2) << quint16(1) << quint16(32) << quint32(0)
      << quint32(xorBytes + andBytes) << qint32(0) << qint32(0) << quint32(0) << quint32(0);
    for (int y = h - 1; y >= 0; --y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            s << quint8(qBlue(line[x])) << quint8(qGreen(line[x])) << quint8(qRed(line[x]))
              << quint8(qAlpha(line[x]));
    }
    for (int y = h - 1; y >= 0; --y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < w; ++x)
            if (qAlpha(line[x]) < 128)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        s.writeRawData(row.constData(), row.size());
    }
    return out;
}

} // namespace tabulon
