#include "WindowConventions.h"
#include "AppContext.h"
#include "ErrorReport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleFactory>

#include <sys/stat.h>
#include <unistd.h>

namespace tabulon {

bool FileExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && info.isFile() && info.lastModified().isValid();
}

void SetStandardColors(QWidget* window)
{
    const QColor face = QApplication::palette().color(QPalette::Button);
    auto paint = [&](QWidget* w) {
        QPalette palette = w->palette();
        palette.setColor(QPalette::Window, face);
        w->setPalette(palette);
        w->setAutoFillBackground(true);
    };
    paint(window);
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child) ||
            qobject_cast<QGroupBox*>(child) || qobject_cast<QLabel*>(child))
            paint(child);
    }
}

bool isTrustedInstalledFile(const QString& path)
{
    if (path.isEmpty())
        return false;
    const uid_t me = ::geteuid();
    auto trustedOwner = [me](const struct stat& st) { return st.st_uid == 0 || st.st_uid == me; };
    // The folders as they really are (links along the way resolved); the file itself as named.
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (folder.isEmpty())
        return false;
    QByteArray native = QFile::encodeName(folder + QLatin1Char('/') + info.fileName());
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode) || !trustedOwner(st) ||
        (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return false;
    bool ownFolder = true;
    for (;;) {
        const int slash = native.lastIndexOf('/');
        if (slash < 0)
            return false;
        native.truncate(slash == 0 ? 1 : slash);
        if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || !trustedOwner(st))
            return false;
        const bool othersWrite = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
        if (othersWrite && (ownFolder || (st.st_mode & S_ISVTX) == 0))
            return false;
        ownFolder = false;
        if (native == "/")
            return true;
    }
}

QString installedFile(const AppContext& ctx, const QString& name)
{
    const QString path = ctx.programFile(name);
    return isTrustedInstalledFile(path) ? path : QString();
}

std::optional<QCursor> loadCursorFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    // ICONDIR: reserved(2) type(2) count(2); then entries of 16 bytes. For a cursor (type 2)
    // bytes 4..7 of the first entry are the hot spot.
    if (bytes.size() < 22)
        return std::nullopt;
    auto u16 = [&](int at) {
        return int(quint8(bytes[at])) | (int(quint8(bytes[at + 1])) << 8);
    };
    if (u16(0) != 0 || u16(2) != 2 || u16(4) < 1)
        return std::nullopt;
    const int hotX = u16(6 + 4);
    const int hotY = u16(6 + 6);
    QImage image;
    if (!image.loadFromData(bytes, "CUR") && !image.loadFromData(bytes, "ICO"))
        return std::nullopt;
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

PointerController::PointerController(QWidget* window) : QObject(window), window_(window)
{
    window->installEventFilter(this);
    for (QWidget* child : window->findChildren<QWidget*>())
        child->installEventFilter(this);
}

PointerController::~PointerController()
{
    if (overriding_)
        QApplication::restoreOverrideCursor();
}

void PointerController::watch(QWidget* widget) { widget->installEventFilter(this); }

void PointerController::set(Pointer pointer)
{
    pointer_ = pointer;
    if (pointer == Pointer::Hourglass) {
        if (window_)
            window_->setCursor(Qt::WaitCursor);
        // The hourglass shows over every control of the window, text boxes included.
        if (!overriding_) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            overriding_ = true;
        }
        return;
    }
    if (overriding_) {
        QApplication::restoreOverrideCursor();
        overriding_ = false;
    }
    if (!window_)
        return;
    if (pointer == Pointer::Custom && custom_)
        window_->setCursor(*custom_);
    else
        window_->setCursor(Qt::ArrowCursor);
}

Qt::CursorShape PointerController::shape() const
{
    if (pointer_ == Pointer::Hourglass)
        return Qt::WaitCursor;
    return window_ ? window_->cursor().shape() : Qt::ArrowCursor;
}

void PointerController::hoverOver(QWidget* widget)
{
    if (pointer_ == Pointer::Hourglass)
        return;
    if (qobject_cast<QPushButton*>(widget))
        set(Pointer::Custom);
    else
        set(Pointer::Default);
}

bool PointerController::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove ||
        event->type() == QEvent::HoverMove) {
        if (auto* widget = qobject_cast<QWidget*>(watched))
            hoverOver(widget);
    }
    return QObject::eventFilter(watched, event);
}

void runLoadPrologue(Handler& handler, const AppContext& ctx, QWidget* window,
                     PointerController& pointer)
{
    handler.step(100, [&] { SetStandardColors(window); });
    handler.step(102, [&] { window->setWindowIcon(ctx.appIcon); });
    const QString cursorPath = installedFile(ctx, QStringLiteral("HAND-M.CUR"));
    if (handler.when(104, [&] { return FileExists(cursorPath); })) {
        handler.step(106, [&] {
            const auto cursor = loadCursorFile(cursorPath);
            if (!cursor)
                throw AppError(QStringLiteral("Invalid picture"));
            pointer.setCustomImage(*cursor);
        });
    }
}

void ApplySkin(const AppContext& ctx, QWidget* form1)
{
    const QString skin = installedFile(ctx, QStringLiteral("x/o.cjs"));
    if (skin.isEmpty())
        return;
    SetStandardColors(form1);
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
}

QString ShortenAppTitle(const QString& productTitle)
{
    QString title = productTitle;
    if (!title.contains(QLatin1Char(' ')))
        return title;
    do {
        const int blank = title.lastIndexOf(QLatin1Char(' '));
        if (blank < 0)
            break;
        title = title.left(blank);
    } while (title.size() > 40);
    return title;
}

void ShowHomePageOccasionally(AppContext& ctx)
{
    ctx.random.seedFromTimeOfDay();
    const int draw = int(ctx.random.next() * 100) + 1;
    if (draw == 7)
        ctx.launcher.openUrl(QUrl(QString::fromLatin1(kHomePage)));
}

} // namespace tabulon
