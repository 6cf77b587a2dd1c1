// The Documentation page: the product documents and the PDF reader's download page.

#include "app/form1.h"
#include "app/link_label.h"
#include "logging/guarded.h"
#include "pages/desktop_shell.h"
#include "ui_form1.h"

#include <QMessageBox>

namespace DADOV {

namespace {

const QUrl reader_download_page(QStringLiteral("https://get.adobe.com/reader/"));

// The modal box of a link whose target could not be opened: no owner window, one OK button.
void show_error(Form1::DesktopShell& shell, const QString& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Error"), text, QMessageBox::Ok);
    if (shell.show)
        shell.show(box);
}

void open_product_document(Form1::DesktopShell& shell, const QString& name) {
    if (!open_document(shell, document_places(shell, name)))
        show_error(shell, QStringLiteral("File not founde"));
}

} // namespace

void Form1::connect_documentation_page() {
    desktop_shell(*this);
    connect(ui->linkLabel1, &LinkLabel::LinkClicked, this,
            guarded(lcPages(), "linkLabel1_LinkClicked", [this] { linkLabel1_LinkClicked(); }));
    connect(ui->linkLabel2, &LinkLabel::LinkClicked, this,
            guarded(lcPages(), "linkLabel2_LinkClicked", [this] { linkLabel2_LinkClicked(); }));
    connect(ui->linkLabel3, &LinkLabel::LinkClicked, this,
            guarded(lcPages(), "linkLabel3_LinkClicked", [this] { linkLabel3_LinkClicked(); }));
    connect(ui->linkLabel4, &LinkLabel::LinkClicked, this,
            guarded(lcPages(), "linkLabel4_LinkClicked", [this] { linkLabel4_LinkClicked(); }));
}

// "q5 PC App".
void Form1::linkLabel1_LinkClicked() {
    open_product_document(*desktopShell, document_pc_app);
}

// "q5 Installation, Calibration and Operation".
void Form1::linkLabel2_LinkClicked() {
    open_product_document(*desktopShell, document_installation);
}

// "q5 Analog/Digital Wiring Pinout".
void Form1::linkLabel3_LinkClicked() {
    open_product_document(*desktopShell, document_pinouts);
}

// "Get Adobe Acrobat Reader": the download page in the web browser.
void Form1::linkLabel4_LinkClicked() {
    ui->linkLabel4->setLinkVisited(true);
    if (!desktopShell->open || !desktopShell->open(reader_download_page))
        show_error(*desktopShell,
                   QStringLiteral("Web page could not be opened: ") + reader_download_page.toString());
}

} // namespace DADOV
