#pragma once

#include "TableLayout.h"
#include "TextPrinting.h"

#include <QByteArray>
#include <QList>
#include <QSizeF>
#include <QString>
#include <functional>
#include <optional>
#include <unordered_map>

namespace tabulon {

// A TrueType font file, read so that it can travel inside a PostScript job as a Type 42 font.
class TrueTypeFont {
public:
    // Reads and checks the file. Without a usable font, `why` says what is wrong with it.
    static std::optional<TrueTypeFont> load(const QString& path, QString* why = nullptr);
    static std::optional<TrueTypeFont> fromData(QByteArray data, QString* why = nullptr);

    // The glyph that shows the character, 0 (the missing-glyph box) when the font has none.
    quint16 glyphFor(char32_t c) const;
    // Advance of "M", ascent and descent, as fractions of the font size.
    double advanceEm() const { return advanceEm_; }
    double ascentEm() const { return ascentEm_; }
    double descentEm() const { return descentEm_; }
    // The font's data cut into pieces that start at a table (or, inside the glyph table, at a
    // glyph) and each fit a PostScript string.
    QList<QByteArray> sfntPieces() const;

private:
    QByteArray data_;
    std::unordered_map<char32_t, quint16> glyphs_;
    struct Table {
        quint32 offset, length;
    };
    std::unordered_map<quint32, Table> tables_;
    double advanceEm_ = 0.6;
    double ascentEm_ = 0.8;
    double descentEm_ = 0.2;
    std::vector<quint32> glyphOffsets_; // from the location table, relative to the glyph table
};

// The file of Liberation Mono, the font of printed tables, in the usual places; empty when
// it is not installed.
QString findTableFontFile();

// Writes a laid-out table as a PostScript document (with the comments print spoolers read:
// title, page count, orientation of each page) on pages of `media` points, portrait, with
// kTableMarginMm margins, in `font` at kTableFontPoints. The characters are shown through
// glyph names made from their Unicode code points, so that a PDF made from the job keeps the
// text searchable. `write` receives the document in pieces; when it returns false the writing
// stops. `progress` is called once per page as for paintTextTable. Returns the number of
// pages, 0 when `write` failed, -1 when `progress` stopped it.
int writeTablePostScript(const TableLayout& layout, const TrueTypeFont& font, const QSizeF& media,
                         const QString& title,
                         const std::function<bool(const QByteArray&)>& write,
                         const PaintProgress& progress = {});

} // namespace tabulon
