#pragma once

#include <QElapsedTimer>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <ostream>
#include <streambuf>
#include <string>

class QPlainTextEdit;

namespace DADOV {

// The firmware-update engine's console: a window of its own that shows the engine's output and error
// lines while it runs on the window thread, and keeps them, with the outcome, until the user closes it.
//
// The engine writes through out() and err() (an engine session's streams). A "\r" starts the
// current line again: the next character replaces it, so a progress line is rewritten in place. At every
// line end, and at a "\r" or a flush at most once per frame, the event loop gets a turn so that the window
// paints; user input is held back meanwhile, so nothing the user does can start another run.
// Where the console's frame goes, the first time it opens: beside the owner's frame (to its right, left,
// below or above) wherever the screen's available area has room for all of it, so that it covers nothing
// of the window. Without such room, over the owner below `keepClear` (the controls of the page it came from,
// empty when none), made lower to fit if need be but no lower than a third of its height; failing that,
// centred over the owner. Always within the area as far as its size allows.
QRect console_place(const QRect& available, const QRect& owner, const QSize& frame, const QRect& keepClear);

class ConsoleWindow : public QWidget {
    Q_OBJECT

public:
    explicit ConsoleWindow(QWidget* parent = nullptr);
    ~ConsoleWindow() override;

    ConsoleWindow(const ConsoleWindow&) = delete;
    ConsoleWindow& operator=(const ConsoleWindow&) = delete;

    std::ostream& out() { return _out; }
    std::ostream& err() { return _err; }

    // Everything shown, the lines ended by "\n"; the current line last, as far as it has been written.
    QString text() const;
    // Starts an empty console.
    void clear();
    // Shows the window in front of the others and paints it. The first time it is placed beside the tool's
    // window, or over it clear of `keepClear` (console_place; global coordinates). It is a dialog of that
    // window, so it stays above it while it is open.
    void present(const QRect& keepClear = {});

protected:
    void moveEvent(QMoveEvent* event) override;

private:
    // Feeds the characters written to either stream into the console's lines.
    class LineBuffer : public std::streambuf {
    public:
        explicit LineBuffer(ConsoleWindow& window) : _window(window) {}

    protected:
        int_type overflow(int_type ch) override;
        std::streamsize xsputn(const char* s, std::streamsize n) override;
        int sync() override;

    private:
        ConsoleWindow& _window;
    };

    void put(char c);
    void show_current_line();
    void paint_now(bool always);

    QPlainTextEdit* _view = nullptr;
    LineBuffer _buffer;
    std::ostream _out;
    std::ostream _err;
    QString _done;        // complete lines, each ended by "\n"
    std::string _current; // bytes of the line being written
    bool _return_pending = false;
    bool _current_shown = true; // the view shows _current as it stands
    bool _placed = false;
    // Where the frame was placed, until the window system has shown it with its frame: the frame it adds
    // can differ from the one assumed.
    QRect _placeFrame;
    QElapsedTimer _since_paint;
};

} // namespace DADOV
