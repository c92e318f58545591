#include "Form1.h"
#include "SettingsStore.h"

#include "app/AppContext.h"
#include "app/ErrorReport.h"
#include "app/WindowConventions.h"
#include "odbc/Odbc.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tabulon {

QString connectionHelpText()
{
    const QString cr2 = QStringLiteral("\r\r");
    return QStringLiteral("If you cannot establish connection to your MS SQL Server database with "
                          "this program, please go to: ") +
           cr2 + QStringLiteral("https://www.sqlmanager.net/products/mssql/manager/download") + cr2 +
           QStringLiteral("Download and install the EMS SQL Manager 2005 Lite for SQL Server. Try "
                          "to connect to ") +
           QStringLiteral("the same database (with the same login information you are using "
                          "here). This will determine if ") +
           QStringLiteral("the login you are using is correct.") + cr2 +
           QStringLiteral("If you are using Microsoft SQL Server Express Edition and connecting "
                          "locally, you may need to use") +
           cr2 + QStringLiteral("localhost\\SQLEXPRESS") + cr2 + QStringLiteral("for example, for Server.");
}

const QString kCouldNotConnect = QStringLiteral("Could not connect. Please check with your administrator.");

void sayCouldNotConnect(const AppContext& ctx, const QString& details)
{
    Message m{kCouldNotConnect, ctx.appTitle, MessageIcon::None, MessageButtons::Ok};
    m.details = details;
    ctx.prompter.show(m);
}

