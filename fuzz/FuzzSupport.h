#pragma once

// What the fuzz targets share: a context whose seams do nothing (the writers report through it;
// a report means the target failed), a grid of texts built from the fuzzer's bytes, and a
// private folder for the files the writers make.

#include "app/AppContext.h"
#include "export/GridSource.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <vector>

namespace tabulon::fuzz {

// Stops the run with the input that broke the rule (libFuzzer keeps it as a crash file).
[[noreturn]] inline void fail(const std::string& what)
{
    std::fprintf(stderr, "\nRULE BROKEN: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

// Checks a rule; the text saying what broke is built only when it did.
#define FUZZ_REQUIRE(holds, what)             \
    do {                                      \
        if (!(holds))                         \
            ::tabulon::fuzz::fail(what);      \
    } while (false)

inline std::string show(const QString& text)
{
    std::string out;
    for (const char32_t c : text.toUcs4()) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += char(c);
        } else {
            char buffer[16];
            std::snprintf(buffer, sizeof buffer, "\\u{%X}", unsigned(c));
            out += buffer;
        }
    }
    return out;
}

class SilentPrompter : public Prompter {
public:
    MessageAnswer show(const Message& message) override
    {
        fail("the writer reported: " + tabulon::fuzz::show(message.text));
    }
};
class NoFiles : public FileChooser {
public:
    QString chooseSaveFile(const QString&, const QString&, const QString&) override { return {}; }
    QString documentsFolder() override { return QDir::tempPath(); }
};
class NoLauncher : public Launcher {
public:
    bool openUrl(const QUrl&) override { return false; }
    bool startDetached(const QString&, const QStringList&) override { return false; }
    QString findProgram(const QString&) override { return {}; }
};
class NoPrinters : public Printers {
public:
    std::vector<PrinterInfo> installed() override { return {}; }
    QString defaultPrinter() override { return {}; }
    QString printText(const TextPrintJob&) override { return QStringLiteral("no printer"); }
};
class FixedRandom : public Random {
public:
    void seedFromTimeOfDay() override {}
    double next() override { return 0.5; }
};

struct Context {
    SilentPrompter prompter;
    NoFiles files;
    NoLauncher launcher;
    NoPrinters printers;
    FixedRandom random;
    AppContext ctx{prompter, files, launcher, printers, random};
};

// A grid of texts: captions and rows, as the editor's grid would hand them to the writers.
class TextGrid : public GridSource {
public:
    QStringList captions;
    std::vector<QStringList> rows;

    int columnCount() const override { return int(captions.size()); }
    QString caption(int column) const override { return captions.at(column); }
    qsizetype rowCount() const override { return qsizetype(rows.size()); }
    QString cellText(qsizetype row, int column) const override { return rows[std::size_t(row)].at(column); }
};

// Up to 8 columns and 12 rows of texts of up to 40 bytes each, read as UTF-8 (what is not
// UTF-8 becomes U+FFFD, as it would in the grid).
inline TextGrid gridFrom(FuzzedDataProvider& in)
{
    TextGrid grid;
    const int columns = in.ConsumeIntegralInRange<int>(1, 8);
    const int rows = in.ConsumeIntegralInRange<int>(0, 12);
    auto text = [&in] {
        const std::string bytes = in.ConsumeRandomLengthString(40);
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    };
    for (int c = 0; c < columns; ++c)
        grid.captions << text();
    for (int r = 0; r < rows; ++r) {
        QStringList row;
        for (int c = 0; c < columns; ++c)
            row << text();
        grid.rows.push_back(row);
    }
    return grid;
}

// The folder the writers write into, one per run; in memory where the system offers it, since
// the writers flush every file they finish to the disk.
inline const QTemporaryDir& scratch()
{
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/tabulon-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/tabulon-fuzz-XXXXXX"));
    if (!dir.isValid())
        fail("no scratch folder");
    return dir;
}

} // namespace tabulon::fuzz
