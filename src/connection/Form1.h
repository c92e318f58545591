#pragma once

#include "ConnectionString.h"

#include <QWidget>
#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tabulon {

struct AppContext;
class PointerController;
class SettingsStore;

// The login window: the connection settings, remembered as they are typed.
class Form1 : public QWidget, public LoginSource {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> automaticAdvance; // start-up step 9
        std::function<void()> checkPdfPrinter;  // start-up step 10
        std::function<void()> next;             // "Next >"
    };

    Form1(AppContext& ctx, SettingsStore& store, QWidget* parent = nullptr);
    ~Form1() override;

    void setHooks(Hooks hooks) { hooks_ = std::move(hooks); }

    // The start-up sequence.
    void Form_Load();

    LoginFields loginFields() const override;

    // "Test Connection" and "Help".
    void PushButton5_Click();
    void PushButton2_Click();
    void PushButton3_Click();

    PointerController& pointer() { return *pointer_; }

    QLineEdit* Text1 = nullptr; // server
    QLineEdit* Text9 = nullptr; // port
    QLineEdit* Text2 = nullptr; // user
    QLineEdit* Text3 = nullptr; // password
    QLineEdit* Text4 = nullptr; // database
    QCheckBox* Check6 = nullptr;
    QPushButton* PushButton5 = nullptr; // "Test Connection"
    QPushButton* PushButton2 = nullptr; // "Help"
    QPushButton* PushButton3 = nullptr; // "Next >"
    QGroupBox* Frame1 = nullptr;

signals:
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void bindField(QLineEdit* field, const QString& key);
    void showStoreProblem();

    AppContext& ctx_;
    SettingsStore& store_;
    PointerController* pointer_ = nullptr;
    Hooks hooks_;
    bool storeProblemShown_ = false;
};

// The message of a failed connection test, the same for "Test Connection" and "Next >"; its
// details hold the driver's account of the failure (connectionFailureDetails), if any.
extern const QString kCouldNotConnect;
void sayCouldNotConnect(const AppContext& ctx, const QString& details);

// The text of the login window's "Help" message.
QString connectionHelpText();

} // namespace tabulon
