#include "ConnectionString.h"
#include "odbc/Odbc.h"

#include <QStringList>

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
    return !connectionFailure(fields).has_value();
}

std::optional<QString> connectionFailure(const LoginFields& fields)
{
    try {
        odbc::Connection::open(connectionStringUtf8(fields));
        return std::nullopt;
    } catch (const std::exception& e) {
        return connectionFailureDetails(e, fields.password);
    } catch (...) {
        return QStringLiteral("The connection failed for a reason the driver did not give.");
    }
}

QString withoutPassword(QString text, const QString& password)
{
    if (password.isEmpty())
        return text;
    QString doubled = password;
    doubled.replace(QStringLiteral("}"), QStringLiteral("}}"));
    const QString forms[] = {QLatin1Char('{') + doubled + QLatin1Char('}'), doubled, password};
    // Taking one occurrence out can join two pieces into a new one: go on until none is left.
    for (bool changed = true; changed;) {
        changed = false;
        for (const QString& form : forms) {
            if (text.contains(form, Qt::CaseInsensitive)) {
                text.remove(form, Qt::CaseInsensitive);
                changed = true;
            }
        }
    }
    return text;
}

QString connectionFailureDetails(const std::exception& error, const QString& password)
{
    QStringList lines;
    if (const auto* odbcError = dynamic_cast<const odbc::Error*>(&error)) {
        for (const odbc::DiagnosticRecord& r : odbcError->records()) {
            QString line = QStringLiteral("SQLSTATE ") +
                           (r.sqlState.empty() ? QStringLiteral("(none)") : QString::fromStdString(r.sqlState));
            if (r.nativeError != 0)
                line += QStringLiteral(", native error ") + QString::number(r.nativeError);
            line += QStringLiteral(": ") + QString::fromStdString(r.message);
            lines << line;
        }
        if (lines.isEmpty()) {
            QString line = QString::fromStdString(odbcError->description());
            if (!odbcError->sqlState().empty())
                line = QStringLiteral("SQLSTATE ") + QString::fromStdString(odbcError->sqlState()) +
                       QStringLiteral(": ") + line;
            lines << line;
        }
    } else {
        lines << QString::fromUtf8(error.what());
    }
    QStringList kept;
    for (const QString& line : lines) {
        const QString clean = withoutPassword(line, password).trimmed();
        if (!clean.isEmpty())
            kept << clean;
    }
    if (kept.isEmpty())
        kept << QStringLiteral("The driver gave no reason.");
    return kept.join(QLatin1Char('\n'));
}

} // namespace tabulon
