#include "Form2.h"

#include "app/AppContext.h"
#include "app/ErrorReport.h"
#include "app/WindowConventions.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace tabulon {

Form2::Form2(AppContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    PushButton2 = new QPushButton(QStringLiteral("< Back"), this);
    PushButton2->setObjectName(QStringLiteral("PushButton2"));
    Frame1 = new QGroupBox(QStringLiteral("Which table do you want edit?"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    List1 = new QListWidget(Frame1);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setSortingEnabled(false);
    PushButton1 = new QPushButton(QStringLiteral("Create New Table"), this);
    PushButton1->setObjectName(QStringLiteral("PushButton1"));
    PushButton3 = new QPushButton(QStringLiteral("Next >"), this);
    PushButton3->setObjectName(QStringLiteral("PushButton3"));

    auto* frameLayout = new QVBoxLayout(Frame1);
    frameLayout->addWidget(List1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(PushButton1, 1);
    bottom->addWidget(PushButton3, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PushButton2);
    layout->addWidget(Frame1, 1);
    layout->addLayout(bottom);

    resize(536, 210);
    pointer_ = new PointerController(this);
}

void Form2::Form_Load()
{
    Handler h(ctx_, loc::Form2_Load);
    runLoadPrologue(h, ctx_, this, *pointer_);
    h.step(110, [&] { setWindowTitle(QString::fromLatin1(kProductTitle)); });
}

void Form2::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit closed();
}

} // namespace tabulon
