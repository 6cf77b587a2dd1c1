// The Diagnostics page: live readings, the strip chart and timed captures.

#include "pages/diagnostics_page.h"

#include "link/serial_link.h"
#include "logging/guarded.h"
#include "pages/chart_menu.h"
#include "pages/crossover.h"
#include "pages/paint_throttle.h"
#include "pages/reading_recorder.h"
#include "pages/strip_chart.h"
#include "protocol/commands.h"
#include "protocol/modes.h"
#include "protocol/reply_parser.h"
#include "ui_form1.h"
#include "widgets/strip_chart_view.h"
#include "widgets/text_box.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QThread>

#include <optional>

namespace DADOV {

namespace {

// The fixed pause around the streaming commands: the controller is given time to switch.
constexpr int streaming_pause_ms = 100;
// A countdown step comes every 31 ticks of timer1.
constexpr int ticks_per_countdown_step = 30;

const QString two_blanks = QStringLiteral("  ");

// Empties a read-out. A label that is empty already is left alone: clearing it anew would lay out the page
// again, and the reset while no controller is attached comes every 30 ms.
void clear_label(QLabel* label) {
    if (!label->text().isEmpty())
        label->clear();
}
const QString mv_suffix = QStringLiteral(" mv");
const QString line_end = QStringLiteral("\r\n");

// A page handler as a guarded slot whose changes reach the screen at once: the stream's displays are
// let go first (a hidden display that is held stays on screen), and the handler's changes are painted
// before the next line comes (not after a handler that failed).
template <typename F>
auto painted_slot(PaintThrottle& throttle, QWidget& window, const char* name, F handler) {
    return guarded(lcPages(), name, [&throttle, &window, handler]() {
        throttle.release();
        handler();
        PaintThrottle::paint_pending(&window);
    });
}

} // namespace

DiagnosticsPage::DiagnosticsPage(const PageContext& context, QObject* parent)
    : QObject(parent), streamingPause([](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); }),
      _context(context), ui(context.ui) {
    // Blank value displays (blank-only texts do not survive the form file).
    ui.label16->setText(QStringLiteral("    "));
    ui.label17->setText(QStringLiteral("    "));
    _stripChart = std::make_unique<StripChart>();
    setup_chart();
    _paintThrottle = std::make_unique<PaintThrottle>();
    // The chart is drawn with the readings beside it: one paint of the window per interval.
    _stripChart->setPacer([this] { _paintThrottle->schedule(&chartView()); });
    connect(_paintThrottle.get(), &PaintThrottle::releasing, _stripChart.get(), &StripChart::flush);
    _readingRecorder = std::make_shared<ReadingRecorder>(chartView(), _context.window, _context.shell);
    install_chart_menu(*this, _context.window, _context.shell, _readingRecorder);
    connect_handlers();
}

// The chart shows the StripChart's lists, which go with the page.
DiagnosticsPage::~DiagnosticsPage() {
    chartView().clearSeries();
}

StripChartView& DiagnosticsPage::chartView() const {
    return *ui.chart1;
}

// The strip chart: two series plotted by sample index, 0 to 500 across, 0 to 5000 mV up, drawn from the
// readings the StripChart keeps.
void DiagnosticsPage::setup_chart() {
    StripChartView& view = chartView();
    view.addSeries(QStringLiteral("TPS1"), Qt::black, &_stripChart->drawnPoints(StripChart::TPS1));
    view.addSeries(QStringLiteral("TPS2"), Qt::magenta, &_stripChart->drawnPoints(StripChart::TPS2));
    view.setXRange(0, _s);
    view.setYRange(0, 5000, 6);
    view.setYTitle(QStringLiteral("mV"));
    connect(_stripChart.get(), &StripChart::drawnChanged, &view, &StripChartView::linesChanged);
}

