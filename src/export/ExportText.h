#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <vector>

// The pieces of the export file layouts, as pure functions over UTF-8 text. The writers call
// them once per cell, so each works in place at the end of the text being built and costs a
// single scan when there is nothing to change.
namespace tabulon::exporttext {

// XML element name for a column caption: a valid XML name stands unchanged; each character
// that may not stand where it is becomes "_xHHHH_" (eight hex digits beyond the BMP), as SQL
// Server and .NET encode names: "Order Date" -> "Order_x0020_Date", "1st" -> "_x0031_st".
// ':' counts as not allowed, since readers that know namespaces refuse an undeclared prefix.
// An empty caption becomes "_".
std::string xmlElementName(const QString& caption);

// Escapes the XML text that starts at `from` in `text`: "&", "<", ">" become entities, a CR
// becomes "&#13;" (so a reader gets it back instead of a line feed), and characters that XML
// cannot hold at all (C0 controls other than TAB, CR and LF; U+FFFE, U+FFFF) become U+FFFD.
void escapeXmlTextFrom(std::string& text, std::size_t from);

// A stretch of a text, [from, to).
struct TextRange {
    std::size_t from;
    std::size_t to;
};

// The same for several texts at once: `ranges` (in order, not overlapping) mark the texts
// inside `text`; the bytes between them (the tags) stay as they are. Scanning a whole row's
// cells after they were appended is quicker than scanning each as it arrives.
void escapeXmlTexts(std::string& text, const std::vector<TextRange>& ranges);

// Quotes the CSV field that starts at `from` in `text` when it holds a comma, a double quote,
// a CR or an LF: the field is enclosed in double quotes and each quote inside is doubled.
// `aloneOnLine` marks the only field of a one-column table: an empty one is written as ""
// so that the line still reads back as one empty field rather than as no field at all.
void quoteCsvFieldFrom(std::string& text, std::size_t from, bool aloneOnLine);

// How wide a text shows in a worksheet column, in character widths of the default font:
// the longest of its lines, narrow letters counted short, capitals and wide (CJK) ones long.
double displayWidth(std::string_view utf8);

// Appends a QString as UTF-8.
void appendUtf8(std::string& text, const QString& value);

} // namespace tabulon::exporttext
