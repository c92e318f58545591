#pragma once

#include <QString>
#include <memory>
#include <string>
#include <string_view>

class QFileDevice;
class QIODevice;

namespace tabulon {

// The file an export writes. The text goes to a private temporary file beside the target as it
// is produced, and replaces the target in one step only when it is complete: a failure part way
// (disk full, folder gone) or a cancelled export leaves the old file as it was and no partial
// file behind. A target that is not a regular file (a device such as /dev/null) is written
// directly, since it cannot be replaced.
//
// Failures are remembered, not thrown, while the text is handed over; commit() reports the
// first one, so the export reports it at its own statement for the write.
class ExportFile {
public:
    explicit ExportFile(QString fileName);
    ~ExportFile(); // discards the temporary file unless committed
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    // Creates the temporary file (or opens the device). Also done by the first write.
    void start();
    void write(std::string_view bytes);
    // The open device, for writers that take a QIODevice (the PDF); null when start() failed.
    // Write errors on it surface in commit().
    QIODevice* device();
    // True once opening or writing has failed; nothing more is written then.
    bool failed() const { return !error_.isEmpty(); }
    // Puts the complete file in place. Throws AppError (with the reason) when any step failed.
    void commit();
    // Drops what was written; the target stays as it was.
    void discard();

    const QString& fileName() const { return fileName_; }

private:
    void fail(const QString& reason);

    QString fileName_;
    std::unique_ptr<QFileDevice> device_;
    bool direct_ = false;
    bool opened_ = false;
    bool finished_ = false;
    QString error_;
};

// Writes a finished text to a file in one operation (through ExportFile). Throws AppError when
// the file cannot be created or written; the old file then stays untouched.
void WriteStringToFile(std::string_view text, const QString& fileName);

} // namespace tabulon
