#include "CupsJob.h"

#include <cups/cups.h>

namespace tabulon {

CupsJobResult printPostScriptOnCups(const QString& queue, const QString& title,
                                    const std::vector<std::pair<QByteArray, QByteArray>>& options,
                                    const DocumentProducer& produce)
{
    CupsJobResult result;
    const QByteArray name = queue.toUtf8();
    const QByteArray jobTitle = title.toUtf8();
    cups_option_t* cupsOptions = nullptr;
    int optionCount = 0;
    for (const auto& [option, value] : options)
        optionCount = cupsAddOption(option.constData(), value.constData(), optionCount, &cupsOptions);
    const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, name.constData(), jobTitle.constData(),
                                  optionCount, cupsOptions);
    cupsFreeOptions(optionCount, cupsOptions);
    auto lastError = [] { return QString::fromUtf8(cupsLastErrorString()); };
    if (job <= 0) {
        result.failure = QStringLiteral("The print job could not be started on \"%1\": %2")
                             .arg(queue, lastError());
        return result;
    }
    result.jobId = job;
    if (cupsStartDocument(CUPS_HTTP_DEFAULT, name.constData(), job, jobTitle.constData(),
                          CUPS_FORMAT_POSTSCRIPT, 1) != HTTP_STATUS_CONTINUE) {
        result.failure = QStringLiteral("The print job could not be sent to \"%1\": %2")
                             .arg(queue, lastError());
        cupsCancelJob2(CUPS_HTTP_DEFAULT, name.constData(), job, 0);
        return result;
    }
    result.pages = produce([](const QByteArray& piece) {
        return cupsWriteRequestData(CUPS_HTTP_DEFAULT, piece.constData(), std::size_t(piece.size())) ==
               HTTP_STATUS_CONTINUE;
    });
    const ipp_status_t finished = cupsFinishDocument(CUPS_HTTP_DEFAULT, name.constData());
    if (result.pages < 0) {
        cupsCancelJob2(CUPS_HTTP_DEFAULT, name.constData(), job, 0);
        result.failure = QStringLiteral("The print job was cancelled.");
        return result;
    }
    if (result.pages == 0 || finished > IPP_STATUS_OK_CONFLICTING) {
        result.failure = QStringLiteral("The print job could not be sent to \"%1\": %2")
                             .arg(queue, lastError());
        cupsCancelJob2(CUPS_HTTP_DEFAULT, name.constData(), job, 0);
    }
    return result;
}

} // namespace tabulon
