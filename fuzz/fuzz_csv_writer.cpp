// The CSV export, read back by an RFC 4180 reader: records end in CR LF, fields are separated
// by commas, a field in double quotes may hold commas, CR, LF and doubled quotes, a field
// without quotes holds none of them. The header reads back as the captions, each record as the
// row's cells, exactly.

#include "FuzzSupport.h"

#include "export/GridWriters.h"

#include <QFile>
#include <QStringDecoder>

namespace {

using tabulon::fuzz::show;

// A strict reader of RFC 4180 text (UTF-8 decoded after splitting, since the separators are
// ASCII).
std::vector<QStringList> readCsv(const QByteArray& bytes)
{
    std::vector<QStringList> records;
    qsizetype at = 0;
    const qsizetype n = bytes.size();
    while (at < n) {
        QStringList record;
        for (;;) {
            QByteArray field;
            if (at < n && bytes[at] == '"') {
                for (++at;; ++at) {
                    FUZZ_REQUIRE(at < n, "a quoted field has no end");
                    if (bytes[at] == '"') {
                        if (at + 1 < n && bytes[at + 1] == '"') {
                            field += '"';
                            ++at;
                            continue;
                        }
                        ++at;
                        break;
                    }
                    field += bytes[at];
                }
            } else {
                while (at < n && bytes[at] != ',' && bytes[at] != '\r') {
                    FUZZ_REQUIRE(bytes[at] != '"' && bytes[at] != '\n', "a quote or LF in a field without quotes");
                    field += bytes[at++];
                }
            }
            // Decoded as it stands: a U+FEFF that begins the text is data here, not a mark to drop.
            QStringDecoder decode(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
            record << QString(decode(field));
            FUZZ_REQUIRE(at < n, "the last record has no CR LF");
            if (bytes[at] == ',') {
                ++at;
                continue;
            }
            FUZZ_REQUIRE(bytes[at] == '\r' && at + 1 < n && bytes[at + 1] == '\n', "a record does not end in CR LF");
            at += 2;
            break;
        }
        records.push_back(record);
    }
    return records;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const tabulon::fuzz::TextGrid grid = tabulon::fuzz::gridFrom(in);
    static tabulon::fuzz::Context context;
    const QString file = tabulon::fuzz::scratch().filePath(QStringLiteral("grid.csv"));
    FUZZ_REQUIRE(tabulon::SaveDataGridToCSVFile(context.ctx, grid, file) == tabulon::ExportResult::Written, "not written");

    QFile f(file);
    FUZZ_REQUIRE(f.open(QIODevice::ReadOnly), "cannot read the file back");
    const QByteArray bytes = f.readAll();
    // No byte-order mark is added; the same bytes may only come from a first caption that
    // itself begins with U+FEFF.
    const bool captionBeginsWithFeff = grid.columnCount() > 0 && grid.captions.at(0).startsWith(QChar(0xFEFF));
    FUZZ_REQUIRE(!bytes.startsWith("\xEF\xBB\xBF") || captionBeginsWithFeff, "a byte-order mark");
    const std::vector<QStringList> records = readCsv(bytes);
    FUZZ_REQUIRE(records.size() == grid.rows.size() + 1, "records: " + std::to_string(records.size()));
    FUZZ_REQUIRE(records[0] == grid.captions, "the header reads back as " + show(records[0].join(QLatin1Char('|'))));
    for (std::size_t r = 0; r < grid.rows.size(); ++r)
        FUZZ_REQUIRE(records[r + 1] == grid.rows[r], "row " + std::to_string(r) + " reads back as " +
                                                    show(records[r + 1].join(QLatin1Char('|'))) + " instead of " +
                                                    show(grid.rows[r].join(QLatin1Char('|'))));
    return 0;
}
