#include "ExportFile.h"

#include "app/ErrorReport.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tabulon {

ExportFile::ExportFile(QString fileName) : fileName_(std::move(fileName)) {}

ExportFile::~ExportFile()
{
    if (!finished_)
        discard();
}

void ExportFile::fail(const QString& reason)
{
    if (error_.isEmpty())
        error_ = QStringLiteral("The file \"%1\" could not be written: %2").arg(fileName_, reason);
}

void ExportFile::start()
{
    if (opened_)
        return;
    opened_ = true;
    if (fileName_.isEmpty()) {
        fail(QStringLiteral("No file name was given."));
        return;
    }
    const QFileInfo target(fileName_);
    direct_ = target.exists() && !target.isFile() && !target.isDir();
    if (direct_) {
        auto file = std::make_unique<QFile>(fileName_);
        if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            fail(file->errorString());
            return;
        }
        device_ = std::move(file);
        return;
    }
    auto file = std::make_unique<QSaveFile>(fileName_);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        fail(file->errorString());
        return;
    }
    device_ = std::move(file);
}

QIODevice* ExportFile::device()
{
    start();
    return failed() ? nullptr : device_.get();
}

void ExportFile::write(std::string_view bytes)
{
    start();
    if (failed() || bytes.empty())
        return;
    const char* data = bytes.data();
    qint64 left = qint64(bytes.size());
    while (left > 0) {
        const qint64 written = device_->write(data, left);
        if (written <= 0) {
            fail(device_->errorString());
            return;
        }
        data += written;
        left -= written;
    }
}

void ExportFile::commit()
{
    start();
    finished_ = true;
    if (!failed()) {
        if (direct_) {
            // Writes made through device() are checked here.
            if (!device_->flush() || device_->error() != QFileDevice::NoError)
                fail(device_->errorString());
            device_->close();
        } else {
            auto* save = static_cast<QSaveFile*>(device_.get());
            if (!save->commit())
                fail(save->errorString());
        }
    }
    if (failed()) {
        discard();
        throw AppError(error_);
    }
    device_.reset();
}

void ExportFile::discard()
{
    finished_ = true;
    if (!device_)
        return;
    if (direct_)
        device_->close();
    // A QSaveFile destroyed without commit() removes its temporary file; it must not be closed.
    device_.reset();
}

void WriteStringToFile(std::string_view text, const QString& fileName)
{
    ExportFile file(fileName);
    file.write(text);
    file.commit();
}

} // namespace tabulon
