#pragma once

#include <QString>
#include <memory>

class QSettings;

namespace tabulon {

// The per-user store of the login fields: an INI file whose group "Tabulon" holds the keys.
// Every write is flushed at once, and the file is kept readable by its owner only, since it
// holds the password.
class SettingsStore {
public:
    explicit SettingsStore(QString filePath);
    ~SettingsStore();

    // $XDG_CONFIG_HOME/Vantorel.ini (usually ~/.config/Vantorel.ini).
    static QString defaultPath();

    QString read(const QString& key, const QString& defaultValue) const;
    // Returns false when the file could not be written (the value then lives on in the window).
    bool write(const QString& key, const QString& value);
    const QString& filePath() const { return path_; }
    // What went wrong at start-up or on the last write, in words; empty when all is well.
    QString problem() const { return problem_; }

private:
    void secure();

    QString path_;
    std::unique_ptr<QSettings> settings_;
    QString problem_;
};

namespace keys {
inline const QString Server = QStringLiteral("MSServer");
inline const QString User = QStringLiteral("MSUser");
inline const QString Password = QStringLiteral("MSPassword");
inline const QString Database = QStringLiteral("MSDatabase");
inline const QString Port = QStringLiteral("Port");
inline const QString Local = QStringLiteral("Local Connection");
} // namespace keys

} // namespace tabulon
