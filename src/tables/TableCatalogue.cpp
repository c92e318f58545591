#include "TableCatalogue.h"

#include "connection/ConnectionString.h"
#include "connection/odbc/Odbc.h"

#include <QCoreApplication>
#include <QListWidget>

namespace tabulon {

bool isListedTable(const std::string& type, const QString& name)
{
    return type == "TABLE" && !name.toUpper().contains(QLatin1String("SYS"));
}

void FillTableList(const LoginSource& login, QListWidget* list)
{
    std::vector<std::pair<std::string, std::string>> catalogue;
    {
        odbc::Connection connection = odbc::Connection::open(connectionStringUtf8(login.loginFields()));
        catalogue = connection.tables();
    }
    list->clear();
    QStringList names;
    for (const auto& [type, name] : catalogue) {
        if (type != "TABLE")
            continue;
        // Keep the window alive while a long catalogue is read.
        QCoreApplication::processEvents();
        const QString table = QString::fromStdString(name);
        if (isListedTable(type, table))
            names << table;
    }
    // One insertion for all names: a list that is on screen would otherwise lay itself out
    // again for every name, which grows with the square of the catalogue.
    list->addItems(names);
}

} // namespace tabulon
