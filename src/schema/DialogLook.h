#pragma once

#include <QFont>
#include <QWidget>

namespace tabulon {

// The schema windows' face: Arial (Liberation Sans here) at a readable size.
inline void applyDialogFont(QWidget* window)
{
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(10);
    window->setFont(font);
}

} // namespace tabulon
