#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tabulon {

namespace {
const QString kGroup = QStringLiteral("Tabulon");
}

SettingsStore::SettingsStore(QString filePath) : path_(std::move(filePath))
{
    QDir().mkpath(QFileInfo(path_).absolutePath());
    secure();
    settings_ = std::make_unique<QSettings>(path_, QSettings::IniFormat);
    if (settings_->status() == QSettings::FormatError) {
        // Keep the damaged file for the person to look at, and start from the defaults.
        const QString kept = path_ + QStringLiteral(".damaged");
        QFile::remove(kept);
        QFile::rename(path_, kept);
        problem_ = QStringLiteral("The settings file \"%1\" could not be read; it was kept as \"%2\" "
                                  "and the login fields start empty.")
                       .arg(path_, kept);
        settings_ = std::make_unique<QSettings>(path_, QSettings::IniFormat);
    }
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Vantorel.ini");
}

QString SettingsStore::read(const QString& key, const QString& defaultValue) const
{
    return settings_->value(kGroup + QLatin1Char('/') + key, defaultValue).toString();
}

void SettingsStore::secure()
{
    // Create the file owner-only before anything is written into it, and keep it so: the
    // store is rewritten through a temporary file that takes over the existing mode.
    const QByteArray native = QFile::encodeName(path_);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    ::chmod(native.constData(), 0600);
}

bool SettingsStore::write(const QString& key, const QString& value)
{
    secure();
    settings_->setValue(kGroup + QLatin1Char('/') + key, value);
    settings_->sync();
    secure();
    if (settings_->status() != QSettings::NoError) {
        problem_ = QStringLiteral("The settings file \"%1\" could not be written.").arg(path_);
        return false;
    }
    problem_.clear();
    return true;
}

} // namespace tabulon