void DiagnosticsPage::connect_handlers() {
    const auto slot = [this](const char* name, auto handler) {
        return painted_slot(*_paintThrottle, _context.window, name, handler);
    };
    connect_page_handlers<QAbstractButton>(this, &QAbstractButton::clicked, slot,
                                           {{ui.button5, "button5_Click", &DiagnosticsPage::button5_Click},
                                            {ui.button7, "button7_Click", &DiagnosticsPage::button7_Click},
                                            {ui.button8, "button8_Click", &DiagnosticsPage::button8_Click}});
    connect_page_handlers<QSpinBox>(
        this, &QSpinBox::valueChanged, slot,
        {{ui.numericUpDown1, "numericUpDown1_ValueChanged", &DiagnosticsPage::numericUpDown1_ValueChanged}});
    connect_page_handlers<QAbstractButton>(
        this, &QAbstractButton::clicked, slot,
        {{ui.button18, "button18_Click", &DiagnosticsPage::button18_Click},
         {ui.button19, "button19_Click", &DiagnosticsPage::button19_Click},
         {ui.button22, "button22_Click", &DiagnosticsPage::button22_Click},
         {ui.button23, "button23_Click", &DiagnosticsPage::button23_Click},
         {ui.button25, "button25_Click", &DiagnosticsPage::button25_Click},
         {ui.button26, "button26_Click", &DiagnosticsPage::button26_Click},
         {ui.button6, "button6_Click", &DiagnosticsPage::button6_Click},
         {ui.button24, "button24_Click", &DiagnosticsPage::button24_Click},
         {ui.button17, "button17_Click", &DiagnosticsPage::button17_Click}});
}

// "Reset Chart": an empty chart that draws again.
void DiagnosticsPage::button5_Click() {
    clear_capture_displays();
    _stripChart->resume();
}

// "Freeze Chart": the chart stops drawing; the last readings are shown beside it.
void DiagnosticsPage::button7_Click() {
    _stripChart->suspend();
    QString first;
    QString second;
    switch (_TB) {
    case 0:
        first = QStringLiteral("TPS1A= ");
        second = QStringLiteral("TPS2A= ");
        break;
    case 1:
        first = QStringLiteral("TPS1B= ");
        second = QStringLiteral("TPS2B= ");
        break;
    case 2:
        first = QStringLiteral("TPS1A= ");
        second = QStringLiteral("TPS1B= ");
        break;
    default:
        return;
    }
    ui.label16->setText(first + QString::number(_volts1) + QStringLiteral(" mv"));
    ui.label17->setText(second + QString::number(_volts2) + QStringLiteral(" mv"));
}

// "Resume Chart".
void DiagnosticsPage::button8_Click() {
    _stripChart->resume();
    ui.label16->setText(two_blanks);
    ui.label17->setText(two_blanks);
}

// "Scroll Speed": 1 keeps 1000 samples across the chart, 10 keeps 100.
void DiagnosticsPage::numericUpDown1_ValueChanged() {
    _s = (11 - ui.numericUpDown1->value()) * 100;
    chartView().setXRange(0, _s);
    button5_Click();
}

// The captions of pair B, the secondary throttle body's, with its motor-current panel. The sum's display
// comes back only while the stream runs.
void DiagnosticsPage::show_pair_b_captions() {
    ui.label1->setText(QStringLiteral("TPS1B"));
    ui.label2->setText(QStringLiteral("TPS2B"));
    ui.label5->setText(QStringLiteral("TPS1B + TPS2B"));
    if (_streaming_enabled)
        show_sum();
    ui.panel1->show();
    ui.label31->setText(QStringLiteral("Data From Secondary Throttle Body"));
}

// What every pair choice does after its captions: the current readings and the page's messages start
// afresh, the controller is told the pair, and the chart starts over.
void DiagnosticsPage::select_pair(int pair, QLatin1String pair_command) {
    _TB = pair;
    reset_current_readings();
    ui.textBox2->clear();
    ui.label15->setText(no_convergence);
    _context.mode.set_mode(MODE_IDLE);
    _context.link.write(pair_command);
    button5_Click();
}