Form1::Form1(AppContext& ctx, SettingsStore& store, QWidget* parent)
    : QWidget(parent), ctx_(ctx), store_(store)
{
    setObjectName(QStringLiteral("Form1"));
    buildControls();
    pointer_ = new PointerController(this);
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSize(10);

    Frame1 = new QGroupBox(QStringLiteral("MS SQL Server Login"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));

    auto label = [&](const char* name, const QString& caption) {
        auto* l = new QLabel(caption, Frame1);
        l->setObjectName(QLatin1String(name));
        l->setFont(arial);
        return l;
    };
    auto edit = [&](const char* name) {
        auto* e = new QLineEdit(Frame1);
        e->setObjectName(QLatin1String(name));
        e->setFont(arial);
        e->installEventFilter(this);
        return e;
    };
    QLabel* Label2 = label("Label2", QStringLiteral("Server:"));
    QLabel* Label9 = label("Label9", QStringLiteral("Port:"));
    QLabel* Label1 = label("Label1", QStringLiteral("Username:"));
    QLabel* Label4 = label("Label4", QStringLiteral("Password:"));
    QLabel* Label3 = label("Label3", QStringLiteral("Database:"));
    Text1 = edit("Text1");
    Text9 = edit("Text9");
    Text2 = edit("Text2");
    Text3 = edit("Text3");
    Text4 = edit("Text4");
    Text3->setEchoMode(QLineEdit::Password);
    Text9->setMaximumWidth(70);

    Check6 = new QCheckBox(QStringLiteral("Local Connection"), Frame1);
    Check6->setObjectName(QStringLiteral("Check6"));
    PushButton5 = new QPushButton(QStringLiteral("Test Connection"), Frame1);
    PushButton5->setObjectName(QStringLiteral("PushButton5"));
    PushButton2 = new QPushButton(QStringLiteral("Help"), Frame1);
    PushButton2->setObjectName(QStringLiteral("PushButton2"));
    PushButton3 = new QPushButton(QStringLiteral("Next >"), this);
    PushButton3->setObjectName(QStringLiteral("PushButton3"));
    PushButton3->setMinimumHeight(30);

    auto* grid = new QGridLayout(Frame1);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    grid->addWidget(Label2, 0, 0);
    grid->addWidget(Text1, 0, 1);
    grid->addWidget(Label9, 0, 2);
    grid->addWidget(Text9, 0, 3);
    grid->addWidget(Label1, 1, 0);
    grid->addWidget(Text2, 1, 1, 1, 3);
    grid->addWidget(Label4, 2, 0);
    grid->addWidget(Text3, 2, 1, 1, 3);
    grid->addWidget(Label3, 3, 0);
    grid->addWidget(Text4, 3, 1, 1, 3);
    grid->addWidget(Check6, 4, 1, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(PushButton5);
    buttons->addWidget(PushButton2);
    grid->addLayout(buttons, 5, 0, 1, 4);
    grid->setColumnStretch(1, 1);

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(Frame1);
    outer->addWidget(PushButton3);
    setMinimumWidth(400);

    setTabOrder(Text1, Text9);
    setTabOrder(Text9, Text2);
    setTabOrder(Text2, Text3);
    setTabOrder(Text3, Text4);
    setTabOrder(Text4, PushButton5);
    setTabOrder(PushButton5, PushButton2);
    setTabOrder(PushButton2, Check6);
    setTabOrder(Check6, PushButton3);

    bindField(Text1, keys::Server);
    bindField(Text9, keys::Port);
    bindField(Text2, keys::User);
    bindField(Text3, keys::Password);
    bindField(Text4, keys::Database);
    connect(Check6, &QCheckBox::stateChanged, this, [this] {
        store_.write(keys::Local, Check6->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
        showStoreProblem();
    });
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
}

void Form1::bindField(QLineEdit* field, const QString& key)
{
    connect(field, &QLineEdit::textChanged, this, [this, key](const QString& text) {
        store_.write(key, text);
        showStoreProblem();
    });
}

void Form1::showStoreProblem()
{
    // A store that cannot be written is said once; the fields keep working for this run.
    if (store_.problem().isEmpty() || storeProblemShown_)
        return;
    storeProblemShown_ = true;
    ctx_.prompter.show({store_.problem() +
                            QStringLiteral("\nThe login fields are used for this session but will "
                                           "not be remembered."),
                        ctx_.appTitle, MessageIcon::Warning, MessageButtons::Ok});
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        if (auto* field = qobject_cast<QLineEdit*>(watched)) {
            field->selectAll();
            // A click places the caret after focus arrives; select again once it has.
            QTimer::singleShot(0, field, [field] {
                if (field->hasFocus())
                    field->selectAll();
            });
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit closed();
}

LoginFields Form1::loginFields() const
{
    LoginFields f;
    f.local = Check6->isChecked();
    f.server = Text1->text();
    f.port = Text9->text();
    f.database = Text4->text();
    f.user = Text2->text();
    f.password = Text3->text();
    return f;
}

void Form1::Form_Load()
{
    Handler h(ctx_, loc::Form1_Load);
    h.step(100, [&] { ApplySkin(ctx_, this); });
    h.step(104, [&] { setWindowTitle(QString::fromLatin1(kProductTitle)); });
    h.step(104, [&] { setWindowIcon(ctx_.appIcon); });
    h.step(104, [&] { ctx_.appTitle = ShortenAppTitle(QString::fromLatin1(kProductTitle)); });
    h.step(106, [&] { ShowHomePageOccasionally(ctx_); });
    const QString cursorPath = installedFile(ctx_, QStringLiteral("HAND-M.CUR"));
    if (h.when(124, [&] { return FileExists(cursorPath); })) {
        h.step(126, [&] {
            const auto cursor = loadCursorFile(cursorPath);
            if (!cursor)
                throw AppError(QStringLiteral("Invalid picture"));
            pointer_->setCustomImage(*cursor);
        });
    }
    if (!store_.problem().isEmpty())
        showStoreProblem();
    h.step(128, [&] { Text1->setText(store_.read(keys::Server, QString())); });
    h.step(130, [&] { Text2->setText(store_.read(keys::User, QString())); });
    h.step(132, [&] { Text3->setText(store_.read(keys::Password, QString())); });
    h.step(134, [&] { Text4->setText(store_.read(keys::Database, QString())); });
    h.step(136, [&] { Text9->setText(store_.read(keys::Port, QStringLiteral("1433"))); });
    h.step(138, [&] {
        const bool ticked = store_.read(keys::Local, QStringLiteral("0")) != QLatin1String("0");
        const QSignalBlocker quiet(Check6);
        Check6->setChecked(ticked);
        // Setting the box writes its value back, whether or not it changed.
        store_.write(keys::Local, ticked ? QStringLiteral("1") : QStringLiteral("0"));
    });
    // Step 9, the automatic advance (lines 140 to 144), runs its own numbered statements.
    if (hooks_.automaticAdvance)
        hooks_.automaticAdvance();
    h.step(144, [&] {
        if (hooks_.checkPdfPrinter)
            hooks_.checkPdfPrinter();
    });
}

void Form1::PushButton5_Click()
{
    Handler h(ctx_, loc::Form1_Test);
    h.step(100, [] { /* the connection object is made by the open below */ });
    // From here on a failure goes straight to the failure message.
    std::optional<QString> failure;
    try {
        pointer_->set(Pointer::Hourglass);
        failure = connectionFailure(loginFields());
        if (!failure) {
            ctx_.say(QStringLiteral("Connection successful."));
            pointer_->set(Pointer::Default);
            return;
        }
    } catch (const std::exception& e) {
        failure = connectionFailureDetails(e, Text3->text());
    } catch (...) {
        failure = QString();
    }
    sayCouldNotConnect(ctx_, *failure);
    pointer_->set(Pointer::Default);
}

void Form1::PushButton2_Click()
{
    Handler h(ctx_, loc::Form1_Help);
    h.step(114, [&] { ctx_.say(connectionHelpText()); });
    MessageAnswer answer = MessageAnswer::No;
    h.step(116, [&] {
        answer = ctx_.ask(QStringLiteral("Would you like to see an image of how I connect locally?"),
                          MessageButtons::YesNo);
    });
    if (answer != MessageAnswer::Yes)
        return;
    h.step(118, [&] {
        ctx_.launcher.openUrl(
            QUrl::fromLocalFile(ctx_.programFile(QStringLiteral("local-connection-example.jpg"))));
    });
}

void Form1::PushButton3_Click()
{
    if (hooks_.next)
        hooks_.next();
}

} // namespace tabulon
