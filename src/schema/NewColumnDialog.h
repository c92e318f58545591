#pragma once

#include "SchemaSql.h"
#include "connection/odbc/Odbc.h"

#include <QDialog>
#include <QPointer>
#include <optional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace tabulon {

struct AppContext;
class Handler;
class LoginSource;
class PointerController;

// "Add a New Column": one column definition. Opened by the table editor it adds the column to
// the open table over a connection of its own; opened by the table designer it appends a
// field row to the designer's list. Every opening is a new instance.
class frmNewColumn : public QDialog {
    Q_OBJECT
public:
    // Builds the window and runs its load routine, which opens the dialog's connection.
    frmNewColumn(const AppContext& ctx, const LoginSource& login, QWidget* parent = nullptr);
    ~frmNewColumn() override;

    // Who opened the dialog: "Form3" (the table editor) or "frmNewTable" (the designer).
    QString callingform;
    // The designer's field list, for the "frmNewTable" path.
    QPointer<QTreeWidget> fieldList;

    // What the boxes hold now.
    ColumnDefinition definition() const;
    bool connected() const { return connection_.has_value(); }
    PointerController& pointer() { return *pointer_; }

    QLineEdit* txtName;
    QComboBox* cboDataType;
    QLineEdit* txtM;
    QLineEdit* txtD;
    QLineEdit* txtDefault;
    QCheckBox* chkAutoInc;
    QPushButton* PushButton1; // "Add"

private:
    void buildControls();
    void formLoad();
    void addClicked();
    void addToTable(Handler& h, const ColumnDefinition& column);
    void addToDesigner(Handler& h, const ColumnDefinition& column);
    odbc::Connection& openConnection();

    const AppContext& ctx_;
    const LoginSource& login_;
    PointerController* pointer_ = nullptr;
    std::optional<odbc::Connection> connection_;
};

// The table editor's "Add New Column" up to the dialog's close: a new dialog with
// callingform "Form3" (line 104), shown modally (line 106). Runs inside the editor's handler,
// whose later steps reload the grid whatever happened in the dialog.
void runAddNewColumnDialog(Handler& handler, const AppContext& ctx, const LoginSource& login,
                           QWidget* parent);

// The description of the error raised when a statement is sent on a connection that did
// not open.
QString closedConnectionText();

} // namespace tabulon