// "TPS1A  TPS2A": the primary throttle body's pair.
void DiagnosticsPage::button18_Click() {
    ui.label1->setText(QStringLiteral("TPS1A"));
    ui.label2->setText(QStringLiteral("TPS2A"));
    ui.label5->setText(QStringLiteral("TPS1A + TPS2A"));
    ui.label31->setText(QStringLiteral("Data From Primary Throttle Body"));
    if (_streaming_enabled)
        show_sum();
    ui.panel1->hide();
    select_pair(0, command::stream_pair_a);
}

// "TPS1B  TPS2B": the secondary throttle body's pair, with its motor current.
void DiagnosticsPage::button19_Click() {
    show_pair_b_captions();
    select_pair(1, command::stream_pair_b);
}

// "TPS1A  TPS1B": TPS1 of both bodies; their sum means nothing and is hidden.
void DiagnosticsPage::button22_Click() {
    ui.label1->setText(QStringLiteral("TPS1A"));
    ui.label2->setText(QStringLiteral("TPS1B"));
    ui.label5->hide();
    ui.progressBar3->hide();
    ui.label9->hide();
    ui.label31->setText(QStringLiteral("Data From TPS1 Primary and TPS1 Secondary"));
    ui.panel1->hide();
    select_pair(2, command::stream_tps1_ab);
}

// "Start Data Streaming".
void DiagnosticsPage::button23_Click() {
    _context.link.write(command::start_stream);
    streamingPause(streaming_pause_ms);
    for (QWidget* w : {static_cast<QWidget*>(ui.progressBar1), static_cast<QWidget*>(ui.progressBar2),
                       static_cast<QWidget*>(ui.label1), static_cast<QWidget*>(ui.label2),
                       static_cast<QWidget*>(ui.label3), static_cast<QWidget*>(ui.label4),
                       static_cast<QWidget*>(ui.label31)})
        w->show();
    if (_TB != 2)
        show_sum();
    _streaming_enabled = true;
}

// "Stop Data Streaming": the displays go away until the stream starts again.
void DiagnosticsPage::button25_Click() {
    _context.link.write(command::stop_stream);
    streamingPause(streaming_pause_ms);
    _current_volts = 0;
    for (QWidget* w : {static_cast<QWidget*>(ui.progressBar1), static_cast<QWidget*>(ui.label4),
                       static_cast<QWidget*>(ui.label3), static_cast<QWidget*>(ui.label1),
                       static_cast<QWidget*>(ui.label2), static_cast<QWidget*>(ui.label5),
                       static_cast<QWidget*>(ui.label31), static_cast<QWidget*>(ui.progressBar2),
                       static_cast<QWidget*>(ui.progressBar3), static_cast<QWidget*>(ui.label9)})
        w->hide();
    ui.label45->clear();
    ui.label46->clear();
    ui.progressBar4->setValue(_count - 1);
    ui.label13->clear();
    button5_Click();
    _context.mode.set_mode(MODE_IDLE);
    _streaming_enabled = false;
}

// "Start": a timed capture.
void DiagnosticsPage::button26_Click() {
    _context.link.write(command::timed_capture);
    if (_TB != 2)
        show_sum();
}

// "Start" beneath the text area: reset the page's read-outs, then a timed capture. The chart is emptied
// but not released from a freeze.
void DiagnosticsPage::button6_Click() {
    _context.mode.set_mode(MODE_IDLE);
    ui.textBox2->clear();
    blank_readouts();
    ui.label45->clear();
    ui.label46->clear();
    _peak_curr = 0;
    ui.progressBar4->setValue(15);
    ui.label13->clear();
    clear_capture_displays();
    _context.link.write(command::timed_capture);
}

// "Clear".
void DiagnosticsPage::button24_Click() {
    ui.textBox2->clear();
}

// "Reset" of the peak current. The peak read-out keeps its text until a higher current comes.
void DiagnosticsPage::button17_Click() {
    _peak_curr = 0;
}

