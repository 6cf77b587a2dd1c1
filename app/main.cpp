// q5tool: the service tool's window. With --simulate it runs against simulated devices (sim/simulate_mode.h);
// the command line is read in app/command_line.h.

#include "app/command_line.h"
#include "app/form1.h"
#include "link/device_setup.h"
#include "sim/exit_on_signals.h"
#include "sim/simulate_mode.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <exception>
#include <memory>
#include <optional>

namespace {

QStringList arguments_of(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// Writes what the command line answered and gives the exit status.
int finish(const DADOV::CommandLine& line) {
    std::fputs(line.output.toLocal8Bit().constData(), stdout);
    std::fputs(line.errors.toLocal8Bit().constData(), stderr);
    return line.status;
}

// Whether the toolkit could find a window system; without one it would abort at start.
bool window_system_named(const QStringList& arguments) {
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (!qEnvironmentVariableIsEmpty(variable))
            return true;
    return arguments.contains(QStringLiteral("-platform")) ||
           arguments.contains(QStringLiteral("--platform"));
}

// Runs the window; `signal` is set when a signal ended the run (simulate mode, which then cleans up).
int run(QApplication& app, const DADOV::CommandLine& line, int& signal) {
    // The signal handling outlives the simulated devices, so that their folder goes whatever ends the run.
    std::optional<sim::ExitOnSignals> signal_handling;
    std::unique_ptr<sim::SimulateMode> simulation;
    if (line.options.simulate) {
        signal_handling.emplace();
        simulation = std::make_unique<sim::SimulateMode>();
    }
    // The window goes before the simulated devices it talks to. Without them the controller is looked
    // for in the sysfs tree at $Q5_SYSFS_ROOT and its port in $Q5_DEV_ROOT (empty: /sys and /dev).
    const std::unique_ptr<DADOV::Form1> form =
        simulation ? std::make_unique<DADOV::Form1>(simulation->deviceSetup(), simulation->deviceRoot())
                   : std::make_unique<DADOV::Form1>(
                         std::make_unique<DADOV::SysfsDeviceSetup>(qEnvironmentVariable("Q5_SYSFS_ROOT")),
                         qEnvironmentVariable("Q5_DEV_ROOT"));
    if (simulation)
        simulation->apply(*form);
    form->show();
    // line.options.recordFile (absolute; empty when --record was not given) is where the readings
    // are to be recorded from the start. Until the window can record, say so rather than pretend.
    if (!line.options.recordFile.isEmpty())
        std::fprintf(stderr, "q5tool: recording is not available in this build; %s is not written\n",
                     line.options.recordFile.toLocal8Bit().constData());
    const int result = app.exec();
    if (signal_handling)
        signal = signal_handling->caught();
    return result;
}

} // namespace

int main(int argc, char** argv) {
    int signal = 0;
    try {
        // Help, version and errors are answered without a display. With one, a command line the early
        // reading refuses is read again once the application has taken out the toolkit's own options
        // (-platform, -style, ...).
        const QStringList arguments = arguments_of(argc, argv);
        if (const DADOV::CommandLine early = DADOV::read_command_line(arguments);
            !early.run && (early.status == 0 || !window_system_named(arguments)))
            return finish(early);

        int result = 0;
        {
            QApplication app(argc, argv);
            QApplication::setStyle(QStringLiteral("Fusion"));
            const DADOV::CommandLine line = DADOV::read_command_line(QCoreApplication::arguments());
            if (!line.run)
                return finish(line);
            result = run(app, line, signal);
        }
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
