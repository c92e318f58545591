#include "Workbook.h"

#include "ExportText.h"
#include "app/ErrorReport.h"

#include <QDate>
#include <QFile>
#include <charconv>
#include <cmath>
#include <xlsxwriter.h>

namespace tabulon {

namespace {

[[noreturn]] void raise(const QString& what, lxw_error error)
{
    throw AppError(QStringLiteral("%1: %2").arg(what, QString::fromUtf8(lxw_strerror(error))));
}

// Byte length of the first `count` characters of a UTF-8 text, or npos when it has fewer.
std::size_t prefixBytes(const std::string& utf8, std::size_t count)
{
    std::size_t characters = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80)
            continue;
        if (characters == count)
            return i;
        ++characters;
    }
    return std::string::npos;
}

// A decimal number's value as sign, significant digits (no leading or trailing zeros) and the
// power of ten of the first digit; two texts of the same value give the same form.
struct DecimalForm {
    bool negative = false;
    std::string digits;
    long exponent = 0;
    bool operator==(const DecimalForm&) const = default;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Plain decimal text with an optional exponent: [+-]digits[.digits][(e|E)[+-]digits].
std::optional<DecimalForm> decimalForm(std::string_view s)
{
    DecimalForm form;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        form.negative = s[i++] == '-';
    std::string digits;
    long pointAt = -1;
    bool any = false;
    for (; i < s.size() && (isDigit(s[i]) || s[i] == '.'); ++i) {
        if (s[i] == '.') {
            if (pointAt >= 0)
                return std::nullopt;
            pointAt = long(digits.size());
            continue;
        }
        digits += s[i];
        any = true;
    }
    if (!any)
        return std::nullopt;
    if (pointAt < 0)
        pointAt = long(digits.size());
    long exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            negativeExponent = s[i++] == '-';
        if (i == s.size())
            return std::nullopt;
        for (; i < s.size() && isDigit(s[i]); ++i) {
            exponent = exponent * 10 + (s[i] - '0');
            if (exponent > 100000)
                return std::nullopt;
        }
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != s.size())
        return std::nullopt;
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return DecimalForm{}; // zero, whatever its sign
    const std::size_t last = digits.find_last_not_of('0');
    form.digits = digits.substr(first, last - first + 1);
    form.exponent = pointAt - long(first) + exponent;
    return form;
}

// Two digits at `s[at]`, or -1.
int twoDigits(std::string_view s, std::size_t at)
{
    if (at + 2 > s.size() || !isDigit(s[at]) || !isDigit(s[at + 1]))
        return -1;
    return (s[at] - '0') * 10 + (s[at + 1] - '0');
}

// "hh:mm:ss[.f...]" as a fraction of a day.
std::optional<double> timeOfDay(std::string_view s, bool& fraction)
{
    const int h = twoDigits(s, 0), m = twoDigits(s, 3), sec = twoDigits(s, 6);
    if (s.size() < 8 || s[2] != ':' || s[5] != ':' || h < 0 || h > 23 || m < 0 || m > 59 || sec < 0
        || sec > 59)
        return std::nullopt;
    double part = 0;
    fraction = false;
    if (s.size() > 8) {
        if (s[8] != '.' || s.size() == 9)
            return std::nullopt;
        double scale = 0.1;
        for (std::size_t i = 9; i < s.size(); ++i) {
            if (!isDigit(s[i]))
                return std::nullopt;
            part += (s[i] - '0') * scale;
            scale /= 10;
            if (s[i] != '0')
                fraction = true;
        }
    }
    return ((h * 60.0 + m) * 60.0 + sec + part) / 86400.0;
}

