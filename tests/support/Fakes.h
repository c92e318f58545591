#pragma once

#include "app/AppContext.h"

#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

namespace tabulon::test {

// Records every message box; answers from a script (Ok/Yes by default when the script is empty).
class FakePrompter : public Prompter {
public:
    MessageAnswer show(const Message& message) override;

    std::vector<Message> shown;
    std::deque<MessageAnswer> answers;
    // Runs while a box is "open", e.g. to look at the pointer at that moment.
    std::function<void(const Message&)> onShow;

    QStringList texts() const;
    // The boxes titled "Application Error".
    std::vector<Message> errors() const;
    void clear() { shown.clear(); }
};

class FakeFileChooser : public FileChooser {
public:
    QString chooseSaveFile(const QString& title, const QString& filter,
                           const QString& initialName) override;
    QString documentsFolder() override { return documents; }

    // What documentsFolder() answers (nothing is made there).
    QString documents = QStringLiteral("/home/tester/Documents");
    struct Call { QString title, filter, initialName; };
    std::vector<Call> calls;
    std::deque<QString> answers; // empty text: cancelled
    // As the real dialog does: an answer naming an existing file asks whether to replace it
    // (recorded in `replaceQuestions`, answered from `replaceAnswers`, Yes when empty); "No"
    // goes back to the dialog, counted as another call with that name offered.
    std::deque<bool> replaceAnswers;
    QStringList replaceQuestions;
};

class FakeLauncher : public Launcher {
public:
    bool openUrl(const QUrl& url) override;
    bool startDetached(const QString& program, const QStringList& arguments) override;
    QString findProgram(const QString& name) override;

    std::vector<QUrl> opened;
    std::vector<QStringList> started; // program first, then its arguments
    QStringList programsOnPath;       // names findProgram finds (as "/usr/bin/<name>")
    bool succeed = true;
};

class FakePrinters : public Printers {
public:
    std::vector<PrinterInfo> installed() override { return printers; }
    QString defaultPrinter() override { return defaultName; }
    QString printText(const TextPrintJob& job) override;

    std::vector<PrinterInfo> printers;
    QString defaultName;
    std::vector<TextPrintJob> jobs;
    QString failure; // returned by printText when set
};

class FakeRandom : public Random {
public:
    void seedFromTimeOfDay() override { ++seeded; }
    double next() override { return draw; }
    double draw = 0.5;
    int seeded = 0;
};

// A full set of fakes and the context that holds them.
struct TestContext {
    FakePrompter prompter;
    FakeFileChooser files;
    FakeLauncher launcher;
    FakePrinters printers;
    FakeRandom random;
    AppContext ctx{prompter, files, launcher, printers, random};

    explicit TestContext(const QString& programDir = QString());
};

} // namespace tabulon::test
