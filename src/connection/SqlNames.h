#pragma once

#include <QString>

namespace tabulon {

// A name between square brackets, each "]" inside it doubled, as T-SQL reads it back.
inline QString bracketName(const QString& name)
{
    QString inner = name;
    inner.replace(QStringLiteral("]"), QStringLiteral("]]"));
    return QLatin1Char('[') + inner + QLatin1Char(']');
}

// The statement that reads a whole table: "SELECT * FROM [t];".
inline QString selectAllStatement(const QString& table)
{
    return QStringLiteral("SELECT * FROM ") + bracketName(table) + QLatin1Char(';');
}

} // namespace tabulon
