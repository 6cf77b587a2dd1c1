#pragma once

// A firmware-update procedure (a reflash with its ID read and retry, an ID read, an ID write) runs on the
// window thread and turns the event loop only to paint the engine's console. For as long as it runs, one
// scope holds the window still: the attachment monitor's timer stands (and ticks again afterwards if it
// was ticking), the controller's lines wait in order, the window refuses to close, and the firmware page's
// controls start nothing. Scopes nest: an engine run inside a reflash takes one too.

#include <QObject>

#include <memory>

class QTimer;
class QWidget;

namespace DADOV {

class SerialLink;

class EngineBusy {
public:
    EngineBusy(QWidget& window, QTimer& timer, SerialLink& link);
    ~EngineBusy();
    EngineBusy(const EngineBusy&) = delete;
    EngineBusy& operator=(const EngineBusy&) = delete;

    // Whether a scope is open on this window.
    static bool held(const QWidget& window);

private:
    class CloseRefusal;

    QWidget& _window;
    QTimer& _timer;
    SerialLink& _link;
    bool _ticking;
    std::unique_ptr<CloseRefusal> _closeRefusal;
};

} // namespace DADOV
