// The reply parser under a stream, with the Diagnostics page shown and the chart at its 1000-point window.
//
// BM_ParserLines: lines handled per second by GetInstruction, the window's event loop turned every 200
// lines so that the chart's flushes and the label repaints are paid for as in the tool. Target: 20,000.
//
// BM_Stream500PairsCpu: the simulated controller streams 500 pairs per second (with an "amps" value
// every 10th pair) over a pseudo-terminal into the window's serial link; the window thread's CPU time
// over the run (10 s) divided by the run's wall time. The attachment monitor's timer is stopped and the
// link opened directly, so the share is that of receiving, parsing and drawing (the page refresh runs
// every 30 ms as the tick would run it). Target: below 10% of one core. The second argument records the
// stream to a file meanwhile; process_cpu_share_pct then also counts the recording's writer thread (and
// the simulated controller's thread, in both runs).
//
// BM_RecordPair: what recording adds to the window thread for one pair: the row made and queued.
//
// BM_Recording500PairsCpu: recording alone at 500 pairs per second for 10 s, the pairs handed to the
// recorder in fives every 10 ms as the parser would hand them; the whole process's CPU time (window
// thread, writer thread with its writes and syncs, the feeding timer) over the wall time. With record:0
// the same run with no recording, which leaves the feeding timer's own share. Target: below 1% of one
// core with recording, all included.

#include "app/form1.h"
#include "pages/reading_recorder.h"

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

double cpu_seconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double thread_cpu_seconds() {
    return cpu_seconds(CLOCK_THREAD_CPUTIME_ID);
}

double process_cpu_seconds() {
    return cpu_seconds(CLOCK_PROCESS_CPUTIME_ID);
}

// A window that finds no controller of its own, on the Diagnostics page with the widest chart window.
std::unique_ptr<DADOV::Form1> diagnostics_window(const QTemporaryDir& emptySysfs) {
    auto form = std::make_unique<DADOV::Form1>(std::make_unique<DADOV::SysfsDeviceSetup>(emptySysfs.path()));
    form->timer1().stop();
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
    state.counters["chart_points"] = form->diagnostics().s();
}
BENCHMARK(BM_ParserLines)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The 500-pairs-a-second runs: one timed run each, scroll speed 10, without and with a recording.
void one_timed_run_with_and_without_recording(benchmark::internal::Benchmark* b) {
    b->ArgNames({"s", "record"})
        ->Args({10, 0})
        ->Args({10, 1})
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kSecond);
}

void BM_Stream500PairsCpu(benchmark::State& state) {
    application();
    const auto run = std::chrono::seconds(state.range(0));
    const bool record = state.range(1) != 0;
    QTemporaryDir sysfs;
    QTemporaryDir dev;
    QTemporaryDir files;
    DADOV::SimController sim(dev.path());
    sim.setStreamRate(500);
    sim.setAmps("2.5", 10);
    auto form = diagnostics_window(sysfs);
    form->serialPort1().setPortName(sim.portPath());
    if (!form->serialPort1().open()) {
        state.SkipWithError("cannot open the simulated controller's port");
        return;
    }
    if (record &&
        !form->diagnostics().readingRecorder().start(files.filePath(QStringLiteral("stream.csv")))) {
        state.SkipWithError("cannot record");
        return;
    }
    QTimer refresh;
    refresh.setInterval(30);
    QObject::connect(&refresh, &QTimer::timeout, form.get(),
                     [&] { form->diagnostics().diagnostics_page_refresh(); });
    refresh.start();

    for (auto _ : state) {
        QTabWidget* tabs = form->findChild<QTabWidget*>(QStringLiteral("TabControl1"));
        tabs->setCurrentIndex(0);
        tabs->setCurrentIndex(1); // page entry: pair B, start streaming
        const int t_start = form->diagnostics().t();
        const long long pairs_start = sim.pairsSent();
        const double cpu_start = thread_cpu_seconds();
        const double process_start = process_cpu_seconds();
        const auto wall_start = std::chrono::steady_clock::now();
        QEventLoop loop;
        QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(run), &loop,
                           &QEventLoop::quit);
        loop.exec();
        const double cpu = thread_cpu_seconds() - cpu_start;
        const double process = process_cpu_seconds() - process_start;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
        state.SetIterationTime(wall);
        state.counters["cpu_share_pct"] = 100.0 * cpu / wall;
        state.counters["process_cpu_share_pct"] = 100.0 * process / wall;
        state.counters["pairs_sent"] = static_cast<double>(sim.pairsSent() - pairs_start);
        state.counters["pairs_parsed"] = static_cast<double>(form->diagnostics().t() - t_start);
    }
    form->diagnostics().readingRecorder().stop();
}
BENCHMARK(BM_Stream500PairsCpu)->Apply(one_timed_run_with_and_without_recording);

void BM_RecordPair(benchmark::State& state) {
    application();
    QTemporaryDir sysfs;
    QTemporaryDir files;
    auto form = diagnostics_window(sysfs);
    DADOV::ReadingRecorder& recorder = form->diagnostics().readingRecorder();
    if (!recorder.start(files.filePath(QStringLiteral("pairs.csv")))) {
        state.SkipWithError("cannot record");
        return;
    }
    int k = 0;
    for (auto _ : state) {
        recorder.pair(1, 2500 + (k & 511), 2490 - (k & 255));
        if (++k % 10 == 0)
            recorder.motorCurrent(4.22);
    }
    recorder.stop();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecordPair);

void BM_Recording500PairsCpu(benchmark::State& state) {
    application();
    const auto run = std::chrono::seconds(state.range(0));
    QTemporaryDir sysfs;
    QTemporaryDir files;
    auto form = diagnostics_window(sysfs);
    DADOV::ReadingRecorder& recorder = form->diagnostics().readingRecorder();
    if (state.range(1) != 0 && !recorder.start(files.filePath(QStringLiteral("pairs.csv")))) {
        state.SkipWithError("cannot record");
        return;
    }
    long long pairs = 0;
    QTimer feed;
    feed.setTimerType(Qt::PreciseTimer);
    feed.setInterval(10);
    QObject::connect(&feed, &QTimer::timeout, [&] {
        for (int i = 0; i < 5; ++i, ++pairs) {
            recorder.pair(1, 2500 + static_cast<int>(pairs & 511), 2490);
            if (pairs % 10 == 0)
                recorder.motorCurrent(4.22);
        }
    });
    for (auto _ : state) {
        const long long pairs_start = pairs;
        const double cpu_start = process_cpu_seconds();
        const auto wall_start = std::chrono::steady_clock::now();
        feed.start();
        QEventLoop loop;
        QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(run), &loop,
                           &QEventLoop::quit);
        loop.exec();
        feed.stop();
        const double cpu = process_cpu_seconds() - cpu_start;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
        state.SetIterationTime(wall);
        state.counters["cpu_share_pct"] = 100.0 * cpu / wall;
        state.counters["pairs_per_s"] = static_cast<double>(pairs - pairs_start) / wall;
    }
    recorder.stop();
}
BENCHMARK(BM_Recording500PairsCpu)->Apply(one_timed_run_with_and_without_recording);

} // namespace
