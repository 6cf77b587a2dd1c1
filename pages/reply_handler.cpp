// The window's side of the reply parser: every line the controller sends. A line is a keyword, which sets
// the mode or makes the tool answer a request at once, or a data line, which the current mode gives its
// meaning. Which line is a keyword and what its numbers are is decided in protocol/reply_parser.h; here
// the lines reach the controls, the chart and the wire.

#include "app/form1.h"
#include "app/text_box.h"
#include "pages/crossover.h"
#include "pages/paint_throttle.h"
#include "pages/reading_recorder.h"
#include "pages/strip_chart.h"
#include "protocol/modes.h"
#include "protocol/reply_parser.h"
#include "protocol/state.h"
#include "ui_form1.h"

#include <QByteArray>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

#include <algorithm>
#include <iterator>
#include <optional>

namespace DADOV {

namespace {

const QString mv_suffix = QStringLiteral(" mv");
const QString line_end = QStringLiteral("\r\n");

QByteArray decimal(int value) {
    return QByteArray::number(value);
}

// The requests of a settings exchange: the controller asks for a value and the tool sends it at once, as
// decimal text without a terminator (the failsafe mask as one raw byte). The box that the exchange's text
// will fill is emptied first, or given its heading, and the lines that follow are taken as settings text.
struct Request {
    Keyword keyword;
    TextBox* Ui::Form1::*box; // null: no box is touched
    const char* heading;      // the box's new text; null: the box is emptied
    QByteArray (*answer)(Form1& form);
};

const Request requests[] = {
    {Keyword::Curr, &Ui::Form1::textBox6, nullptr,
     [](Form1& form) {
         C = form.ui->trackBar4->value();
         return decimal(C);
     }},
    {Keyword::Accel, &Ui::Form1::textBox6, nullptr,
     [](Form1& form) {
         A = form.ui->trackBar5->value();
         return decimal(A);
     }},
    {Keyword::Integ, &Ui::Form1::textBox6, nullptr, [](Form1&) { return decimal(Integ); }},
    {Keyword::Delay, nullptr, nullptr,
     [](Form1& form) {
         delay = 100 - form.ui->trackBar6->value();
         return decimal(delay);
     }},
    {Keyword::Sens, &Ui::Form1::textBox6, nullptr,
     [](Form1& form) { return decimal(form.ui->numericUpDown2->value()); }},
    {Keyword::Fails, &Ui::Form1::textBox6, "For Diagnostic Use Only \r\n \n",
     [](Form1&) { return QByteArray(1, static_cast<char>(failsafes)); }},
    {Keyword::Bypas, &Ui::Form1::textBox1, nullptr,
     [](Form1& form) {
         return decimal(form.ui->checkBox8->isChecked() ? bypass_trigger + 2000 : bypass_trigger);
     }},
    {Keyword::Sectrig, &Ui::Form1::textBox1, nullptr, [](Form1&) { return decimal(secondary_trigger); }},
    {Keyword::Filter, &Ui::Form1::textBox1, nullptr, [](Form1&) { return decimal(samples); }},
    {Keyword::Ramp, &Ui::Form1::textBox1, nullptr, [](Form1&) { return decimal(bypass_ramp_end); }},
    {Keyword::Boost, &Ui::Form1::textBox1, nullptr, [](Form1&) { return decimal(boost_limit); }},
};

const Request* request_of(Keyword keyword) {
    const auto found = std::find_if(std::begin(requests), std::end(requests),
                                    [keyword](const Request& request) { return request.keyword == keyword; });
    return found == std::end(requests) ? nullptr : found;
}

void answer_request(Form1& form, const Request& request) {
    if (request.box != nullptr) {
        TextBox* box = (*form.ui).*request.box;
        if (request.heading != nullptr)
            box->setText(QString::fromLatin1(request.heading));
        else
            box->clear();
    }
    DADOV::x = MODE_SETTINGS;
    form.serialPort1.write(request.answer(form));
}

// "sec": the data that follows comes from the secondary throttle body; its current starts afresh.
void secondary_body_follows(Form1& form) {
    Ui::Form1& ui = *form.ui;
    ui.label31->setText(QStringLiteral("Data From Secondary Throttle Body"));
    peak_curr = 0;
    current = 0;
    ui.label45->clear();
    ui.label46->clear();
    ui.label15->setText(no_convergence);
    DADOV::x = MODE_IDLE;
}

// "newPID": a settings listing follows, in both settings boxes under one heading.
void settings_listing_follows(Form1& form) {
    Ui::Form1& ui = *form.ui;
    ui.textBox6->clear();
    ui.textBox1->clear();
    const QString heading = QStringLiteral("Current Device Settings \r\n");
    ui.textBox6->AppendText(heading);
    ui.textBox6->AppendText(line_end);
    ui.textBox1->AppendText(heading);
    ui.textBox1->AppendText(line_end);
    DADOV::x = MODE_SETTINGS;
}

// "star": a timed capture starts; the chart collects it without drawing until the countdown ends.
void capture_starts(Form1& form) {
    MyTimerEnable = true;
    form.stripChart->suspend();
    // The capture fills a fresh window: with the old count a full window would go on scrolling, and each
    // reading would replace the one before it.
    form.stripChart->clear();
    t = 0;
    form.ui->label16->setText(QStringLiteral("    "));
    form.ui->label17->setText(QStringLiteral("    "));
}

void take_keyword(Form1& form, Keyword keyword) {
    if (const Request* request = request_of(keyword)) {
        answer_request(form, *request);
        return;
    }
    switch (keyword) {
    case Keyword::End:
    case Keyword::Prim:
        DADOV::x = MODE_IDLE;
        return;
    case Keyword::TpsOne:
        DADOV::x = MODE_TPS1;
        return;
    case Keyword::TpsTwo:
        DADOV::x = MODE_TPS2;
        return;
    case Keyword::Amps:
        DADOV::x = MODE_AMPS;
        return;
    case Keyword::Hertz:
        DADOV::x = MODE_HERTZ;
        return;
    case Keyword::Sec:
        secondary_body_follows(form);
        return;
    case Keyword::Three:
        DADOV::x = MODE_DIAG_TEXT;
        form.ui->textBox2->clear();
        form.blank_readouts();
        return;
    // The gain requests: the value alone, no box and no change of mode.
    case Keyword::Four:
        form.serialPort1.write(decimal(P));
        return;
    case Keyword::Five:
        form.serialPort1.write(decimal(I));
        return;
    case Keyword::Six:
        form.serialPort1.write(decimal(D));
        return;
    case Keyword::NewPid:
        settings_listing_follows(form);
        return;
    case Keyword::Dtc:
        form.ui->textBox6->clear();
        DADOV::x = MODE_SETTINGS;
        return;
    case Keyword::Star:
        capture_starts(form);
        return;
    case Keyword::Dummy:
    default: // the requests are answered above
        return;
    }
}

bool in_range(int value, const QProgressBar* bar) {
    return value >= bar->minimum() && value <= bar->maximum();
}

// The displays a stream changes are painted at most once per throttle interval. (QProgressBar::setValue
// by itself repaints at once whenever the bar moves by a few pixels.)
void set_bar(PaintThrottle& throttle, QProgressBar* bar, int value) {
    if (bar->value() == value)
        return;
    throttle.hold(bar);
    bar->setValue(value);
}

void set_label(PaintThrottle& throttle, QLabel* label, const QString& text) {
    if (label->text() == text)
        return;
    throttle.hold(label);
    label->setText(text);
}

// A reading in millivolts on its bar and its label; false, with nothing changed, when the bar cannot take
// it.
bool show_reading(PaintThrottle& throttle, QProgressBar* bar, QLabel* label, int mv) {
    if (!in_range(mv, bar))
        return false;
    set_bar(throttle, bar, mv);
    set_label(throttle, label, QString::number(mv) + mv_suffix);
    return true;
}

// The pair's bars and labels, their sum, then the countdown bar. A bar takes only values in its range: a
// reading outside it ends the line there.
bool show_tps_readings(Form1& form) {
    Ui::Form1& ui = *form.ui;
    PaintThrottle& throttle = *form.paintThrottle;
    if (!show_reading(throttle, ui.progressBar1, ui.label3, volts1) ||
        !show_reading(throttle, ui.progressBar2, ui.label4, volts2) ||
        !show_reading(throttle, ui.progressBar3, ui.label9, volts1 + volts2))
        return false;
    if (!in_range(DADOV::count - 1, ui.progressBar4))
        return false;
    set_bar(throttle, ui.progressBar4, DADOV::count - 1);
    return true;
}

// The strip chart fills up to its window, then scrolls. Zero readings are not charted.
void chart_tps_readings(StripChart& chart) {
    const bool scrolling = t >= s;
    for (const auto& [reading, series] :
         {std::pair{volts1, StripChart::TPS1}, std::pair{volts2, StripChart::TPS2}}) {
        if (reading == 0)
            continue;
        if (scrolling)
            chart.removeOldest(series);
        chart.append(series, reading);
    }
}

void take_tps1_reading(const QString& line) {
    if (const std::optional<int> count_read = parse_integer_reading(line)) {
        if (const std::optional<int> mv = count_to_millivolts(*count_read))
            volts1 = *mv;
    }
}

// A TPS2 reading, shown and charted against the last TPS1 reading.
void take_tps2_reading(Form1& form, const QString& line) {
    const std::optional<int> count_read = parse_integer_reading(line);
    if (!count_read)
        return;
    const std::optional<int> mv = count_to_millivolts(*count_read);
    if (!mv)
        return;
    volts2 = *mv;
    form.readingRecorder->pair(TB, volts1, volts2);
    if (!show_tps_readings(form))
        return;
    chart_tps_readings(*form.stripChart);

    if (volts1 / 10 == volts2 / 10)
        form.ui->label15->setText(QString::number(volts2 / 10) +
                                  QStringLiteral("0 mv (rounded down to 10mV)"));

    ++t;
    if (t > 32000)
        form.performClick(form.ui->button5);
}

// The motor-current sense voltage: the current for the unit shown, and its peak. One line only.
void take_amps_reading(Form1& form, const QString& line) {
    DADOV::x = MODE_IDLE;
    Ui::Form1& ui = *form.ui;
    PaintThrottle& throttle = *form.paintThrottle;
    set_label(throttle, ui.label45, QString());
    const bool v2_unit = ui.radioButton1->isChecked();
    // A sense voltage whose current cannot be shown is no number either.
    if (const std::optional<double> volts = parse_sense_voltage(line);
        volts && motor_current(*volts, v2_unit))
        current_volts = *volts;
    const std::optional<double> amps = motor_current(current_volts, v2_unit);
    if (!amps)
        return;
    current = *amps;
    form.readingRecorder->motorCurrent(current);
    set_label(throttle, ui.label45, current_text(current));
    if (current > peak_curr) {
        peak_curr = current;
        set_label(throttle, ui.label46, ui.label45->text());
    }
}

void take_data_line(Form1& form, const QString& line) {
    Ui::Form1& ui = *form.ui;
    switch (DADOV::x) {
    case MODE_TPS1:
        take_tps1_reading(line);
        return;
    case MODE_TPS2:
        take_tps2_reading(form, line);
        return;
    case MODE_DIAG_TEXT:
        ui.textBox2->AppendText(line + line_end);
        return;
    case MODE_SETTINGS: {
        const QString shown = line + line_end;
        ui.textBox6->AppendText(shown);
        ui.textBox1->AppendText(shown);
        return;
    }
    case MODE_HERTZ:
        ui.label41->setText(line);
        return;
    case MODE_AMPS:
        take_amps_reading(form, line);
        return;
    default: // idle
        return;
    }
}

} // namespace

// Reply parser: handles one line received from the controller.
void Form1::GetInstruction(const QString& line) {
    if (const std::optional<Keyword> keyword = keyword_of(line))
        take_keyword(*this, *keyword);
    else
        take_data_line(*this, line);
}

} // namespace DADOV
