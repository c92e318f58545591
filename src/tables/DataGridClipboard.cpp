#include "DataGridClipboard.h"

namespace tabulon {

QString clipboardField(const QString& field)
{
    const bool needs = field.contains(QLatin1Char('\t')) || field.contains(QLatin1Char('\n'))
        || field.contains(QLatin1Char('\r')) || field.startsWith(QLatin1Char('"'));
    if (!needs)
        return field;
    QString out = field;
    out.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

QString formatClipboardCells(const std::vector<QStringList>& rows)
{
    QString out;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (r)
            out += QLatin1Char('\n');
        const QStringList& fields = rows[r];
        for (qsizetype f = 0; f < fields.size(); ++f) {
            if (f)
                out += QLatin1Char('\t');
            out += clipboardField(fields[f]);
        }
    }
    return out;
}

std::vector<QStringList> parseClipboardCells(const QString& text)
{
    std::vector<QStringList> rows;
    if (text.isEmpty())
        return rows;
    QStringList row;
    QString field;
    qsizetype i = 0;
    const qsizetype n = text.size();
    bool fieldStart = true;
    while (i < n) {
        const QChar ch = text[i];
        if (fieldStart && ch == QLatin1Char('"')) {
            // A quoted field runs to the quote that is not doubled.
            qsizetype j = i + 1;
            QString value;
            bool closed = false;
            while (j < n) {
                if (text[j] == QLatin1Char('"')) {
                    if (j + 1 < n && text[j + 1] == QLatin1Char('"')) {
                        value += QLatin1Char('"');
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                value += text[j++];
            }
            const bool endsField = j >= n || text[j] == QLatin1Char('\t') || text[j] == QLatin1Char('\n')
                || text[j] == QLatin1Char('\r');
            if (closed && endsField) {
                field = value;
                i = j;
                fieldStart = false;
                continue;
            }
            // Not a quoted field after all: the quote is part of the text.
        }
        fieldStart = false;
        if (ch == QLatin1Char('\t')) {
            row << field;
            field.clear();
            fieldStart = true;
            ++i;
        } else if (ch == QLatin1Char('\n') || ch == QLatin1Char('\r')) {
            row << field;
            field.clear();
            rows.push_back(row);
            row.clear();
            fieldStart = true;
            i += (ch == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n')) ? 2 : 1;
        } else {
            field += ch;
            ++i;
        }
    }
    if (!fieldStart || !row.isEmpty()) {
        row << field;
        rows.push_back(row);
    }
    return rows;
}

} // namespace tabulon
