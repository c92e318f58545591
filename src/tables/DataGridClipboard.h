#pragma once

// Cells on the clipboard as spreadsheets exchange them: fields separated by TAB, rows by a
// line break (LF written; CR LF, LF and CR read); a field holding a TAB, a line break or a
// leading quote is put between double quotes, with quotes inside doubled.

#include <QString>
#include <QStringList>
#include <vector>

namespace tabulon {

// One field, quoted when it must be.
QString clipboardField(const QString& field);
QString formatClipboardCells(const std::vector<QStringList>& rows);
// The rows of a pasted text. A final line break ends the last row and opens no new one.
std::vector<QStringList> parseClipboardCells(const QString& text);

} // namespace tabulon
