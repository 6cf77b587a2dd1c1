#include "maintenance/console_window.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

namespace DADOV {

namespace {
// A progress line handed the event loop no more often than a frame.
constexpr qint64 frame_ms = 16;
} // namespace

ConsoleWindow::ConsoleWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), _buffer(*this), _out(&_buffer), _err(&_buffer) {
    setObjectName(QStringLiteral("consoleWindow"));
    setWindowTitle(QStringLiteral("fw_update"));
    // Closing the tool's window ends the program even while this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);

    _view = new QPlainTextEdit(this);
    _view->setObjectName(QStringLiteral("consoleText"));
    _view->setReadOnly(true);
    _view->setUndoRedoEnabled(false);
    _view->setLineWrapMode(QPlainTextEdit::NoWrap);
    _view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QPalette p = _view->palette();
    p.setColor(QPalette::Base, Qt::black);
    p.setColor(QPalette::Text, QColor(0xc0, 0xc0, 0xc0));
    _view->setPalette(p);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(_view);
    resize(660, 340);
    _since_paint.start();
}

ConsoleWindow::~ConsoleWindow() = default;

QString ConsoleWindow::text() const {
    return _done + QString::fromUtf8(_current);
}

void ConsoleWindow::clear() {
    _done.clear();
    _current.clear();
    _return_pending = false;
    _current_shown = true;
    _view->clear();
}

void ConsoleWindow::present() {
    // The first time, over the lower part of the tool's window, leaving its controls and messages in view.
    if (!_placed && parentWidget() != nullptr) {
        const QRect owner = parentWidget()->frameGeometry();
        move(owner.center().x() - width() / 2, qMax(owner.top(), owner.bottom() - height() - 24));
        _placed = true;
    }
    show();
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        raise();
    paint_now(true);
}

void ConsoleWindow::put(char c) {
    if (c == '\n') {
        _return_pending = false;
        show_current_line();
        _done += QString::fromUtf8(_current) + QLatin1Char('\n');
        _current.clear();
        QTextCursor cursor(_view->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertBlock();
        paint_now(true);
        return;
    }
    if (c == '\r') {
        _return_pending = true;
        show_current_line();
        paint_now(false);
        return;
    }
    if (_return_pending) {
        _return_pending = false;
        _current.clear();
    }
    _current.push_back(c);
    _current_shown = false;
}

// Puts the current line into the view's last block.
void ConsoleWindow::show_current_line() {
    if (_current_shown)
        return;
    QTextCursor cursor(_view->document());
    cursor.movePosition(QTextCursor::End);
    cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(QString::fromUtf8(_current));
    _current_shown = true;
}

void ConsoleWindow::paint_now(bool always) {
    if (!always && _since_paint.elapsed() < frame_ms)
        return;
    _view->verticalScrollBar()->setValue(_view->verticalScrollBar()->maximum());
    _view->horizontalScrollBar()->setValue(0);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    _since_paint.restart();
}

ConsoleWindow::LineBuffer::int_type ConsoleWindow::LineBuffer::overflow(int_type ch) {
    if (traits_type::eq_int_type(ch, traits_type::eof()))
        return traits_type::not_eof(ch);
    _window.put(traits_type::to_char_type(ch));
    return ch;
}

std::streamsize ConsoleWindow::LineBuffer::xsputn(const char* s, std::streamsize n) {
    for (std::streamsize i = 0; i < n; ++i)
        _window.put(s[i]);
    return n;
}

int ConsoleWindow::LineBuffer::sync() {
    _window.show_current_line();
    _window.paint_now(false);
    return 0;
}

} // namespace DADOV
