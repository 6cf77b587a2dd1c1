#include "maintenance/console_window.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>
#include <QWindow>

#include <utility>

namespace DADOV {

namespace {
// A progress line handed the event loop no more often than a frame.
constexpr qint64 frame_ms = 16;
} // namespace

ConsoleWindow::ConsoleWindow(QWidget* parent)
    : QWidget(parent, Qt::Dialog), _buffer(*this), _out(&_buffer), _err(&_buffer) {
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

QRect console_place(const QRect& available, const QRect& owner, const QSize& frame, const QRect& keepClear) {
    constexpr int gap = 8;
    const auto within = [&](int from, int low, int length, int size) {
        return qBound(low, from, qMax(low, low + length - size));
    };
    const int beside_y = within(owner.top(), available.top(), available.height(), frame.height());
    const int beside_x = within(owner.left(), available.left(), available.width(), frame.width());
    const QPoint beside[] = {
        {owner.right() + 1 + gap, beside_y},            // right
        {owner.left() - gap - frame.width(), beside_y}, // left
        {beside_x, owner.bottom() + 1 + gap},           // below
        {beside_x, owner.top() - gap - frame.height()}, // above
    };
    for (const QPoint& at : beside) {
        if (available.contains(QRect(at, frame)))
            return {at, frame};
    }
    const int centred_x =
        within(owner.center().x() - frame.width() / 2, available.left(), available.width(), frame.width());
    if (!keepClear.isEmpty()) {
        const int top = keepClear.bottom() + 1 + gap;
        const int height = qMin(frame.height(), qMin(owner.bottom(), available.bottom()) + 1 - top);
        if (height >= frame.height() / 3)
            return {centred_x, top, frame.width(), height};
    }
    return {QPoint(centred_x, within(owner.center().y() - frame.height() / 2, available.top(),
                                     available.height(), frame.height())),
            frame};
}

void ConsoleWindow::present(const QRect& keepClear) {
    if (!_placed && parentWidget() != nullptr) {
        QWidget* owner = parentWidget()->window();
        const QScreen* screen =
            owner->screen() != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
        if (screen != nullptr) {
            // The console's frame is not known before it is shown: the owner's is taken for it.
            const QRect frame = owner->frameGeometry();
            const QMargins margins(owner->x() - frame.x(), owner->y() - frame.y(),
                                   frame.right() - owner->geometry().right(),
                                   frame.bottom() - owner->geometry().bottom());
            _placeFrame =
                console_place(screen->availableGeometry(), frame, size().grownBy(margins), keepClear);
            resize(_placeFrame.size().shrunkBy(margins));
            move(_placeFrame.topLeft());
        }
        _placed = true;
    }
    show();
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        raise();
    paint_now(true);
}

// Once the window system shows the frame it added, the frame is put where it was meant to go.
void ConsoleWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (_placeFrame.isNull() || !isVisible() || windowHandle() == nullptr)
        return;
    const QMargins margins = windowHandle()->frameMargins();
    if (margins.isNull())
        return;
    const QRect wanted = std::exchange(_placeFrame, QRect());
    if (frameGeometry() != wanted) {
        resize(wanted.size().shrunkBy(margins));
        move(wanted.topLeft());
    }
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
