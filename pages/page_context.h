#pragma once

// What the window hands each of its pages: the form's controls (each page takes its own), the window
// they sit in, the serial link to the controller, the reply parser's mode and the desktop.

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

} // namespace DADOV
