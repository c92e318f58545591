#include "ExportText.h"

#include <QList>
#include <QStringView>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tabulon::exporttext {

namespace {

// XML 1.0 (fifth edition) name characters, ':' left out.
bool isNameStartChar(char32_t c)
{
    return (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z') ||
           (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
           (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0xEFFFF);
}

bool isNameChar(char32_t c)
{
    return isNameStartChar(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

void appendCodePoint(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

void appendEscapedCodePoint(std::string& out, char32_t c)
{
    static const char digits[] = "0123456789ABCDEF";
    const int width = c > 0xFFFF ? 8 : 4;
    out += "_x";
    for (int shift = (width - 1) * 4; shift >= 0; shift -= 4)
        out += digits[(c >> shift) & 0xF];
    out += '_';
}

// Bytes that make an XML text need a closer look: markup characters, CR, the C0 controls XML
// cannot hold, and 0xEF, the lead byte of U+FFFE and U+FFFF.
constexpr std::array<bool, 256> xmlSpecialBytes()
{
    std::array<bool, 256> table{};
    for (int b = 0; b < 0x20; ++b)
        table[b] = b != '\t' && b != '\n';
    table['&'] = table['<'] = table['>'] = true;
    table[0xEF] = true;
    return table;
}
constexpr std::array<bool, 256> kXmlSpecial = xmlSpecialBytes();

constexpr std::array<bool, 256> csvSpecialBytes()
{
    std::array<bool, 256> table{};
    table[','] = table['"'] = table['\r'] = table['\n'] = true;
    return table;
}
constexpr std::array<bool, 256> kCsvSpecial = csvSpecialBytes();

const char kReplacementChar[] = "\xEF\xBF\xBD";

// The scans below pass over plain text sixteen bytes (SSE2) or eight bytes (elsewhere) at a
// time, and look at single bytes only where a block holds one of interest.
#if defined(__SSE2__)
inline unsigned blockMask(__m128i v, char c)
{
    return unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c))));
}

struct XmlScan {
    static unsigned block(__m128i v)
    {
        // Bytes up to 0x1F other than TAB and LF, the markup characters, and 0xEF.
        const __m128i control =
            _mm_cmpeq_epi8(_mm_max_epu8(v, _mm_set1_epi8(0x1F)), _mm_set1_epi8(0x1F));
        const unsigned controls =
            unsigned(_mm_movemask_epi8(control)) & ~blockMask(v, '\t') & ~blockMask(v, '\n');
        return controls | blockMask(v, '&') | blockMask(v, '<') | blockMask(v, '>') |
               blockMask(v, char(0xEF));
    }
};

struct CsvScan {
    static unsigned block(__m128i v)
    {
        return blockMask(v, ',') | blockMask(v, '"') | blockMask(v, '\r') | blockMask(v, '\n');
    }
};

// The first position from `i` whose byte is set in `table`, or `size`.
template <typename Scan>
std::size_t findSpecial(const unsigned char* bytes, std::size_t i, std::size_t size,
                        const std::array<bool, 256>& table)
{
    while (i < size) {
        std::size_t base = i;
        unsigned mask;
        if (i + 16 <= size) {
            mask = Scan::block(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i)));
        } else if (size >= 16) {
            // The last few bytes: the block that ends with them, the bytes before `i` masked off.
            base = size - 16;
            mask = Scan::block(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + base))) &
                   (0xFFFFu << (i - base));
        } else {
            for (; i < size; ++i)
                if (table[bytes[i]])
                    return i;
            return size;
        }
        for (; mask != 0; mask &= mask - 1) {
            const std::size_t at = base + std::size_t(__builtin_ctz(mask));
            if (table[bytes[at]])
                return at;
        }
        i = base + 16;
    }
    return size;
}
#else
constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighs = 0x8080808080808080ull;

inline std::uint64_t hasZeroByte(std::uint64_t v)
{
    return (v - kOnes) & ~v & kHighs;
}
inline std::uint64_t hasByte(std::uint64_t v, unsigned char b)
{
    return hasZeroByte(v ^ (kOnes * b));
}
// Set for bytes below 0x20 (and possibly for some bytes after one; those are looked at singly).
inline std::uint64_t hasControlByte(std::uint64_t v)
{
    return (v - kOnes * 0x20) & ~v & kHighs;
}

struct XmlScan {
    static bool word(std::uint64_t v)
    {
        return hasControlByte(v) | hasByte(v, '&') | hasByte(v, '<') | hasByte(v, '>') |
               hasByte(v, 0xEF);
    }
};

struct CsvScan {
    static bool word(std::uint64_t v)
    {
        return hasByte(v, ',') | hasByte(v, '"') | hasByte(v, '\r') | hasByte(v, '\n');
    }
};

template <typename Scan>
std::size_t findSpecial(const unsigned char* bytes, std::size_t i, std::size_t size,
                        const std::array<bool, 256>& table)
{
    while (i < size) {
        std::uint64_t word = kOnes * 'a'; // the last few bytes are padded with a plain letter
        std::memcpy(&word, bytes + i, std::min<std::size_t>(8, size - i));
        if (Scan::word(word)) {
            for (std::size_t k = i; k < std::min(size, i + 8); ++k)
                if (table[bytes[k]])
                    return k;
        }
        i += 8;
    }
    return size;
}
#endif

} // namespace

