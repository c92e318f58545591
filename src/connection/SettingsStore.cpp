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
    // QSettings may put off reading the file until it is first asked for a value, and only
    // then know that it cannot read it; ask now.
    settings_->allKeys();
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
    // store is rewritten through a temporary file that takes over the existing mode. Only the
    // rights of others are taken away; a file its owner made read-only stays read-only, and
    // writing to it then fails and is said.
    const QByteArray native = QFile::encodeName(path_);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    struct stat st {};
    if (::stat(native.constData(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) != 0)
        ::chmod(native.constData(), st.st_mode & 0700);
}

bool SettingsStore::write(const QString& key, const QString& value)
{
    // The store would replace a read-only file through a new one beside it; a file its owner
    // made read-only is left as it is.
    const QFileInfo file(path_);
    if (file.exists() && !file.isWritable()) {
        problem_ = QStringLiteral("The settings file \"%1\" could not be written: it is read-only.").arg(path_);
        return false;
    }
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