// "yyyy-mm-dd" as days since 1899-12-30, from 1900-03-01 on.
std::optional<double> dayNumber(std::string_view s)
{
    if (s.size() != 10 || s[4] != '-' || s[7] != '-')
        return std::nullopt;
    for (std::size_t i : {0, 1, 2, 3})
        if (!isDigit(s[i]))
            return std::nullopt;
    const int year = std::stoi(std::string(s.substr(0, 4)));
    const int month = twoDigits(s, 5), day = twoDigits(s, 8);
    const QDate date(year, month, day);
    if (!date.isValid() || date < QDate(1900, 3, 1))
        return std::nullopt;
    return double(QDate(1899, 12, 30).daysTo(date));
}

} // namespace

std::optional<double> sheetNumber(std::string_view text, bool exact)
{
    const std::optional<DecimalForm> form = decimalForm(text);
    if (!form || (exact && form->digits.size() > kSheetDigits))
        return std::nullopt;
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value))
        return std::nullopt;
    return value == 0 ? 0.0 : value; // no negative zero
}

std::optional<SheetDate> sheetDate(CellKind kind, std::string_view text)
{
    SheetDate out;
    switch (kind) {
    case CellKind::Date: {
        const auto days = dayNumber(text);
        if (!days)
            return std::nullopt;
        out.serial = *days;
        return out;
    }
    case CellKind::Time: {
        const auto time = timeOfDay(text, out.fraction);
        if (!time)
            return std::nullopt;
        out.serial = *time;
        return out;
    }
    case CellKind::DateTime: {
        if (text.size() < 19 || (text[10] != ' ' && text[10] != 'T'))
            return std::nullopt;
        const auto days = dayNumber(text.substr(0, 10));
        const auto time = timeOfDay(text.substr(11), out.fraction);
        if (!days || !time)
            return std::nullopt;
        out.serial = *days + *time;
        return out;
    }
    case CellKind::Text:
    case CellKind::Number:
    case CellKind::Float: break;
    }
    return std::nullopt;
}

XlsxWorkbook::XlsxWorkbook(const QString& path) : path_(path)
{
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = LXW_TRUE;
    const QByteArray name = QFile::encodeName(path);
    workbook_ = workbook_new_opt(name.constData(), &options);
    if (!workbook_)
        throw AppError(QStringLiteral("The workbook \"%1\" could not be created.").arg(path));
}

XlsxWorkbook::~XlsxWorkbook()
{
    discard();
}

void XlsxWorkbook::addSheet()
{
    if (!workbook_)
        throw AppError(QStringLiteral("The workbook is not open."));
    sheet_ = workbook_add_worksheet(workbook_, nullptr);
    if (!sheet_)
        throw AppError(QStringLiteral("No worksheet could be added to the workbook."));
}

bool XlsxWorkbook::writeText(std::uint32_t row, std::uint16_t column, std::string& utf8)
{
    if (utf8.empty())
        return true;
    if (!sheet_)
        throw AppError(QStringLiteral("The workbook has no worksheet."));
    bool whole = true;
    if (utf8.size() > kMaxTextLength) {
        const std::size_t cut = prefixBytes(utf8, kMaxTextLength);
        if (cut != std::string::npos) {
            utf8.resize(cut);
            whole = false;
        }
    }
    const lxw_error error = worksheet_write_string(sheet_, row, column, utf8.c_str(), nullptr);
    if (error != LXW_NO_ERROR)
        raise(QStringLiteral("The cell in row %1, column %2 could not be written")
                  .arg(row + 1)
                  .arg(column + 1),
              error);
    noteWidth(column, exporttext::displayWidth(utf8));
    return whole;
}

void XlsxWorkbook::noteWidth(std::uint16_t column, double width)
{
    if (column >= widths_.size())
        widths_.resize(std::size_t(column) + 1, 0.0);
    if (width > widths_[column])
        widths_[column] = width;
}

