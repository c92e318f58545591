#pragma once

// Drives modal dialogs from inside their own event loop: the action runs once a visible
// top-level window of the wanted class shows.

#include "connection/ConnectionString.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>

namespace tabulon::test {

template <typename T>
void whenShown(std::function<void(T*)> action, int triesLeft = 500)
{
    QTimer::singleShot(5, [action = std::move(action), triesLeft]() mutable {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<T*>(w); dialog && dialog->isVisible()) {
                action(dialog);
                return;
            }
        }
        if (triesLeft > 0)
            whenShown<T>(std::move(action), triesLeft - 1);
        else
            ADD_FAILURE() << "the " << T::staticMetaObject.className() << " window never showed";
    });
}

// The login window's fields as a test hands them in.
struct FixedLogin : LoginSource {
    LoginFields fields;
    LoginFields loginFields() const override { return fields; }
};

} // namespace tabulon::test
