#pragma once

// The Diagnostics page: the live TPS readings on bars and labels, the motor current, the strip chart with
// its pair, freeze, scroll speed and right-click menu, the timed capture with its countdown, and the
// diagnostic text in textBox2. It owns the live data: the reply parser hands it the readings.

#include "pages/page_context.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace DADOV {

class PaintThrottle;
class ReadingRecorder;
class StripChart;
class StripChartView;

class DiagnosticsPage : public QObject {
    Q_OBJECT

public:
    explicit DiagnosticsPage(const PageContext& context, QObject* parent = nullptr);
    ~DiagnosticsPage() override;

    // The live data and the chart's state.
    int volts1() const { return _volts1; }                  // last TPS1 reading in mV
    int volts2() const { return _volts2; }                  // last TPS2 reading in mV
    double current_volts() const { return _current_volts; } // last motor-current sense voltage
    double current() const { return _current; }             // last motor current in amps, truncated to 0.01
    double peak_curr() const { return _peak_curr; }         // highest current since the last reset
    int t() const { return _t; }                            // TPS2 samples since the last chart reset
    int s() const { return _s; }                            // chart window in samples
    int count() const { return _count; } // countdown value; the countdown bar shows count - 1
    bool MyTimerEnable() const { return _MyTimerEnable; } // countdown running
    int tickcount() const { return _tickcount; }          // timer ticks since the last countdown step
    int TB() const { return _TB; } // charted pair: 0 TPS1A/TPS2A, 1 TPS1B/TPS2B, 2 TPS1A/TPS1B
    bool streaming_enabled() const { return _streaming_enabled; } // the stream was last started

    static constexpr int countdown_start = 16; // count at program start and after each capture

    // The chart (across: sample index, 0 to s; up: millivolts on both sides), its collected points, the
    // paint throttle of the stream's displays and the recorder of the readings.
    StripChartView& chartView() const;
    StripChart& stripChart() const { return *_stripChart; }
    PaintThrottle& paintThrottle() const { return *_paintThrottle; }
    ReadingRecorder& readingRecorder() const { return *_readingRecorder; }

    // The pause on the window thread after the streaming commands, in ms (replaced by tests).
    std::function<void(int)> streamingPause;

    // Refresh while the page is shown: the countdown steps and the "V2 Unit" selection.
    void diagnostics_page_refresh();
    // Entry of the page (the page actions): reset its displays, select the B signals, start streaming.
    void diagnostics_page_entry();
    // While no controller is attached: the displays of its data blank, the chart empty.
    void not_attached_reset();

    // From the reply parser.
    void take_tps1_reading(const QString& line);
    void take_tps2_reading(const QString& line); // shown and charted against the last TPS1 reading
    void take_amps_reading(const QString& line);
    void take_diagnostic_text(const QString& line);
    void take_loop_rate(const QString& line);
    void secondary_body_follows();  // "sec"
    void diagnostic_text_follows(); // "3"
    void capture_starts();          // "star"

    // The page's controls' handlers, and one step of the capture's countdown.
    void button5_Click();
    void button7_Click();
    void button8_Click();
    void numericUpDown1_ValueChanged();
    void button18_Click();
    void button19_Click();
    void button22_Click();
    void button23_Click();
    void button25_Click();
    void button26_Click();
    void button6_Click();
    void button24_Click();
    void button17_Click();
    void MyTimer();

private:
    void setup_chart();
    void connect_handlers();
    // The TPS read-outs blank: labels 3, 4 and 9 empty, their three bars at 0.
    void blank_readouts();
    // The chart emptied, its time back at 0, and the sums' read-outs blank; a frozen chart stays frozen.
    void clear_capture_displays();
    // The motor current starts afresh: no current, no peak.
    void reset_current_readings();
    void show_sum();
    void show_pair_b_captions();
    void select_pair(int pair, QLatin1String pair_command);
    bool show_tps_readings();
    void chart_tps_readings();

    PageContext _context;
    Ui::Form1& ui;

    int _volts1 = 0;
    int _volts2 = 0;
    double _current_volts = 0.0;
    double _current = 0.0;
    double _peak_curr = 0.0;
    int _t = 0;
    int _s = 500;
    int _count = countdown_start;
    bool _MyTimerEnable = false;
    int _tickcount = 0;
    int _TB = 1;
    bool _streaming_enabled = true;

    std::unique_ptr<StripChart> _stripChart;
    std::unique_ptr<PaintThrottle> _paintThrottle;
    std::shared_ptr<ReadingRecorder> _readingRecorder;
};

} // namespace DADOV
