// q5tool: the service tool's window. With --simulate it runs against simulated devices (sim/simulate_mode.h),
// with --record FILE it records the Diagnostics readings from the start (pages/reading_recorder.h); the
// command line is read in app/command_line.h.

#include "app/command_line.h"
#include "app/form1.h"
#include "app/quit_signals.h"
#include "pages/reading_recorder.h"
#include "sim/simulate_mode.h"

#include <QApplication>
#include <QStringList>
#include <QTabWidget>

#include <cstdio>
#include <exception>
#include <memory>

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

// --record: an unattended capture. The window opens on the Diagnostics page, which starts the stream as
// soon as the controller is attached, and the recording runs from now.
void record_from_the_start(DADOV::Form1& form, const QString& file) {
    if (auto* pages = form.findChild<QTabWidget*>(QStringLiteral("TabControl1")))
        pages->setCurrentIndex(1);
    if (!form.readingRecorder->start(file))
        std::fprintf(stderr, "q5tool: %s\n", form.readingRecorder->lastMessage().toLocal8Bit().constData());
}

} // namespace

int main(int argc, char** argv) {
    try {
        // Help, version and errors are answered without a display. With one, a command line the early
        // reading refuses is read again once the application has taken out the toolkit's own options
        // (-platform, -style, ...).
        const QStringList arguments = arguments_of(argc, argv);
        if (const DADOV::CommandLine early = DADOV::read_command_line(arguments);
            !early.run && (early.status == 0 || !window_system_named(arguments)))
            return finish(early);

        QApplication app(argc, argv);
        QApplication::setStyle(QStringLiteral("Fusion"));
        const DADOV::CommandLine line = DADOV::read_command_line(QCoreApplication::arguments());
        if (!line.run)
            return finish(line);

        std::unique_ptr<sim::SimulateMode> simulation;
        if (line.options.simulate)
            simulation = std::make_unique<sim::SimulateMode>();
        // The window goes before the simulated devices it talks to.
        const std::unique_ptr<DADOV::Form1> form =
            simulation ? std::make_unique<DADOV::Form1>(simulation->deviceSetup())
                       : std::make_unique<DADOV::Form1>();
        if (simulation)
            simulation->apply(*form);
        form->show();
        if (!line.options.recordFile.isEmpty())
            record_from_the_start(*form, line.options.recordFile);
        quit_on_termination_signals();
        const int status = app.exec();
        if (simulation)
            std::fprintf(stderr, "q5tool: the simulated controller sent %lld reading pairs\n",
                         simulation->controller().pairsSent());
        return status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "q5tool: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "q5tool: unexpected failure\n");
    }
    return 1;
}
