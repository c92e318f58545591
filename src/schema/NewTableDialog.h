#pragma once

#include "SchemaSql.h"
#include "connection/odbc/Odbc.h"

#include <QDialog>
#include <optional>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace tabulon {

struct AppContext;
class Handler;
class LoginSource;
class PointerController;

// "Add New Table": a table name and a list of field rows, each defined through the column
// dialog; "Save" sends one CREATE TABLE over a connection of its own. Every opening is a new
// instance, so it starts with an empty name and an empty list.
class frmNewTable : public QDialog {
    Q_OBJECT
public:
    frmNewTable(const AppContext& ctx, const LoginSource& login, QWidget* parent = nullptr);
    ~frmNewTable() override;

    // The field rows in list order, as the list holds them now.
    QList<FieldRow> rows() const;
    PointerController& pointer() { return *pointer_; }

    QGroupBox* Frame2;       // "Table Name"
    QLineEdit* txtName;
    QGroupBox* Frame1;       // "Field(s)"
    QPushButton* PushButton4; // "Add"
    QPushButton* PushButton1; // "Delete Selected"
    QTreeWidget* ListView1;
    QPushButton* PushButton2; // "Save"
    QPushButton* PushButton3; // "Cancel"

private:
    void buildControls();
    void formLoad();
    void addClicked();
    void deleteSelectedClicked();
    void saveClicked();
    void cancelClicked();

    const AppContext& ctx_;
    const LoginSource& login_;
    PointerController* pointer_ = nullptr;
};

// The default a field row of the designer's list carries (kept with the row's first column,
// and shown as the tip of its cells), or the empty text.
void setFieldRowDefault(QTreeWidgetItem* item, const QString& defaultValue);
QString fieldRowDefault(const QTreeWidgetItem* item);

// The field list's column widths in twips, and the pixels they come to (15 twips a pixel).
inline constexpr int kFieldColumnTwips[4] = {1500, 1500, 1000, 1500};
int twipsToPixels(int twips);

// The table chooser's "Create New Table" step 1: a new designer shown modally (line 100).
// Runs inside the chooser's handler, whose later steps refresh the list whatever happened.
void runCreateTableDialog(Handler& handler, const AppContext& ctx, const LoginSource& login,
                          QWidget* parent);

} // namespace tabulon
