#include "WindowFlow.h"
#include "AppContext.h"
#include "ErrorReport.h"
#include "WindowConventions.h"

#include "connection/ConnectionString.h"
#include "connection/Form1.h"
#include "connection/SettingsStore.h"
#include "export/ExportActions.h"
#include "schema/NewTableDialog.h"
#include "tables/Form2.h"
#include "tables/Form3.h"
#include "tables/TableCatalogue.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>

namespace tabulon {

namespace {
void centre(QWidget* window)
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const QSize size = window->frameSize().isValid() ? window->frameSize() : window->size();
        window->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
    }
}
} // namespace

WindowFlow::WindowFlow(AppContext& ctx, SettingsStore& store) : ctx_(ctx), store_(store)
{
    form1_ = std::make_unique<Form1>(ctx_, store_);
    Form1::Hooks hooks;
    hooks.automaticAdvance = [this] { automaticAdvance(); };
    hooks.checkPdfPrinter = [this] { checkPdfPrinter(); };
    hooks.next = [this] { form1Next(); };
    form1_->setHooks(std::move(hooks));
    connect(form1_.get(), &Form1::closed, this, &WindowFlow::end);
}

WindowFlow::~WindowFlow() = default;

void WindowFlow::start()
{
    form1_->Form_Load();
    // The advance at start-up hides the login window; otherwise it is the first window shown.
    if (!(form2_ && form2_->isVisible())) {
        form1_->adjustSize();
        centre(form1_.get());
        form1_->show();
    }
}

Form2& WindowFlow::form2()
{
    if (!form2_) {
        form2_ = std::make_unique<Form2>(ctx_);
        form2_->Form_Load();
        centre(form2_.get());
        connect(form2_.get(), &Form2::closed, this, &WindowFlow::end);
        connect(form2_->PushButton2, &QPushButton::clicked, this, &WindowFlow::form2Back);
        connect(form2_->PushButton3, &QPushButton::clicked, this, &WindowFlow::form2Next);
        connect(form2_->PushButton1, &QPushButton::clicked, this, &WindowFlow::form2CreateTable);
    }
    return *form2_;
}

Form3& WindowFlow::form3()
{
    if (!form3_) {
        form3_ = std::make_unique<Form3>(ctx_, *form1_);
        form3_->Form_Load();
        centre(form3_.get());
        connect(form3_.get(), &Form3::quitRequested, this, &WindowFlow::end);
        connect(form3_.get(), &Form3::backRequested, this, [this] {
            Handler h(ctx_, loc::Form3_Back);
            h.step(100, [&] { form2().show(); });
            h.step(102, [&] { form3_->hide(); });
        });
    }
    return *form3_;
}

void WindowFlow::form1Next(Advance how)
{
    Handler h(ctx_, loc::Form1_Next);
    if (const std::optional<QString> failure = connectionFailure(form1_->loginFields())) {
        if (how == Advance::ByUser)
            sayCouldNotConnect(ctx_, *failure);
        return;
    }
    h.step(102, [&] { FillTableList(*form1_, form2().List1); });
    h.step(104, [&] {
        if (form2().List1->count() > 0)
            form2().List1->setCurrentRow(0);
    });
    h.step(106, [&] { form2().show(); });
    h.step(108, [&] { form1_->hide(); });
}

void WindowFlow::automaticAdvance()
{
    Handler h(ctx_, loc::Form1_Load);
    if (h.when(140, [&] { return !form1_->Text1->text().isEmpty(); }) &&
        h.when(142, [&] { return OpenTestConnection(form1_->loginFields()); }))
        h.step(144, [&] { form1Next(Advance::AtStartUp); });
}

void WindowFlow::form2Back()
{
    Handler h(ctx_, loc::Form2_Back);
    h.step(100, [&] { form1_->show(); });
    h.step(102, [&] { form2_->hide(); });
}

void WindowFlow::form2Next()
{
    Form2& chooser = form2();
    Handler h(ctx_, loc::Form2_Next);
    if (h.when(104, [&] { return chooser.List1->selectedItems().isEmpty(); })) {
        h.step(136, [&] { ctx_.say(QStringLiteral("Please select a table")); });
        return;
    }
    h.step(106, [&] { chooser.pointer().set(Pointer::Hourglass); });
    // Lines 108 to 114: the table's own connection, opened before the editor shows.
    form3().openTableConnection(h);
    h.step(116, [&] { ctx_.currentTable = chooser.List1->selectedItems().first()->text(); });
    h.step(118, [&] { form3().show(); });
    h.step(120, [&] {
        form3().Label2->setText(QStringLiteral(" Now Editing: ") + ctx_.currentTable);
    });
    // Lines 122 to 130: the grid unbound, the table read on that connection, bound, focused.
    form3().readOpenedTable(h);
    h.step(132, [&] { chooser.hide(); });
    h.step(134, [&] { chooser.pointer().set(Pointer::Default); });
}

void WindowFlow::form2CreateTable()
{
    Form2& chooser = form2();
    Handler h(ctx_, loc::Form2_CreateTable);
    runCreateTableDialog(h, ctx_, *form1_, &chooser);
    h.step(106, [&] { chooser.pointer().set(Pointer::Hourglass); });
    h.step(116, [&] { chooser.setEnabled(false); });
    h.step(118, [&] { FillTableList(*form1_, chooser.List1); });
    h.step(122, [&] {
        if (chooser.List1->count() > 0)
            chooser.List1->setCurrentRow(0);
    });
    h.step(124, [&] { chooser.setEnabled(true); });
    h.step(126, [&] { chooser.pointer().set(Pointer::Default); });
}

QString pdfPrinterSetupDetails()
{
    // Keep the command in step with scripts/setup-pdf-printer.sh, which runs exactly this.
    return QStringLiteral(
        "Here the PDF printer is a CUPS print queue named Vantorel_PDF_Writer with the description "
        "\"Vantorel PDF Writer\". It writes each PDF file through cups-pdf into the folder PDF of "
        "your home folder. The steps above are for Windows; on this computer add the queue this way:\n"
        "\n"
        "1) Install CUPS and cups-pdf (as root):\n"
        "   apt-get install cups printer-driver-cups-pdf\n"
        "\n"
        "2) Run Tabulon's setup script, scripts/setup-pdf-printer.sh (run.sh and test.sh run it too). "
        "It starts the CUPS scheduler if it is not running, then adds the queue with this one "
        "command (through sudo when you are not root):\n"
        "   lpadmin -p Vantorel_PDF_Writer -D \"Vantorel PDF Writer\" -v cups-pdf:/ "
        "-P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd -E\n"
        "It never changes your default printer.\n"
        "\n"
        "3) Start Tabulon again.\n"
        "\n"
        "Until then, \"PDF\" asks where to save the PDF file and writes it there itself.");
}

void WindowFlow::checkPdfPrinter()
{
    // The message text is kept as it has always been; the details say how to do it here.
    if (findPdfPrinter(ctx_.printers))
        return;
    Message m{pdfPrinterMissingText(), ctx_.appTitle, MessageIcon::None, MessageButtons::Ok};
    m.details = pdfPrinterSetupDetails();
    ctx_.prompter.show(m);
}

void WindowFlow::end()
{
    emit quitRequested();
}

} // namespace tabulon
