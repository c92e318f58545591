#pragma once

#include <QByteArray>
#include <QImage>
#include <QPoint>

namespace tabulon {

// The program's own pictures, drawn in code.
QImage drawApplicationIcon(int size = 64);
QImage drawHandPointer(QPoint* hotSpot = nullptr); // 32 x 32, ARGB
// A Windows cursor file (.cur): one 32-bit image with its AND mask and hot spot.
QByteArray encodeCursorFile(const QImage& image, QPoint hotSpot);

} // namespace tabulon
