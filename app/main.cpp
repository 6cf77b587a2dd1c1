// q5tool: the service tool's window.

#include "app/form1.h"

#include <QApplication>

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    try {
        QApplication app(argc, argv);
        QApplication::setStyle(QStringLiteral("Fusion"));
        DADOV::Form1 form;
        form.show();
        return app.exec();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "q5tool: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "q5tool: unexpected failure\n");
    }
    return 1;
}