std::string xmlElementName(const QString& caption)
{
    if (caption.isEmpty())
        return "_";
    const QList<uint> ucs4 = caption.toUcs4();
    const std::u32string points(ucs4.begin(), ucs4.end());
    std::string out;
    out.reserve(points.size() + 8);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const char32_t c = points[i];
        const bool fits = i == 0 ? isNameStartChar(c) : isNameChar(c);
        // A caption's own "_x" is written as "_x005F_x", so that no caption can take the
        // element name another one was given ("a b" and "a_x0020_b" stay apart).
        const bool startsEscape = c == U'_' && i + 1 < points.size() && points[i + 1] == U'x';
        if (fits && !startsEscape)
            appendCodePoint(out, c);
        else
            appendEscapedCodePoint(out, c);
    }
    return out;
}

void escapeXmlTextFrom(std::string& text, std::size_t from)
{
    const std::size_t size = text.size();
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t i = findSpecial<XmlScan>(bytes, from, size, kXmlSpecial);
    if (i == size)
        return;

    const std::size_t first = i;
    std::string tail;
    tail.reserve((size - i) + 16);
    while (i < size) {
        const unsigned char b = bytes[i];
        if (!kXmlSpecial[b]) {
            tail += char(b);
            ++i;
            continue;
        }
        switch (b) {
        case '&':
            tail += "&amp;";
            break;
        case '<':
            tail += "&lt;";
            break;
        case '>':
            tail += "&gt;";
            break;
        case '\r':
            tail += "&#13;";
            break;
        case 0xEF:
            // U+FFFE and U+FFFF are EF BF BE and EF BF BF; every other EF sequence stays.
            if (i + 2 < size && bytes[i + 1] == 0xBF &&
                (bytes[i + 2] == 0xBE || bytes[i + 2] == 0xBF)) {
                tail += kReplacementChar;
                i += 3;
                continue;
            }
            tail += char(b);
            break;
        default:
            tail += kReplacementChar;
            break; // a control character
        }
        ++i;
    }
    text.resize(first);
    text += tail;
}

void escapeXmlTexts(std::string& text, const std::vector<TextRange>& ranges)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t k = 0;
    while (k < ranges.size() &&
           findSpecial<XmlScan>(bytes, ranges[k].from, ranges[k].to, kXmlSpecial) == ranges[k].to)
        ++k;
    if (k == ranges.size())
        return;
    // Rebuild from the first text that needs escaping.
    const std::size_t start = ranges[k].from;
    const std::string rest(text, start);
    text.resize(start);
    std::size_t at = start; // position in the text as it was
    for (; k < ranges.size(); ++k) {
        text.append(rest, at - start, ranges[k].from - at);
        const std::size_t from = text.size();
        text.append(rest, ranges[k].from - start, ranges[k].to - ranges[k].from);
        escapeXmlTextFrom(text, from);
        at = ranges[k].to;
    }
    text.append(rest, at - start, std::string::npos);
}

void quoteCsvFieldFrom(std::string& text, std::size_t from, bool aloneOnLine)
{
    const std::size_t size = text.size();
    if (from == size) {
        if (aloneOnLine)
            text += "\"\"";
        return;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t i = findSpecial<CsvScan>(bytes, from, size, kCsvSpecial);
    if (i == size)
        return;
    std::string field;
    field.reserve(size - from + 8);
    field += '"';
    for (std::size_t k = from; k < size; ++k) {
        if (text[k] == '"')
            field += '"';
        field += text[k];
    }
    field += '"';
    text.resize(from);
    text += field;
}

double displayWidth(std::string_view utf8)
{
    double widest = 0;
    double line = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t size = utf8.size();
    for (std::size_t i = 0; i < size;) {
        const unsigned char b = bytes[i];
        if (b < 0x80) {
            ++i;
            if (b == '\n' || b == '\r') {
                widest = std::max(widest, line);
                line = 0;
                continue;
            }
            switch (b) {
            case 'i':
            case 'l':
            case 'j':
            case 't':
            case 'f':
            case 'r':
            case 'I':
            case '.':
            case ',':
            case ':':
            case ';':
            case '\'':
            case '|':
            case '!':
            case ' ':
                line += 0.55;
                break;
            case 'm':
            case 'w':
            case 'M':
            case 'W':
                line += 1.45;
                break;
            default:
                line += (b >= 'A' && b <= 'Z') ? 1.2 : 1.0;
                break;
            }
            continue;
        }
        // Decode one multi-byte sequence; malformed bytes count as one narrow character each.
        int length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        if (i + length > size)
            length = 1;
        char32_t c = length == 1   ? b
                     : length == 2 ? (b & 0x1F)
                     : length == 3 ? (b & 0x0F)
                                   : (b & 0x07);
        for (int k = 1; k < length; ++k)
            c = (c << 6) | (bytes[i + k] & 0x3F);
        i += length;
        const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                          (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                          (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                          (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) ||
                          (c >= 0x20000 && c <= 0x3FFFD);
        line += wide ? 2.0 : 1.0;
    }
    return std::max(widest, line);
}

void appendUtf8(std::string& text, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    text.append(utf8.constData(), std::size_t(utf8.size()));
}

} // namespace tabulon::exporttext
