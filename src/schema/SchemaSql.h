#pragma once

// The SQL text of the column dialog and the table designer. Everything the user typed goes in
// as typed; trimming only decides whether a box counts as empty. Names stand between square
// brackets with any "]" doubled.

#include <QList>
#include <QString>

namespace tabulon {

// One column as the column dialog collects it.
struct ColumnDefinition {
    QString name;         // txtName
    QString type;         // cboDataType
    QString m;            // txtM: length or precision
    QString d;            // txtD: scale
    QString defaultValue; // txtDefault, an SQL expression
    bool autoIncrement = false;
};

// A line of the designer's field list: the texts are the SQL fragments themselves. The
// default is carried with the line but has no column of its own.
struct FieldRow {
    QString fieldName;     // "Field Name"
    QString dataType;      // "Data Type"
    QString precision;     // "Precision": the size text or empty
    QString autoincrement; // "Autoincrement": the identity clause or empty
    QString defaultValue = {}; // the default as typed; blank when there is none
    bool operator==(const FieldRow&) const = default;
};

// The 26 type names of the column dialog, in their order.
const QStringList& sqlTypeNames();

// " IDENTITY(1,1) NOT NULL ", with its leading and trailing blank.
const QString& identityClause();

// True when the text is empty or holds blanks only.
bool isBlank(const QString& text);

// "(M)" or "(M, D)" with M and D as typed; empty when M is blank. D counts only when it is
// not blank.
QString sizeText(const QString& m, const QString& d);

// Why the definition cannot be sent as it stands, or the empty text. The size boxes take
// whole numbers (M also MAX, or precision and scale together, "10,2" or "10, 2", with D then
// left blank), blanks around them allowed; the default must pass defaultProblem.
QString definitionProblem(const ColumnDefinition& column);

// Why a default cannot go into a statement as typed, or the empty text. It must be one value
// or expression: a ";" or a comment mark outside its quotes, a comma outside quotes and
// parentheses, or parentheses that do not pair up would end the column's definition or the
// statement early, and are refused.
QString defaultProblem(const QString& defaultValue);

// "ALTER TABLE [table] ADD [name] TYPE", then " " + the size text when there is one, then
// the identity clause when Auto Increment is ticked.
QString addColumnStatement(const QString& table, const ColumnDefinition& column);

// True when the column has a default to send after the column itself.
bool hasDefault(const ColumnDefinition& column);

// "ALTER TABLE [table] ADD DEFAULT <default> FOR [name]", the default as typed.
QString addDefaultStatement(const QString& table, const QString& name, const QString& defaultValue);

// The designer's field row for a column, its default with it (empty when blank).
FieldRow fieldRow(const ColumnDefinition& column);

// "CREATE TABLE [table](" + for each row "[field] TYPE " + size + " " + identity, then
// " DEFAULT " + the default as typed when the row has one that is not blank, then ","; the
// last comma dropped, then ")".
QString createTableStatement(const QString& table, const QList<FieldRow>& rows);

} // namespace tabulon
