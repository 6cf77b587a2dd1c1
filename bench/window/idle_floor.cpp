// The floor under the window's idle cost on this machine: a window of the same size with a 30 ms timer that
// does nothing. Every Qt program that keeps such a timer pays this much for the wake-ups alone; the
// window's idle figure above it is what its own tick costs. Run by bench/desktop.

#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("VMK q5 (idle floor)"));
    window.resize(1024, 700);
    window.show();
    QTimer tick;
    tick.setInterval(30);
    QObject::connect(&tick, &QTimer::timeout, [] {});
    tick.start();
    return app.exec();
}
