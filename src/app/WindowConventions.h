#pragma once

#include <QCursor>
#include <QObject>
#include <QPointer>
#include <QString>
#include <optional>

class QWidget;

namespace tabulon {

struct AppContext;
class Handler;

// True when the file's last-modified date can be read.
bool FileExists(const QString& path);

// A file the program reads from its own folder (the cursor, the skin, the icon), by its path
// under that folder; empty when the file cannot be trusted, so that it counts as missing. A
// trusted file is a regular file, not a link, and neither it nor any folder above it can be
// changed by anyone but root and the user running the program (a folder that others may write
// to counts only with its sticky bit set, as /tmp has, and never as the file's own folder).
// Files planted by another user are so never read.
QString installedFile(const AppContext& ctx, const QString& name);
bool isTrustedInstalledFile(const QString& path);

// The window's background and that of its option buttons, check boxes, frames and labels
// take the system's button-face colour.
void SetStandardColors(QWidget* window);

// Reads a Windows cursor file (.cur) with its hot spot. Empty when it cannot be read.
std::optional<QCursor> loadCursorFile(const QString& path);

enum class Pointer { Default = 0, Hourglass = 11, Custom = 99 };

// A window's mouse pointer: default, hourglass or its custom image (the hand). Over push
// buttons the hand shows, elsewhere the default, except while the hourglass is up, which
// hovering never overrides.
class PointerController : public QObject {
    Q_OBJECT
public:
    explicit PointerController(QWidget* window);
    ~PointerController() override;

    void setCustomImage(const QCursor& cursor) { custom_ = cursor; }
    bool hasCustomImage() const { return custom_.has_value(); }
    void set(Pointer pointer);
    Pointer pointer() const { return pointer_; }
    // Watches a control added after construction.
    void watch(QWidget* widget);
    // What the window's pointer shape is now.
    Qt::CursorShape shape() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void hoverOver(QWidget* widget);

    QPointer<QWidget> window_;
    std::optional<QCursor> custom_;
    Pointer pointer_ = Pointer::Default;
    bool overriding_ = false;
};

// Sets the hourglass for the lifetime of the guard, then the default again.
class Hourglass {
public:
    explicit Hourglass(PointerController& pointer) : pointer_(pointer) { pointer_.set(Pointer::Hourglass); }
    ~Hourglass() { pointer_.set(Pointer::Default); }
    Hourglass(const Hourglass&) = delete;
    Hourglass& operator=(const Hourglass&) = delete;

private:
    PointerController& pointer_;
};

// The first steps of every window's load routine: standard colours (line 100), the
// application icon (102), the hand pointer image when the cursor file exists (104 to 108).
void runLoadPrologue(Handler& handler, const AppContext& ctx, QWidget* window,
                     PointerController& pointer);

// The login window's skin: when <program folder>/x/o.cjs exists, the colour rule and then
// one consistent style for the whole program. The file's contents are not read.
void ApplySkin(const AppContext& ctx, QWidget* form1);

// Cuts the title before its last blank until it is at most 40 characters long; a title
// without a blank stays as it is.
QString ShortenAppTitle(const QString& productTitle);

// About one launch in a hundred opens the maker's home page. Nothing is reported.
void ShowHomePageOccasionally(AppContext& ctx);

} // namespace tabulon
