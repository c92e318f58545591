#include "ExportTestSupport.h"

#include <QDir>
#include <algorithm>
#include <QFile>

namespace tabulon::test {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

ProcessResult run(const QString& program, const QStringList& arguments, int timeoutMs)
{
    ProcessResult result;
    QProcess process;
    process.start(program, arguments);
    result.started = process.waitForStarted(10000);
    if (!result.started)
        return result;
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

TempPathOverride::TempPathOverride(const QString& folder)
    : previous_(qgetenv("TMPDIR")), had_(qEnvironmentVariableIsSet("TMPDIR"))
{
    qputenv("TMPDIR", QFile::encodeName(folder));
}

TempPathOverride::~TempPathOverride()
{
    if (had_)
        qputenv("TMPDIR", previous_);
    else
        qunsetenv("TMPDIR");
}

} // namespace tabulon::test
