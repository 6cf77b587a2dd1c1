#include "maintenance/engine_busy.h"

#include "link/serial_link.h"

#include <QEvent>
#include <QTimer>
#include <QVariant>
#include <QWidget>

namespace DADOV {

namespace {

// The open scopes of a window, kept on the window itself.
const char* const depth_property = "q5EngineBusyDepth";

int depth(const QWidget& window) {
    return window.property(depth_property).toInt();
}

} // namespace

// Refuses the window's close while a scope is open: the run is on the window's own call stack.
class EngineBusy::CloseRefusal : public QObject {
public:
    explicit CloseRefusal(QWidget& window) : _window(window) { _window.installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &_window && event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        return false;
    }

private:
    QWidget& _window;
};

EngineBusy::EngineBusy(QWidget& window, QTimer& timer, SerialLink& link)
    : _window(window), _timer(timer), _link(link), _ticking(timer.isActive()) {
    // The outermost scope refuses the close; its filter goes with it.
    if (!held(_window))
        _closeRefusal = std::make_unique<CloseRefusal>(_window);
    _window.setProperty(depth_property, depth(_window) + 1);
    _timer.stop();
    // The console's turns of the event loop must not hand the controller's lines to the reply parser
    // (which may answer the controller) in the middle of the run: they wait, in order, until it is over.
    _link.holdDelivery();
}

EngineBusy::~EngineBusy() {
    _link.releaseDelivery();
    _window.setProperty(depth_property, depth(_window) - 1);
    if (_ticking)
        _timer.start();
}

bool EngineBusy::held(const QWidget& window) {
    return depth(window) > 0;
}

} // namespace DADOV
