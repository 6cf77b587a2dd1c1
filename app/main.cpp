// q5tool: the service tool's window. With --simulate it runs against simulated devices (sim/simulate_mode.h).

#include "app/form1.h"
#include "sim/simulate_mode.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <exception>
#include <memory>

int main(int argc, char** argv) {
    try {
        QApplication app(argc, argv);
        QApplication::setStyle(QStringLiteral("Fusion"));
        std::unique_ptr<sim::SimulateMode> simulation;
        if (QCoreApplication::arguments().contains(QStringLiteral("--simulate")))
            simulation = std::make_unique<sim::SimulateMode>();
        // The window goes before the simulated devices it talks to.
        const std::unique_ptr<DADOV::Form1> form =
            simulation ? std::make_unique<DADOV::Form1>(simulation->deviceSetup())
                       : std::make_unique<DADOV::Form1>();
        if (simulation)
            simulation->apply(*form);
        form->show();
        return app.exec();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "q5tool: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "q5tool: unexpected failure\n");
    }
    return 1;
}
