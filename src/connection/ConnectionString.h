#pragma once

#include <QString>
#include <string>

namespace tabulon {

// The login window's connection settings, as its controls hold them.
struct LoginFields {
    bool local = false; // "Local Connection" ticked
    QString server;
    QString port;
    QString database;
    QString user;
    QString password;
};

// Whoever holds the current settings (the login window); read afresh at every connection.
class LoginSource {
public:
    virtual ~LoginSource() = default;
    virtual LoginFields loginFields() const = 0;
};

// "Driver={SQL Server};Server=" server ["," port] ";Database=" ... ";Uid=" ... ";Pwd=" ... ";"
// A value that holds ";", begins with "{" or has blanks at either end is enclosed in braces
// with each "}" doubled, so it reaches the driver whole; every other value stands as typed.
QString BuildConnectionString(const LoginFields& fields);
std::string connectionStringUtf8(const LoginFields& fields);

// The braces rule alone.
QString quoteConnectionValue(const QString& value);

// True when a connection opens with these settings. Nothing is shown either way.
bool OpenTestConnection(const LoginFields& fields);

} // namespace tabulon
