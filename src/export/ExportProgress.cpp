#include "ExportProgress.h"

#include <QApplication>
#include <QProgressDialog>
#include <limits>

namespace tabulon {

namespace {
// How often the event loop runs while the dialog is up.
constexpr qint64 kEventIntervalMs = 40;
} // namespace

DialogProgress::DialogProgress(QString title, QString label, qsizetype rowCount, bool cancellable,
                               QWidget* parent)
    : title_(std::move(title)), label_(std::move(label)), rows_(rowCount),
      cancellable_(cancellable), parent_(parent)
{
    while (rows_ / scale_ > std::numeric_limits<int>::max() / 2)
        scale_ *= 2;
    started_.start();
}

DialogProgress::~DialogProgress()
{
    if (dialog_)
        dialog_->close();
}

void DialogProgress::show()
{
    dialog_ =
        std::make_unique<QProgressDialog>(label_, QObject::tr("Cancel"), 0, int(rows_ / scale_),
                                          parent_ ? parent_ : QApplication::activeWindow());
    dialog_->setWindowTitle(title_);
    if (!cancellable_)
        dialog_->setCancelButton(nullptr);
    dialog_->setWindowModality(Qt::ApplicationModal);
    dialog_->setAutoReset(false);
    dialog_->setAutoClose(false);
    dialog_->setMinimumDuration(0);
    dialog_->setMinimumWidth(360);
    dialog_->show();
    QCoreApplication::processEvents();
}

bool DialogProgress::advance(qsizetype rowsDone)
{
    if (cancelled_)
        return false;
    const qint64 now = started_.elapsed();
    if (!dialog_) {
        if (now < kShowAfterMs)
            return true;
        show();
    }
    if (now - lastEvents_ >= kEventIntervalMs) {
        lastEvents_ = now;
        dialog_->setValue(int(rowsDone / scale_));
        QCoreApplication::processEvents();
    }
    if (dialog_->wasCanceled())
        cancelled_ = true;
    return !cancelled_;
}

void DialogProgress::finishing(const QString& what, bool mayTakeLong)
{
    if (!dialog_) {
        if (!mayTakeLong || started_.elapsed() < kShowAfterMs / 2)
            return;
        show();
    }
    dialog_->setCancelButton(nullptr);
    dialog_->setLabelText(what);
    dialog_->setValue(dialog_->maximum());
    QCoreApplication::processEvents();
}

} // namespace tabulon