void DiagnosticsPage::blank_readouts() {
    _paintThrottle->release();
    clear_label(ui.label3);
    clear_label(ui.label4);
    clear_label(ui.label9);
    ui.progressBar1->setValue(0);
    ui.progressBar2->setValue(0);
    ui.progressBar3->setValue(0);
}

// The chart emptied, its time back at 0, and the sums' read-outs blank. A frozen chart stays frozen.
void DiagnosticsPage::clear_capture_displays() {
    ui.label16->setText(two_blanks);
    ui.label17->setText(two_blanks);
    _t = 0;
    _stripChart->clear();
    ui.label15->setText(no_convergence);
}

// One step of the timed capture's countdown; at 0 the capture is over and the chart draws it.
void DiagnosticsPage::MyTimer() {
    _paintThrottle->release();
    _count = _count - 1;
    ui.label13->setText(QString::number(_count) + QStringLiteral(" Countdown Timer"));
    ui.progressBar4->setValue(_count);
    if (_count == 0) {
        ui.textBox2->clear();
        _count = countdown_start;
        _MyTimerEnable = false;
        _tickcount = 0;
        _stripChart->resume();
    }
}

// Diagnostics page refresh: the countdown steps and the "V2 Unit" selection.
void DiagnosticsPage::diagnostics_page_refresh() {
    if (_MyTimerEnable) {
        ++_tickcount;
        if (_tickcount > ticks_per_countdown_step) {
            MyTimer();
            _tickcount = 0;
        }
    }
    ui.radioButton1->setChecked(true);
}

// Entry of the Diagnostics page: reset its displays, select the B signals, start streaming.
void DiagnosticsPage::diagnostics_page_entry() {
    _paintThrottle->release();
    ui.textBox2->clear();
    reset_current_readings();
    _current_volts = 0;

    blank_readouts();
    ui.label45->setText(QStringLiteral("0"));
    ui.label46->setText(QStringLiteral("0"));

    ui.progressBar4->setValue(_count - 1);
    ui.label13->clear();
    clear_capture_displays();

    show_pair_b_captions();
    ui.textBox2->clear();
    _TB = 1;

    ui.TabControl1->performClick(ui.button19);
    streamingPause(streaming_pause_ms);
    ui.TabControl1->performClick(ui.button23);
}

// The sum of the pair: its bar, its value and its caption. Hidden for TPS1A and TPS1B, whose sum means
// nothing, and while the stream is stopped.
void DiagnosticsPage::show_sum() {
    ui.progressBar3->show();
    ui.label9->show();
    ui.label5->show();
}

void DiagnosticsPage::reset_current_readings() {
    _peak_curr = 0;
    _current = 0;
}

void DiagnosticsPage::not_attached_reset() {
    blank_readouts();
    ui.textBox2->clear();
    clear_label(ui.label45);
    clear_label(ui.label41);
    _stripChart->clearNow();
    ui.label15->setText(no_convergence);
    reset_current_readings();
    _current_volts = 0;
    clear_label(ui.label46);
    ui.radioButton1->setChecked(true);
}

// "sec": the data that follows comes from the secondary throttle body; its current starts afresh.
void DiagnosticsPage::secondary_body_follows() {
    _paintThrottle->release();
    ui.label31->setText(QStringLiteral("Data From Secondary Throttle Body"));
    reset_current_readings();
    ui.label45->clear();
    ui.label46->clear();
    ui.label15->setText(no_convergence);
}

// "3": diagnostic text follows.
void DiagnosticsPage::diagnostic_text_follows() {
    ui.textBox2->clear();
    blank_readouts();
}

// "star": a timed capture starts; the chart collects it without drawing until the countdown ends.
void DiagnosticsPage::capture_starts() {
    _MyTimerEnable = true;
    _stripChart->suspend();
    // The capture fills a fresh window: with the old count a full window would go on scrolling, and each
    // reading would replace the one before it.
    _stripChart->clear();
    _t = 0;
    ui.label16->setText(QStringLiteral("    "));
    ui.label17->setText(QStringLiteral("    "));
}

