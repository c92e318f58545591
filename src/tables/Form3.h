#pragma once

#include <QString>
#include <QWidget>
#include <memory>

class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPushButton;
class QTimer;
class QToolButton;

namespace odbc {
class Connection;
}

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

    // The chooser's opening of a table, in the order of its handler: first the table's own
    // connection (lines 108 to 114), and, once the editor shows and is labelled, the grid
    // unbound, the table read into a new row set, bound and focused (lines 122 to 130).
    void openTableConnection(Handler& h);
    void readOpenedTable(Handler& h);
    // Writes the row in edit, as leaving it would. False when the server refused it (the grid
    // has said why and kept the values).
    bool commitPendingEdits();

    // F5 and "Refresh": writes the row in edit first (a refusal stops here and loses
    // nothing), then reads the table again from the server, keeping the sort, the filter
    // and the current row where it still exists. A table that cannot be read is said, and
    // the grid keeps the rows it had.
    void refreshTable();
    // Ctrl+F and "Filter": the quick filter's box above the grid, focused. Esc in it clears
    // the filter and closes it.
    void openFilter();
    void closeFilter();
    // Applies the text of the filter's box now (typing applies it after a short pause).
    void applyFilter();

    // A short note in the status line under the grid, which goes away by itself.
    void showNotice(const QString& text);
    // The status line's own text: rows in the table, the current row, the filter.
    QString statusText() const;

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
    QWidget* FilterBar = nullptr;    // above the grid, shown by Ctrl+F
    QLineEdit* FilterBox = nullptr;
    QToolButton* FilterClose = nullptr;
    QLabel* StatusLine = nullptr;    // under the grid
    QLabel* StatusNotice = nullptr;
    QMenu* mnuGrid = nullptr;        // on a right click on a cell or a row number
    QAction* mnuCopy = nullptr;
    QAction* mnuPaste = nullptr;
    QAction* mnuSetNull = nullptr;
    QAction* mnuDeleteRows = nullptr;
    QAction* mnuRefresh = nullptr;
    QAction* mnuFilter = nullptr;
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
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The line numbers each caller reports for the steps of reading the table.
    struct TableLines {
        int openLocal, open, unbind, recordset, bind, focus;
    };
    void bindTable(Handler& h, const TableLines& lines);
    void openConnection(Handler& h, const TableLines& lines);
    void readTable(Handler& h, const TableLines& lines);
    void updateStatus();
    // After a dialog or a menu, the keyboard goes back to the grid.
    void focusGrid();
    void resetFilterBar();

    AppContext& ctx_;
    std::unique_ptr<odbc::Connection> opening_; // the table's connection until it is read
    QTimer* filterTimer_ = nullptr;
    QTimer* noticeTimer_ = nullptr;
    const LoginSource& login_;
    PointerController* pointer_ = nullptr;
    QString lastExportFile_; // the Save dialog offers the last chosen name again
};

// The editor's "Help" text (see the duplicate-rows explanation).
QString duplicateRowsHelpText();

} // namespace tabulon
