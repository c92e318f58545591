#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <utility>
#include <vector>

namespace tabulon {

// Writes a document in pieces through the callback it is given (false: the spooler took no
// more). Returns the pages written, 0 when writing failed, -1 when it was stopped.
using DocumentProducer = std::function<int(const std::function<bool(const QByteArray&)>&)>;

struct CupsJobResult {
    QString failure; // empty on success
    int pages = 0;
    int jobId = 0;
};

// Sends a PostScript document to a CUPS queue as one job named `title`, with the job options
// given (name, value); the queue's own filters take it from there. A document whose writing
// is stopped is cancelled on the spooler.
CupsJobResult printPostScriptOnCups(const QString& queue, const QString& title,
                                    const std::vector<std::pair<QByteArray, QByteArray>>& options,
                                    const DocumentProducer& produce);

} // namespace tabulon
