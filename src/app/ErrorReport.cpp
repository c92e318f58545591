#include "ErrorReport.h"
#include "AppContext.h"

namespace tabulon {

void AppContext::say(const QString& text) const
{
    prompter.show({text, appTitle, MessageIcon::None, MessageButtons::Ok});
}

MessageAnswer AppContext::ask(const QString& text, MessageButtons buttons, MessageIcon icon) const
{
    return prompter.show({text, appTitle, icon, buttons});
}

QString applicationErrorText(const QString& description, const QString& location, int line)
{
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ") +
           QString::number(line) + QStringLiteral("\r\r") +
           QStringLiteral("Please email screenshot of this message to ") +
           QLatin1String(kSupportEmail);
}

void ReportApplicationError(const AppContext& ctx, const QString& description,
                            const QString& location, int line)
{
    ctx.prompter.show({applicationErrorText(description, location, line),
                       QStringLiteral("Application Error"), MessageIcon::Warning,
                       MessageButtons::Ok});
}

QString describeException(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const AppError& e) {
        return e.description();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

bool Handler::step(int line, const std::function<void()>& statement)
{
    try {
        statement();
        return true;
    } catch (...) {
        ++failures_;
        ReportApplicationError(ctx_, describeException(std::current_exception()), location_, line);
        return false;
    }
}

bool Handler::when(int line, const std::function<bool()>& condition)
{
    bool result = true;
    step(line, [&] { result = condition(); });
    return result;
}

} // namespace tabulon
