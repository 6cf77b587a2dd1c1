#pragma once

// The Documentation page: links to the product documents and to the PDF reader's download page.

#include "pages/page_context.h"

#include <QObject>

namespace DADOV {

class DocumentationPage : public QObject {
    Q_OBJECT

public:
    explicit DocumentationPage(const PageContext& context, QObject* parent = nullptr);

    void linkLabel1_LinkClicked();
    void linkLabel2_LinkClicked();
    void linkLabel3_LinkClicked();
    void linkLabel4_LinkClicked();

private:
    PageContext _context;
    Ui::Form1& ui;
};

} // namespace DADOV
