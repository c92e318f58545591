#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>
#include <memory>

class QProgressDialog;
class QWidget;

namespace tabulon {

// How a writer reports its progress between blocks of rows, and learns that the person has
// cancelled.
class ExportProgress {
public:
    virtual ~ExportProgress() = default;
    // `rowsDone` rows are finished. Returns false when the export is to stop (cancelled).
    virtual bool advance(qsizetype rowsDone) = 0;
    // All rows are done; what is left (writing the file) cannot be cancelled. `mayTakeLong`
    // says the rest may take as long as the rows did (a workbook being compressed).
    virtual void finishing(const QString& /*what*/, bool /*mayTakeLong*/ = false) {}
};

// The progress dialog of a long export: nothing shows during the first half second; after that
// a modal dialog shows the row count and a Cancel button, and the event loop runs between
// blocks of rows so the window repaints and the button works. The mouse pointer the caller
// set (the hourglass) stays as it is.
class DialogProgress final : public ExportProgress {
public:
    // `label` says what is being done, e.g. "Exporting 1,000,000 rows to orders.txt".
    // Without `cancellable` the dialog has no Cancel button (work that cannot be taken back).
    // `parent` is the window the dialog belongs to (null: the active window).
    DialogProgress(QString title, QString label, qsizetype rowCount, bool cancellable = true,
                   QWidget* parent = nullptr);
    ~DialogProgress() override;

    bool advance(qsizetype rowsDone) override;
    void finishing(const QString& what, bool mayTakeLong = false) override;

    bool cancelled() const { return cancelled_; }

    static constexpr int kShowAfterMs = 500;

private:
    void show();

    QString title_;
    QString label_;
    qsizetype rows_;
    int scale_ = 1;
    QElapsedTimer started_;
    qint64 lastEvents_ = 0;
    std::unique_ptr<QProgressDialog> dialog_;
    bool cancellable_ = true;
    QWidget* parent_ = nullptr;
    bool cancelled_ = false;
};

} // namespace tabulon