lxw_format* XlsxWorkbook::dateFormat(CellKind kind, bool fraction)
{
    const int which = kind == CellKind::Date ? 0 : kind == CellKind::Time ? 1 : 2;
    lxw_format*& format = formats_[fraction ? 1 : 0][which];
    if (!format) {
        static const char* const patterns[2][3] = {
            {"yyyy-mm-dd", "hh:mm:ss", "yyyy-mm-dd hh:mm:ss"},
            {"yyyy-mm-dd", "hh:mm:ss.000", "yyyy-mm-dd hh:mm:ss.000"},
        };
        format = workbook_add_format(workbook_);
        if (!format)
            throw AppError(QStringLiteral("No number format could be added to the workbook."));
        format_set_num_format(format, patterns[fraction ? 1 : 0][which]);
    }
    return format;
}

bool XlsxWorkbook::writeCell(std::uint32_t row, std::uint16_t column, CellKind kind,
                             std::string& utf8)
{
    if (kind == CellKind::Text || utf8.empty())
        return writeText(row, column, utf8);
    if (!sheet_)
        throw AppError(QStringLiteral("The workbook has no worksheet."));
    lxw_error error = LXW_NO_ERROR;
    double width = 0;
    if (kind == CellKind::Number || kind == CellKind::Float) {
        const std::optional<double> number = sheetNumber(utf8, kind == CellKind::Number);
        if (!number)
            return writeText(row, column, utf8);
        error = worksheet_write_number(sheet_, row, column, *number, nullptr);
        width = exporttext::displayWidth(utf8);
    } else {
        const std::optional<SheetDate> date = sheetDate(kind, utf8);
        if (!date)
            return writeText(row, column, utf8);
        error = worksheet_write_number(sheet_, row, column, date->serial,
                                       dateFormat(kind, date->fraction));
        // As the format shows it: "2024-03-31 14:30:00.000" at the most.
        width = (kind == CellKind::Date ? 10 : kind == CellKind::Time ? 8 : 19)
                + (date->fraction && kind != CellKind::Date ? 4 : 0);
    }
    if (error != LXW_NO_ERROR)
        raise(QStringLiteral("The cell in row %1, column %2 could not be written")
                  .arg(row + 1)
                  .arg(column + 1),
              error);
    noteWidth(column, width);
    return true;
}

double XlsxWorkbook::columnWidth(double textWidth)
{
    // One character width of padding, as a fitted column shows; the sheet allows at most 255.
    return std::min(255.0, std::max(1.0, textWidth + 1.0));
}

void XlsxWorkbook::fitColumns()
{
    if (!sheet_)
        throw AppError(QStringLiteral("The workbook has no worksheet."));
    for (std::size_t column = 0; column < widths_.size(); ++column) {
        const lxw_col_t col = lxw_col_t(column);
        const lxw_error error =
            worksheet_set_column(sheet_, col, col, columnWidth(widths_[column]), nullptr);
        if (error != LXW_NO_ERROR)
            raise(QStringLiteral("The width of column %1 could not be set").arg(column + 1), error);
    }
}

void XlsxWorkbook::close()
{
    if (!workbook_)
        throw AppError(QStringLiteral("The workbook is not open."));
    lxw_workbook* workbook = std::exchange(workbook_, nullptr);
    sheet_ = nullptr;
    formats_[0][0] = formats_[0][1] = formats_[0][2] = nullptr; // freed with the workbook
    formats_[1][0] = formats_[1][1] = formats_[1][2] = nullptr;
    const lxw_error error = workbook_close(workbook);
    if (error != LXW_NO_ERROR) {
        QFile::remove(path_);
        raise(QStringLiteral("The workbook \"%1\" could not be written").arg(path_), error);
    }
}

void XlsxWorkbook::discard()
{
    if (!workbook_)
        return;
    lxw_workbook_free(std::exchange(workbook_, nullptr));
    sheet_ = nullptr;
    formats_[0][0] = formats_[0][1] = formats_[0][2] = nullptr; // freed with the workbook
    formats_[1][0] = formats_[1][1] = formats_[1][2] = nullptr;
}

} // namespace tabulon
