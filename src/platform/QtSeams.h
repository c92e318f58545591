#pragma once

#include "FileChooser.h"
#include "Launcher.h"
#include "Printers.h"
#include "Prompter.h"
#include "Random.h"

#include <random>

class QFileDialog;
class QWidget;

namespace tabulon {

class QtPrompter final : public Prompter {
public:
    MessageAnswer show(const Message& message) override;
};

class QtFileChooser final : public FileChooser {
public:
    QString chooseSaveFile(const QString& title, const QString& filter,
                           const QString& initialName) override;
    QString documentsFolder() override;
    // A Save dialog that asks before it replaces an existing file.
    static void prepareSaveDialog(QFileDialog& dialog);
};

class QtLauncher final : public Launcher {
public:
    bool openUrl(const QUrl& url) override;
    bool startDetached(const QString& program, const QStringList& arguments) override;
    QString findProgram(const QString& name) override;
};

class QtPrinters final : public Printers {
public:
    std::vector<PrinterInfo> installed() override;
    QString defaultPrinter() override;
    QString printText(const TextPrintJob& job) override;
};

class StdRandom final : public Random {
public:
    void seedFromTimeOfDay() override;
    double next() override;

private:
    std::mt19937 engine_{std::random_device{}()};
};

} // namespace tabulon
