#pragma once

#include <QWidget>

class QGroupBox;
class QListWidget;
class QPushButton;

namespace tabulon {

struct AppContext;
class PointerController;

// The table chooser.
class Form2 : public QWidget {
    Q_OBJECT
public:
    explicit Form2(AppContext& ctx, QWidget* parent = nullptr);

    void Form_Load();
    PointerController& pointer() { return *pointer_; }

    QPushButton* PushButton2 = nullptr; // "< Back"
    QGroupBox* Frame1 = nullptr;
    QListWidget* List1 = nullptr;
    QPushButton* PushButton1 = nullptr; // "Create New Table"
    QPushButton* PushButton3 = nullptr; // "Next >"

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    AppContext& ctx_;
    PointerController* pointer_ = nullptr;
};

} // namespace tabulon
