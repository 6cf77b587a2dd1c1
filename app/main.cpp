// q5tool: the service tool's window. With --simulate it runs against simulated devices (sim/simulate_mode.h).

#include "app/form1.h"
#include "sim/exit_on_signals.h"
#include "sim/simulate_mode.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <exception>
#include <memory>
#include <optional>

namespace {

// Runs the window; `signal` is set when a signal ended the run (simulate mode, which then cleans up).
int run(int argc, char** argv, int& signal) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    // The signal handling outlives the simulated devices, so that their folder goes whatever ends the run.
    std::optional<sim::ExitOnSignals> signal_handling;
    std::unique_ptr<sim::SimulateMode> simulation;
    if (QCoreApplication::arguments().contains(QStringLiteral("--simulate"))) {
        signal_handling.emplace();
        simulation = std::make_unique<sim::SimulateMode>();
    }
    // The window goes before the simulated devices it talks to.
    const std::unique_ptr<DADOV::Form1> form = simulation
                                                   ? std::make_unique<DADOV::Form1>(simulation->deviceSetup())
                                                   : std::make_unique<DADOV::Form1>();
    if (simulation)
        simulation->apply(*form);
    form->show();
    const int result = app.exec();
    if (signal_handling)
        signal = signal_handling->caught();
    return result;
}

} // namespace

int main(int argc, char** argv) {
    int signal = 0;
    try {
        const int result = run(argc, argv, signal);
        // Everything is released: end as the signal would have ended the process.
        if (signal != 0)
            sim::ExitOnSignals::end_by(signal);
        return result;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "q5tool: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "q5tool: unexpected failure\n");
    }
    return 1;
}
