// q5tool: the service tool's window. With --simulate it runs against simulated devices (sim/simulate_mode.h),
// with --record FILE it records the Diagnostics readings from the start (pages/reading_recorder.h), with
// --profile FILE its Tuning and zIdudo pages start from a settings profile (pages/settings_profile.h); the
// command line is read in app/command_line.h.

#include "app/command_line.h"
#include "app/exit_on_signals.h"
#include "app/form1.h"
#include "link/device_setup.h"
#include "pages/reading_recorder.h"
#include "sim/simulate_mode.h"
#include "widgets/heap_policy.h"

#include <QApplication>
#include <QStringList>
#include <QTabWidget>

#include <cstdio>
#include <exception>
#ifdef Q_OS_WIN
#include <windows.h>
#endif
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

// --record: an unattended capture, which must not run on without its file. The recording starts before
// the window opens; the window then opens on the Diagnostics page, which starts the stream as soon as the
// controller is attached. False, with the reason on standard error, when the file cannot be written.
bool start_recording(DADOV::Form1& form, const QString& file) {
    if (form.diagnostics().readingRecorder().start(file))
        return true;
    std::fprintf(stderr, "q5tool: %s\n",
                 form.diagnostics().readingRecorder().lastMessage().toLocal8Bit().constData());
    return false;
}

// Runs the window; `signal` is set when a signal ended the run. SIGTERM, SIGINT and SIGHUP end the event
// loop, so that the program ends as after its window closed (a recording complete, simulate mode's folder
// removed), also while the controller is attached, when the window would refuse to close.
int run(QApplication& app, const DADOV::CommandLine& line, int& signal) {
    // The signal handling outlives the simulated devices, so that their folder goes whatever ends the run.
    DADOV::ExitOnSignals signal_handling;
    std::unique_ptr<sim::SimulateMode> simulation;
    if (line.options.simulate)
        simulation = std::make_unique<sim::SimulateMode>();
        // The window goes before the simulated devices it talks to. Without them the controller is looked
        // for in the sysfs tree at $Q5_SYSFS_ROOT and its port in $Q5_DEV_ROOT (empty: /sys and /dev); on
        // Windows through SetupAPI, its port a COM port.
#ifdef Q_OS_WIN
    const std::unique_ptr<DADOV::Form1> form =
        simulation ? std::make_unique<DADOV::Form1>(simulation->deviceSetup(), simulation->deviceRoot())
                   : std::make_unique<DADOV::Form1>();
#else
    const std::unique_ptr<DADOV::Form1> form =
        simulation ? std::make_unique<DADOV::Form1>(simulation->deviceSetup(), simulation->deviceRoot())
                   : std::make_unique<DADOV::Form1>(std::make_unique<DADOV::SysfsDeviceSetup>(
                                                        qEnvironmentVariable("Q5_SYSFS_ROOT"),
                                                        DADOV::SysfsDeviceSetup::Reuse::WhileUnchanged),
                                                    qEnvironmentVariable("Q5_DEV_ROOT"));
#endif
    if (simulation)
        simulation->apply(*form, form->firmwarePage());
    // --profile: the window must not start from settings other than those asked for.
    if (!line.options.profileFile.isEmpty()) {
        if (const QString failure = form->tuning().loadProfile(line.options.profileFile);
            !failure.isEmpty()) {
            std::fprintf(stderr, "q5tool: %s\n", failure.toLocal8Bit().constData());
            return DADOV::command_line_error;
        }
    }
    const bool recording = !line.options.recordFile.isEmpty();
    if (recording && !start_recording(*form, line.options.recordFile))
        return DADOV::command_line_error;
    form->show();
    if (recording) {
        if (auto* pages = form->findChild<QTabWidget*>(QStringLiteral("TabControl1")))
            pages->setCurrentIndex(1);
    }
    const int result = app.exec();
    if (simulation)
        std::fprintf(stderr, "q5tool: the simulated controller sent %lld reading pairs\n",
                     simulation->controller().pairsSent());
    signal = signal_handling.caught();
    return result;
}

#ifdef Q_OS_WIN
// A window program has no console of its own: started from a Command Prompt, its answers (--help,
// --version, errors) go to that console; output already redirected stays where it goes.
void answer_in_the_starting_console() {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if ((out != nullptr && out != INVALID_HANDLE_VALUE) || !::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    (void)std::freopen("CONOUT$", "w", stdout);
    (void)std::freopen("CONOUT$", "w", stderr);
}
#endif

} // namespace

int main(int argc, char** argv) {
#ifdef Q_OS_WIN
    answer_in_the_starting_console();
#endif
    DADOV::return_large_buffers_to_the_system();
    // The user's data folder (the service record's) is named after the program, also for the answers given
    // before the application exists.
    QCoreApplication::setApplicationName(QStringLiteral("q5tool"));
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
            DADOV::ExitOnSignals::end_by(signal);
        return result;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "q5tool: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "q5tool: unexpected failure\n");
    }
    return 1;
}
