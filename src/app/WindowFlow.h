#pragma once

#include <QObject>
#include <QString>
#include <memory>

namespace tabulon {

struct AppContext;
class Form1;
class Form2;
class Form3;
class SettingsStore;

// The details under the start-up message about the missing PDF printer: how the printer is
// added on this platform (the project's setup script and the one lpadmin command it runs).
QString pdfPrinterSetupDetails();

// Owns the windows and carries the person from one to the next: login window, table chooser,
// table editor. Closing any of the three ends the program.
class WindowFlow : public QObject {
    Q_OBJECT
public:
    WindowFlow(AppContext& ctx, SettingsStore& store);
    ~WindowFlow() override;

    // Runs the login window's load routine and shows the first window.
    void start();

    Form1& form1() { return *form1_; }
    // The chooser and the editor are made the first time they are needed.
    Form2& form2();
    Form3& form3();
    bool hasForm3() const { return form3_ != nullptr; }

    // Form1 "Next >"; the automatic advance at start-up (lines 140 to 144). A connection that
    // fails when the person pressed "Next >" is said, with the driver's words in the details;
    // at start-up it is not, and the login window simply stays.
    enum class Advance { ByUser, AtStartUp };
    void form1Next(Advance how = Advance::ByUser);
    void automaticAdvance();
    // Form2's buttons.
    void form2Back();
    void form2Next();
    void form2CreateTable();

signals:
    void quitRequested();

private:
    void checkPdfPrinter();
    void end();

    AppContext& ctx_;
    SettingsStore& store_;
    std::unique_ptr<Form1> form1_;
    std::unique_ptr<Form2> form2_;
    std::unique_ptr<Form3> form3_;
};

} // namespace tabulon
