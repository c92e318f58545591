#include "Fakes.h"

#include <QDir>
#include <QFileInfo>

namespace tabulon::test {

MessageAnswer FakePrompter::show(const Message& message)
{
    shown.push_back(message);
    if (onShow)
        onShow(message);
    if (!answers.empty()) {
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return message.buttons == MessageButtons::YesNo || message.buttons == MessageButtons::YesNoCancel
               ? MessageAnswer::Yes
               : MessageAnswer::Ok;
}

QStringList FakePrompter::texts() const
{
    QStringList list;
    for (const Message& m : shown)
        list << m.text;
    return list;
}

std::vector<Message> FakePrompter::errors() const
{
    std::vector<Message> list;
    for (const Message& m : shown)
        if (m.title == QLatin1String("Application Error"))
            list.push_back(m);
    return list;
}

QString FakeFileChooser::chooseSaveFile(const QString& title, const QString& filter,
                                        const QString& initialName)
{
    calls.push_back({title, filter, initialName});
    if (answers.empty())
        return {};
    const QString answer = answers.front();
    answers.pop_front();
    if (!answer.isEmpty() && QFileInfo::exists(answer)) {
        replaceQuestions << answer;
        bool replace = true;
        if (!replaceAnswers.empty()) {
            replace = replaceAnswers.front();
            replaceAnswers.pop_front();
        }
        if (!replace)
            return chooseSaveFile(title, filter, answer);
    }
    return answer;
}

bool FakeLauncher::openUrl(const QUrl& url)
{
    opened.push_back(url);
    return succeed;
}

bool FakeLauncher::startDetached(const QString& program, const QStringList& arguments)
{
    started.push_back(QStringList{program} + arguments);
    return succeed;
}

QString FakeLauncher::findProgram(const QString& name)
{
    return programsOnPath.contains(name) ? QStringLiteral("/usr/bin/") + name : QString();
}

QString FakePrinters::printText(const TextPrintJob& job)
{
    jobs.push_back(job);
    return failure;
}

TestContext::TestContext(const QString& programDir)
{
    ctx.programDir = programDir.isEmpty() ? QDir::tempPath() + QStringLiteral("/tabulon-no-program-dir")
                                          : programDir;
}

} // namespace tabulon::test
