#include "ConnectionString.h"
#include "odbc/Odbc.h"

namespace tabulon {

QString quoteConnectionValue(const QString& value)
{
    const bool needsBraces = value.contains(QLatin1Char(';')) ||
                             value.startsWith(QLatin1Char('{')) ||
                             value.startsWith(QLatin1Char(' ')) || value.endsWith(QLatin1Char(' '));
    if (!needsBraces)
        return value;
    QString inner = value;
    inner.replace(QStringLiteral("}"), QStringLiteral("}}"));
    return QLatin1Char('{') + inner + QLatin1Char('}');
}

QString BuildConnectionString(const LoginFields& f)
{
    // Read in the order: the box, server, (port,) database, user, password.
    QString server = quoteConnectionValue(f.local ? f.server : f.server + QLatin1Char(',') + f.port);
    return QStringLiteral("Driver={SQL Server};Server=") + server +
           QStringLiteral(";Database=") + quoteConnectionValue(f.database) +
           QStringLiteral(";Uid=") + quoteConnectionValue(f.user) +
           QStringLiteral(";Pwd=") + quoteConnectionValue(f.password) + QLatin1Char(';');
}

std::string connectionStringUtf8(const LoginFields& fields)
{
    return BuildConnectionString(fields).toStdString();
}

bool OpenTestConnection(const LoginFields& fields)
{
    try {
        odbc::Connection::open(connectionStringUtf8(fields));
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace tabulon
