#pragma once

// What the window hands each of its pages: the form's controls (each page takes its own), the window
// they sit in, the serial link to the controller, the reply parser's mode and the desktop.

#include <QObject>

#include <initializer_list>
#include <tuple>

class QWidget;

namespace Ui {
class Form1;
}

namespace DADOV {

class ParserMode;
class SerialLink;
struct DesktopShell;

struct PageContext {
    Ui::Form1& ui;
    QWidget& window;
    SerialLink& link;
    ParserMode& mode;
    DesktopShell& shell;
};

// Connects each control's `signal` to its page handler, through the slot `make_slot` makes of the handler
// and its name (a guarded slot that logs a failure under that name, say).
template <typename Control, typename Page, typename Signal, typename MakeSlot>
void connect_page_handlers(
    Page* page, Signal signal, MakeSlot make_slot,
    std::initializer_list<std::tuple<Control*, const char*, void (Page::*)()>> handlers) {
    for (const auto& [control, name, handler] : handlers) {
        const auto run = [page, handler = handler] { (page->*handler)(); };
        QObject::connect(control, signal, page, make_slot(name, run));
    }
}

} // namespace DADOV
