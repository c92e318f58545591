#include "Workbook.h"

#include "ExportText.h"
#include "app/ErrorReport.h"

#include <QFile>
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

} // namespace

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
    if (column >= widths_.size())
        widths_.resize(std::size_t(column) + 1, 0.0);
    const double width = exporttext::displayWidth(utf8);
    if (width > widths_[column])
        widths_[column] = width;
    return whole;
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
}

} // namespace tabulon
