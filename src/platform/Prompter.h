#pragma once

#include <QString>

namespace tabulon {

enum class MessageIcon { None, Warning, Information, Critical, Question };
enum class MessageButtons { Ok, YesNo, OkCancel, YesNoCancel };
enum class MessageAnswer { Ok, Yes, No, Cancel };

// One message box: the text exactly as built (CR, LF and CR LF may all occur), its title,
// its icon and its buttons. `details`, when not empty, is the longer account a person can
// unfold under the box ("Show Details..."), e.g. the driver's own words behind a failure.
struct Message {
    QString text;
    QString title;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    QString details;
};

// Everything the program says to a person in a message box goes through here.
class Prompter {
public:
    virtual ~Prompter() = default;
    virtual MessageAnswer show(const Message& message) = 0;
};

// Turns every CR LF, lone CR and lone LF into one LF, for display only.
QString displayLineBreaks(const QString& text);

} // namespace tabulon