void DiagnosticsPage::take_diagnostic_text(const QString& line) {
    ui.textBox2->AppendText(line + line_end);
}

void DiagnosticsPage::take_loop_rate(const QString& line) {
    ui.label41->setText(line);
}

namespace {

bool in_range(int value, const QProgressBar* bar) {
    return value >= bar->minimum() && value <= bar->maximum();
}

// The displays a stream changes are painted at most once per throttle interval. (QProgressBar::setValue
// by itself repaints at once whenever the bar moves by a few pixels.)
// A reading in millivolts on its bar and its label; false, with nothing changed, when the bar cannot take
// it.
bool show_reading(PaintThrottle& throttle, QProgressBar* bar, QLabel* label, int mv) {
    if (!in_range(mv, bar))
        return false;
    throttle.show(bar, mv);
    throttle.show(label, QString::number(mv) + mv_suffix);
    return true;
}

} // namespace

// The pair's bars and labels, their sum, then the countdown bar. A bar takes only values in its range: a
// reading outside it ends the line there.
bool DiagnosticsPage::show_tps_readings() {
    PaintThrottle& throttle = *_paintThrottle;
    if (!show_reading(throttle, ui.progressBar1, ui.label3, _volts1) ||
        !show_reading(throttle, ui.progressBar2, ui.label4, _volts2) ||
        !show_reading(throttle, ui.progressBar3, ui.label9, _volts1 + _volts2))
        return false;
    if (!in_range(_count - 1, ui.progressBar4))
        return false;
    throttle.show(ui.progressBar4, _count - 1);
    return true;
}

// The strip chart fills up to its window, then scrolls. Zero readings are not charted.
void DiagnosticsPage::chart_tps_readings() {
    const bool scrolling = _t >= _s;
    for (const auto& [reading, series] :
         {std::pair{_volts1, StripChart::TPS1}, std::pair{_volts2, StripChart::TPS2}}) {
        if (reading == 0)
            continue;
        if (scrolling)
            _stripChart->removeOldest(series);
        _stripChart->append(series, reading);
    }
}

void DiagnosticsPage::take_tps1_reading(const QString& line) {
    if (const std::optional<int> count_read = parse_integer_reading(line)) {
        if (const std::optional<int> mv = count_to_millivolts(*count_read))
            _volts1 = *mv;
    }
}

void DiagnosticsPage::take_tps2_reading(const QString& line) {
    const std::optional<int> count_read = parse_integer_reading(line);
    if (!count_read)
        return;
    const std::optional<int> mv = count_to_millivolts(*count_read);
    if (!mv)
        return;
    _volts2 = *mv;
    _readingRecorder->pair(_TB, _volts1, _volts2);
    if (!show_tps_readings())
        return;
    chart_tps_readings();

    if (_volts1 / 10 == _volts2 / 10)
        ui.label15->setText(QString::number(_volts2 / 10) + QStringLiteral("0 mv (rounded down to 10mV)"));

    ++_t;
    if (_t > 32000)
        ui.TabControl1->performClick(ui.button5);
}

// The motor-current sense voltage: the current for the unit shown, and its peak. One line only.
void DiagnosticsPage::take_amps_reading(const QString& line) {
    _context.mode.set_mode(MODE_IDLE);
    PaintThrottle& throttle = *_paintThrottle;
    throttle.show(ui.label45, QString());
    const bool v2_unit = ui.radioButton1->isChecked();
    // A sense voltage whose current cannot be shown is no number either.
    if (const std::optional<double> volts = parse_sense_voltage(line);
        volts && motor_current(*volts, v2_unit))
        _current_volts = *volts;
    const std::optional<double> amps = motor_current(_current_volts, v2_unit);
    if (!amps)
        return;
    _current = *amps;
    _readingRecorder->motorCurrent(_current);
    const QString text = current_text(_current);
    throttle.show(ui.label45, text);
    if (_current > _peak_curr) {
        _peak_curr = _current;
        throttle.show(ui.label46, text);
    }
}

} // namespace DADOV
