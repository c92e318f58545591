#pragma once

#include <QString>
#include <string>
#include <utility>
#include <vector>

class QListWidget;

namespace tabulon {

class LoginSource;

// True for a catalogue row the chooser lists: of type "TABLE" exactly, and without "SYS"
// anywhere in its upper-cased name.
bool isListedTable(const std::string& type, const QString& name);

// Fills the list with the user tables of the login's database, in catalogue order. The list
// is cleared only once the connection and the catalogue have been read, so a failure leaves
// it as it was. Errors go to the caller.
void FillTableList(const LoginSource& login, QListWidget* list);

} // namespace tabulon
