#pragma once

#include <QString>
#include <exception>
#include <optional>
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

// Opens and closes a connection with these settings. Nothing when it opened; otherwise the
// account of the failure that connectionFailureDetails gives.
std::optional<QString> connectionFailure(const LoginFields& fields);

// The driver's words behind a failed connection, for the details of the failure message: one
// line per diagnostic record, each with its SQLSTATE and native error code (the bare text of
// any other exception). Every occurrence of the password is taken out (see withoutPassword).
QString connectionFailureDetails(const std::exception& error, const QString& password);

// The text with every occurrence of the password removed, in any letter case, both as typed
// and as the connection string carries it (in braces, with "}" doubled), until none is left.
// An empty password leaves the text as it is.
QString withoutPassword(QString text, const QString& password);

} // namespace tabulon
