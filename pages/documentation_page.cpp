// The Documentation page: the product documents and the PDF reader's download page.

#include "pages/documentation_page.h"

#include "logging/guarded.h"
#include "pages/desktop_shell.h"
#include "ui_form1.h"
#include "widgets/link_label.h"

#include <QMessageBox>

namespace DADOV {

namespace {

const QUrl reader_download_page(QStringLiteral("https://get.adobe.com/reader/"));

// The modal box of a link whose target could not be opened: no owner window, one OK button.
void show_error(const DesktopShell& shell, const QString& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Error"), text, QMessageBox::Ok);
    if (shell.show)
        shell.show(box);
}

void open_product_document(const DesktopShell& shell, const QString& name) {
    if (!open_document(shell, document_places(shell, name)))
        show_error(shell, QStringLiteral("File not founde"));
}

} // namespace

DocumentationPage::DocumentationPage(const PageContext& context, QObject* parent)
    : QObject(parent), _context(context), ui(context.ui) {
    connect_page_handlers<LinkLabel>(
        this, &LinkLabel::LinkClicked,
        [](const char* name, auto handler) { return guarded(lcPages(), name, handler); },
        {{ui.linkLabel1, "linkLabel1_LinkClicked", &DocumentationPage::linkLabel1_LinkClicked},
         {ui.linkLabel2, "linkLabel2_LinkClicked", &DocumentationPage::linkLabel2_LinkClicked},
         {ui.linkLabel3, "linkLabel3_LinkClicked", &DocumentationPage::linkLabel3_LinkClicked},
         {ui.linkLabel4, "linkLabel4_LinkClicked", &DocumentationPage::linkLabel4_LinkClicked}});
}

// "q5 PC App".
void DocumentationPage::linkLabel1_LinkClicked() {
    open_product_document(_context.shell, document_pc_app);
}

// "q5 Installation, Calibration and Operation".
void DocumentationPage::linkLabel2_LinkClicked() {
    open_product_document(_context.shell, document_installation);
}

// "q5 Analog/Digital Wiring Pinout".
void DocumentationPage::linkLabel3_LinkClicked() {
    open_product_document(_context.shell, document_pinouts);
}

// "Get Adobe Acrobat Reader": the download page in the web browser.
void DocumentationPage::linkLabel4_LinkClicked() {
    ui.linkLabel4->setLinkVisited(true);
    if (!_context.shell.open || !_context.shell.open(reader_download_page))
        show_error(_context.shell,
                   QStringLiteral("Web page could not be opened: ") + reader_download_page.toString());
}

} // namespace DADOV
