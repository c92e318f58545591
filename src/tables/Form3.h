#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QMenu;
class QAction;
class QPushButton;

namespace tabulon {

struct AppContext;
class Handler;
class DataGrid;
class LoginSource;
class PointerController;

// The table editor: the grid over the open table, and the buttons around it.
class Form3 : public QWidget {
    Q_OBJECT
public:
    Form3(AppContext& ctx, const LoginSource& login, QWidget* parent = nullptr);
    ~Form3() override;

    void Form_Load();
    PointerController& pointer() { return *pointer_; }

    // The chooser's opening of a table, lines 108 to 130 of its handler: a new connection,
    // the grid unbound, the table read into a new row set, bound, focused.
    void openCurrentTable(Handler& h);
    // Writes the row in edit, as leaving it would. False when the server refused it (the grid
    // has said why and kept the values).
    bool commitPendingEdits();

    void PushButton1_Click(); // "< Back"
    void PushButton3_Click(); // "Quit"
    void PushButton4_Click(); // "Help"
    void PushButton5_Click(); // "Add New Row"
    void PushButton2_Click(); // "Add New Column"
    void PushButton6_Click(); // "Export Table As.."
    void mnuTXT_Click();
    void mnuXLS_Click();
    void mnuCSV_Click();
    void mnuPDF_Click();
    void mnuXML_Click();

    QLabel* Label2 = nullptr;
    DataGrid* DataGrid1 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton4 = nullptr;
    QPushButton* PushButton5 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton6 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QMenu* mnuSaveAs = nullptr;
    QAction* mnuTXT = nullptr;
    QAction* mnuXLS = nullptr;
    QAction* mnuCSV = nullptr;
    QAction* mnuPDF = nullptr;
    QAction* mnuXML = nullptr;

signals:
    void backRequested();
    void quitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The line numbers each caller reports for the steps of reading the table.
    struct TableLines {
        int openLocal, open, unbind, recordset, bind, focus;
    };
    void bindTable(Handler& h, const TableLines& lines);

    AppContext& ctx_;
    const LoginSource& login_;
    PointerController* pointer_ = nullptr;
    QString lastExportFile_; // the Save dialog offers the last chosen name again
};

// The editor's "Help" text (see the duplicate-rows explanation).
QString duplicateRowsHelpText();

} // namespace tabulon
