// The Diagnostics page: live readings, the strip chart and timed captures.

#include "app/form1.h"
#include "app/text_box.h"
#include "logging/guarded.h"
#include "pages/chart_menu.h"
#include "pages/crossover.h"
#include "pages/paint_throttle.h"
#include "pages/strip_chart.h"
#include "protocol/commands.h"
#include "protocol/modes.h"
#include "protocol/state.h"
#include "ui_form1.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QValueAxis>

namespace DADOV {

namespace {

// The fixed pause around the streaming commands: the controller is given time to switch.
constexpr int streaming_pause_ms = 100;
// A countdown step comes every 31 ticks of timer1.
constexpr int ticks_per_countdown_step = 30;

const QString two_blanks = QStringLiteral("  ");

// A page handler as a guarded slot whose changes reach the screen at once: the stream's displays are
// let go first (a hidden display that is held stays on screen), and the handler's changes are painted
// before the next line comes (not after a handler that failed).
template <typename F> auto painted_slot(Form1& form, const char* name, F handler) {
    return guarded(lcPages(), name, [&form, handler]() {
        form.paintThrottle->release();
        handler();
        PaintThrottle::paint_pending(form.window());
    });
}

// The sum of the pair: its bar, its value and its caption. Hidden for TPS1A and TPS1B, whose sum means
// nothing, and while the stream is stopped.
void show_sum(Ui::Form1& ui) {
    ui.progressBar3->show();
    ui.label9->show();
    ui.label5->show();
}

} // namespace

void Form1::connect_diagnostics_page() {
    stripChart = std::make_shared<StripChart>(seriesTPS1, seriesTPS2);
    paintThrottle = std::make_shared<PaintThrottle>();
    install_chart_tools(*this);

    connect(ui->button5, &QPushButton::clicked, this,
            painted_slot(*this, "button5_Click", [this] { button5_Click(); }));
    connect(ui->button7, &QPushButton::clicked, this,
            painted_slot(*this, "button7_Click", [this] { button7_Click(); }));
    connect(ui->button8, &QPushButton::clicked, this,
            painted_slot(*this, "button8_Click", [this] { button8_Click(); }));
    connect(ui->numericUpDown1, &QSpinBox::valueChanged, this,
            painted_slot(*this, "numericUpDown1_ValueChanged", [this] { numericUpDown1_ValueChanged(); }));
    connect(ui->button18, &QPushButton::clicked, this,
            painted_slot(*this, "button18_Click", [this] { button18_Click(); }));
    connect(ui->button19, &QPushButton::clicked, this,
            painted_slot(*this, "button19_Click", [this] { button19_Click(); }));
    connect(ui->button22, &QPushButton::clicked, this,
            painted_slot(*this, "button22_Click", [this] { button22_Click(); }));
    connect(ui->button23, &QPushButton::clicked, this,
            painted_slot(*this, "button23_Click", [this] { button23_Click(); }));
    connect(ui->button25, &QPushButton::clicked, this,
            painted_slot(*this, "button25_Click", [this] { button25_Click(); }));
    connect(ui->button26, &QPushButton::clicked, this,
            painted_slot(*this, "button26_Click", [this] { button26_Click(); }));
    connect(ui->button6, &QPushButton::clicked, this,
            painted_slot(*this, "button6_Click", [this] { button6_Click(); }));
    connect(ui->button24, &QPushButton::clicked, this,
            painted_slot(*this, "button24_Click", [this] { button24_Click(); }));
    connect(ui->button17, &QPushButton::clicked, this,
            painted_slot(*this, "button17_Click", [this] { button17_Click(); }));
}

// "Reset Chart": an empty chart that draws again.
void Form1::button5_Click() {
    clear_capture_displays();
    stripChart->resume();
}

// "Freeze Chart": the chart stops drawing; the last readings are shown beside it.
void Form1::button7_Click() {
    stripChart->suspend();
    QString first;
    QString second;
    switch (TB) {
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
    ui->label16->setText(first + QString::number(volts1) + QStringLiteral(" mv"));
    ui->label17->setText(second + QString::number(volts2) + QStringLiteral(" mv"));
}

// "Resume Chart".
void Form1::button8_Click() {
    stripChart->resume();
    ui->label16->setText(two_blanks);
    ui->label17->setText(two_blanks);
}

// "Scroll Speed": 1 keeps 1000 samples across the chart, 10 keeps 100.
void Form1::numericUpDown1_ValueChanged() {
    s = (11 - ui->numericUpDown1->value()) * 100;
    chartAxisX->setMax(s);
    button5_Click();
}

namespace {

// The captions of pair B, the secondary throttle body's, with its motor-current panel. The sum's display
// comes back only while the stream runs.
void show_pair_b_captions(Form1& form) {
    Ui::Form1& ui = *form.ui;
    ui.label1->setText(QStringLiteral("TPS1B"));
    ui.label2->setText(QStringLiteral("TPS2B"));
    ui.label5->setText(QStringLiteral("TPS1B + TPS2B"));
    if (streaming_enabled)
        show_sum(ui);
    ui.panel1->show();
    ui.label31->setText(QStringLiteral("Data From Secondary Throttle Body"));
}

// What every pair choice does after its captions: the current readings and the page's messages start
// afresh, the controller is told the pair, and the chart starts over.
void select_pair(Form1& form, int pair, QLatin1String pair_command) {
    TB = pair;
    peak_curr = 0;
    current = 0;
    form.ui->textBox2->clear();
    form.ui->label15->setText(no_convergence);
    DADOV::x = MODE_IDLE;
    form.serialPort1.write(pair_command);
    form.button5_Click();
}

} // namespace

// "TPS1A  TPS2A": the primary throttle body's pair.
void Form1::button18_Click() {
    ui->label1->setText(QStringLiteral("TPS1A"));
    ui->label2->setText(QStringLiteral("TPS2A"));
    ui->label5->setText(QStringLiteral("TPS1A + TPS2A"));
    ui->label31->setText(QStringLiteral("Data From Primary Throttle Body"));
    if (streaming_enabled)
        show_sum(*ui);
    ui->panel1->hide();
    select_pair(*this, 0, command::stream_pair_a);
}

// "TPS1B  TPS2B": the secondary throttle body's pair, with its motor current.
void Form1::button19_Click() {
    show_pair_b_captions(*this);
    select_pair(*this, 1, command::stream_pair_b);
}

// "TPS1A  TPS1B": TPS1 of both bodies; their sum means nothing and is hidden.
void Form1::button22_Click() {
    ui->label1->setText(QStringLiteral("TPS1A"));
    ui->label2->setText(QStringLiteral("TPS1B"));
    ui->label5->hide();
    ui->progressBar3->hide();
    ui->label9->hide();
    ui->label31->setText(QStringLiteral("Data From TPS1 Primary and TPS1 Secondary"));
    ui->panel1->hide();
    select_pair(*this, 2, command::stream_tps1_ab);
}

// "Start Data Streaming".
void Form1::button23_Click() {
    serialPort1.write(command::start_stream);
    streamingPause(streaming_pause_ms);
    for (QWidget* w : {static_cast<QWidget*>(ui->progressBar1), static_cast<QWidget*>(ui->progressBar2),
                       static_cast<QWidget*>(ui->label1), static_cast<QWidget*>(ui->label2),
                       static_cast<QWidget*>(ui->label3), static_cast<QWidget*>(ui->label4),
                       static_cast<QWidget*>(ui->label31)})
        w->show();
    if (TB != 2)
        show_sum(*ui);
    streaming_enabled = true;
}

// "Stop Data Streaming": the displays go away until the stream starts again.
void Form1::button25_Click() {
    serialPort1.write(command::stop_stream);
    streamingPause(streaming_pause_ms);
    current_volts = 0;
    for (QWidget* w : {static_cast<QWidget*>(ui->progressBar1), static_cast<QWidget*>(ui->label4),
                       static_cast<QWidget*>(ui->label3), static_cast<QWidget*>(ui->label1),
                       static_cast<QWidget*>(ui->label2), static_cast<QWidget*>(ui->label5),
                       static_cast<QWidget*>(ui->label31), static_cast<QWidget*>(ui->progressBar2),
                       static_cast<QWidget*>(ui->progressBar3), static_cast<QWidget*>(ui->label9)})
        w->hide();
    ui->label45->clear();
    ui->label46->clear();
    ui->progressBar4->setValue(DADOV::count - 1);
    ui->label13->clear();
    button5_Click();
    DADOV::x = MODE_IDLE;
    streaming_enabled = false;
}

// "Start": a timed capture.
void Form1::button26_Click() {
    serialPort1.write(command::timed_capture);
    if (TB != 2)
        show_sum(*ui);
}

// "Start" beneath the text area: reset the page's read-outs, then a timed capture. The chart is emptied
// but not released from a freeze.
void Form1::button6_Click() {
    DADOV::x = MODE_IDLE;
    ui->textBox2->clear();
    blank_readouts();
    ui->label45->clear();
    ui->label46->clear();
    peak_curr = 0;
    ui->progressBar4->setValue(15);
    ui->label13->clear();
    clear_capture_displays();
    serialPort1.write(command::timed_capture);
}

// "Clear".
void Form1::button24_Click() {
    ui->textBox2->clear();
}

// "Reset" of the peak current. The peak read-out keeps its text until a higher current comes.
void Form1::button17_Click() {
    peak_curr = 0;
}

void Form1::blank_readouts() {
    ui->label3->clear();
    ui->label4->clear();
    ui->label9->clear();
    ui->progressBar1->setValue(0);
    ui->progressBar2->setValue(0);
    ui->progressBar3->setValue(0);
}

// The chart emptied, its time back at 0, and the sums' read-outs blank. A frozen chart stays frozen.
void Form1::clear_capture_displays() {
    ui->label16->setText(two_blanks);
    ui->label17->setText(two_blanks);
    t = 0;
    stripChart->clear();
    ui->label15->setText(no_convergence);
}

// One step of the timed capture's countdown; at 0 the capture is over and the chart draws it.
void Form1::MyTimer() {
    DADOV::count = DADOV::count - 1;
    ui->label13->setText(QString::number(DADOV::count) + QStringLiteral(" Countdown Timer"));
    ui->progressBar4->setValue(DADOV::count);
    if (DADOV::count == 0) {
        ui->textBox2->clear();
        DADOV::count = countdown_start;
        MyTimerEnable = false;
        tickcount = 0;
        stripChart->resume();
    }
}

// Diagnostics page refresh: the countdown steps and the "V2 Unit" selection.
void Form1::diagnostics_page_refresh() {
    if (MyTimerEnable) {
        ++tickcount;
        if (tickcount > ticks_per_countdown_step) {
            MyTimer();
            tickcount = 0;
        }
    }
    ui->radioButton1->setChecked(true);
}

// Entry of the Diagnostics page: reset its displays, select the B signals, start streaming.
void Form1::diagnostics_page_entry() {
    paintThrottle->release();
    ui->textBox2->clear();
    current = 0;
    current_volts = 0;

    blank_readouts();
    ui->label45->setText(QStringLiteral("0"));
    ui->label46->setText(QStringLiteral("0"));
    peak_curr = 0;

    ui->progressBar4->setValue(DADOV::count - 1);
    ui->label13->clear();
    clear_capture_displays();

    show_pair_b_captions(*this);
    ui->textBox2->clear();
    TB = 1;

    performClick(ui->button19);
    streamingPause(streaming_pause_ms);
    performClick(ui->button23);
}

} // namespace DADOV
