// The reply parser under a stream, with the Diagnostics page shown and the chart at its 1000-point window.
//
// BM_ParserLines: lines handled per second by GetInstruction, the window's event loop turned every 200
// lines so that the chart's flushes and the label repaints are paid for as in the tool. Target: 20,000.
//
// BM_Stream500PairsCpu: the simulated controller streams 500 pairs per second (with an "amps" value
// every 10th pair) over a pseudo-terminal into the window's serial link; the window thread's CPU time
// over the run (10 s) divided by the run's wall time. The attachment monitor's timer is stopped and the
// link opened directly, so the share is that of receiving, parsing and drawing (the page refresh runs
// every 30 ms as the tick would run it). Target: below 10% of one core.

#include "app/form1.h"
#include "protocol/state.h"
#include "sim/controller/sim_controller.h"

#include <QApplication>
#include <QEventLoop>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include <time.h>

namespace {

QApplication& application() {
    static int argc = 1;
    static char name[] = "window_bench";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QApplication> app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return std::make_unique<QApplication>(argc, argv);
    }();
    return *app;
}

double thread_cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// A window that finds no controller of its own, on the Diagnostics page with the widest chart window.
std::unique_ptr<DADOV::Form1> diagnostics_window(const QTemporaryDir& emptySysfs) {
    auto form = std::make_unique<DADOV::Form1>(std::make_unique<DADOV::SysfsDeviceSetup>(emptySysfs.path()));
    form->timer1.stop();
    form->show();
    form->findChild<QTabWidget*>(QStringLiteral("TabControl1"))->setCurrentIndex(1);
    form->findChild<QSpinBox*>(QStringLiteral("numericUpDown1"))->setValue(1); // 1000 samples
    return form;
}

void BM_ParserLines(benchmark::State& state) {
    application();
    QTemporaryDir sysfs;
    auto form = diagnostics_window(sysfs);
    const QStringList counts = [] {
        QStringList out;
        for (int i = 0; i < 1024; i += 7)
            out << QString::number(i);
        return out;
    }();
    const QString tpsone = QStringLiteral("tpsone"), tpstwo = QStringLiteral("tpstwo"),
                  amps = QStringLiteral("amps"), volts = QStringLiteral("2.5");
    // Fill the window first: from then on every pair scrolls it.
    qsizetype k = 0;
    for (int i = 0; i < 1100; ++i) {
        form->GetInstruction(tpsone);
        form->GetInstruction(counts[k++ % counts.size()]);
        form->GetInstruction(tpstwo);
        form->GetInstruction(counts[k++ % counts.size()]);
    }
    QApplication::processEvents();

    long long lines = 0;
    for (auto _ : state) {
        for (int pair = 0; pair < 50; ++pair) {
            form->GetInstruction(tpsone);
            form->GetInstruction(counts[k++ % counts.size()]);
            form->GetInstruction(tpstwo);
            form->GetInstruction(counts[k++ % counts.size()]);
            lines += 4;
            if (pair % 10 == 0) {
                form->GetInstruction(amps);
                form->GetInstruction(volts);
                lines += 2;
            }
        }
        QApplication::processEvents();
    }
    state.SetItemsProcessed(lines);
    state.counters["lines_per_s"] =
        benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
    state.counters["chart_points"] = form->stripChart ? DADOV::s : 0;
}
BENCHMARK(BM_ParserLines)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_Stream500PairsCpu(benchmark::State& state) {
    application();
    const auto run = std::chrono::seconds(state.range(0));
    QTemporaryDir sysfs;
    QTemporaryDir dev;
    DADOV::SimController sim(dev.path());
    sim.setStreamRate(500);
    sim.setAmps("2.5", 10);
    auto form = diagnostics_window(sysfs);
    form->serialPort1.setPortName(sim.portPath());
    if (!form->serialPort1.open()) {
        state.SkipWithError("cannot open the simulated controller's port");
        return;
    }
    QTimer refresh;
    refresh.setInterval(30);
    QObject::connect(&refresh, &QTimer::timeout, form.get(), [&] { form->diagnostics_page_refresh(); });
    refresh.start();

    for (auto _ : state) {
        QTabWidget* tabs = form->findChild<QTabWidget*>(QStringLiteral("TabControl1"));
        tabs->setCurrentIndex(0);
        tabs->setCurrentIndex(1); // page entry: pair B, start streaming
        const int t_start = DADOV::t;
        const long long pairs_start = sim.pairsSent();
        const double cpu_start = thread_cpu_seconds();
        const auto wall_start = std::chrono::steady_clock::now();
        QEventLoop loop;
        QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(run), &loop,
                           &QEventLoop::quit);
        loop.exec();
        const double cpu = thread_cpu_seconds() - cpu_start;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
        state.SetIterationTime(wall);
        state.counters["cpu_share_pct"] = 100.0 * cpu / wall;
        state.counters["pairs_sent"] = static_cast<double>(sim.pairsSent() - pairs_start);
        state.counters["pairs_parsed"] = static_cast<double>(DADOV::t - t_start);
    }
}
BENCHMARK(BM_Stream500PairsCpu)->Arg(10)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace
