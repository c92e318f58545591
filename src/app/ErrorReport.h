#pragma once

#include <QString>
#include <exception>
#include <functional>

namespace tabulon {

struct AppContext;

// The location text each guarded handler reports, trailing blank included.
namespace loc {
inline const QString Form1_Load = QStringLiteral("in Quarrix2020/08/02.Form1.Form_Load ");
inline const QString Form1_Help = QStringLiteral("in Quarrix2020/08/02.Form1.PushButton2_Click ");
inline const QString Form1_Next = QStringLiteral("in Quarrix2020/08/02.Form1.PushButton3_Click ");
inline const QString Form1_Test = QStringLiteral("in Quarrix2020/08/02.Form1.PushButton5_Click ");
inline const QString Form2_Load = QStringLiteral("in Quarrix2020/08/02.Form2.Form_Load ");
inline const QString Form2_CreateTable = QStringLiteral("in Quarrix2020/08/02.Form2.PushButton1_Click ");
inline const QString Form2_Back = QStringLiteral("in Quarrix2020/08/02.Form2.PushButton2_Click ");
inline const QString Form2_Next = QStringLiteral("in Quarrix2020/08/02.Form2.PushButton3_Click ");
inline const QString Form3_Load = QStringLiteral("in Quarrix2020/08/02.Form3.Form_Load ");
inline const QString Form3_AddColumn = QStringLiteral("in Quarrix2020/08/02.Form3.chkNewColumn_Click ");
inline const QString Form3_AddRow = QStringLiteral("in Quarrix2020/08/02.Form3.cmdAddNewRow_Click ");
inline const QString Form3_Back = QStringLiteral("in Quarrix2020/08/02.Form3.PushButton1_Click ");
inline const QString Form3_Quit = QStringLiteral("in Quarrix2020/08/02.Form3.PushButton3_Click ");
inline const QString Form3_Help = QStringLiteral("in Quarrix2020/08/02.Form3.PushButton4_Click ");
inline const QString Form3_Export = QStringLiteral("in Quarrix2020/08/02.Form3.PushButton6_Click ");
inline const QString Form3_Pdf = QStringLiteral("in Quarrix2020/08/02.Form3.mnuPDF_Click ");
inline const QString Form3_Xls = QStringLiteral("in Quarrix.Form3.mnuXLS_Click ");
inline const QString Grid_SaveText = QStringLiteral("in Quarrix2020/08/02.Datagrid1.SaveDataGridToFile ");
inline const QString Grid_SaveXml = QStringLiteral("in Quarrix2020/08/02.Datagrid1.SaveDataGridToXMLFile ");
inline const QString Grid_SaveCsv = QStringLiteral("in Quarrix2020/08/02.Datagrid1.SaveDataGridToCSVFile ");
inline const QString NewColumn_Load = QStringLiteral("in Quarrix2020/08/02.frmNewColumn.Form_Load ");
inline const QString NewColumn_Add = QStringLiteral("in Quarrix2020/08/02.frmNewColumn.cmdAdd_Click ");
inline const QString NewTable_Load = QStringLiteral("in Quarrix2020/08/02.frmNewTable.Form_Load ");
inline const QString NewTable_Add = QStringLiteral("in Quarrix2020/08/02.frmNewTable.cmdAdd_Click ");
inline const QString NewTable_Delete = QStringLiteral("in Quarrix2020/08/02.frmNewTable.PushButton1_Click ");
inline const QString NewTable_Save = QStringLiteral("in Quarrix2020/08/02.frmNewTable.PushButton2_Click ");
inline const QString NewTable_Cancel = QStringLiteral("in Quarrix2020/08/02.frmNewTable.PushButton3_Click ");
} // namespace loc

// The text of the application error box: description, CR LF, location, "at line ", the
// number, two lone CRs and the support request.
QString applicationErrorText(const QString& description, const QString& location, int line);

// Shows the "Application Error" box (warning icon, OK).
void ReportApplicationError(const AppContext& ctx, const QString& description,
                            const QString& location, int line);

// The description of whatever was thrown: the driver's text for database errors, what()
// for the rest (read as UTF-8).
QString describeException(std::exception_ptr error);

// A raised error with a description text, for the program's own failures.
class AppError : public std::exception {
public:
    explicit AppError(QString description)
        : description_(std::move(description)), utf8_(description_.toUtf8()) {}
    const QString& description() const noexcept { return description_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString description_;
    QByteArray utf8_;
};

// Runs a handler's numbered statements. An exception escaping a statement is reported with the
// handler's location and that statement's number, and the next statement runs.
class Handler {
public:
    Handler(const AppContext& ctx, QString location) : ctx_(ctx), location_(std::move(location)) {}

    // Runs one statement. Returns false when it failed (and was reported).
    bool step(int line, const std::function<void()>& statement);

    // Evaluates the condition of an if-statement: a condition that fails is reported and
    // counts as true, so the then-branch runs.
    bool when(int line, const std::function<bool()>& condition);

    // Statements that yield a value: on failure reported, and `fallback` is returned.
    template <typename T>
    T value(int line, const std::function<T()>& statement, T fallback = T{})
    {
        T result = fallback;
        step(line, [&] { result = statement(); });
        return result;
    }

    int failures() const { return failures_; }
    const QString& location() const { return location_; }

private:
    const AppContext& ctx_;
    QString location_;
    int failures_ = 0;
};

} // namespace tabulon
