#pragma once

#include <QString>
#include <vector>

namespace tabulon {

struct PrinterInfo {
    QString name;        // the queue name, e.g. "Vantorel_PDF_Writer"
    QString description; // what people read, e.g. "Vantorel PDF Writer"
};

// A plain-text print job: the text, a title for the job and the queue to print on.
struct TextPrintJob {
    QString text;
    QString documentName;
    QString printerName;
};

class Printers {
public:
    virtual ~Printers() = default;
    virtual std::vector<PrinterInfo> installed() = 0;
    virtual QString defaultPrinter() = 0;
    // Prints the text on the named queue without touching the default printer. Returns an
    // empty text on success, else what went wrong.
    virtual QString printText(const TextPrintJob& job) = 0;
};

} // namespace tabulon
