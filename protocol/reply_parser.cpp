// The reply parser: every line the controller sends. A line is a keyword, which sets the mode or makes
// the tool answer a request at once, or a data line, which the current mode gives its meaning.

#include "protocol/reply_parser.h"

#include "app/form1.h"
#include "app/text_box.h"
#include "pages/reading_recorder.h"
#include "protocol/modes.h"
#include "protocol/paint_throttle.h"
#include "protocol/state.h"
#include "protocol/strip_chart.h"
#include "ui_form1.h"

#include <QByteArray>
#include <QLabel>
#include <QLatin1String>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

namespace DADOV {

namespace {

constexpr std::array<std::pair<const char*, Keyword>, 26> keywords{{
    {"end", Keyword::End},     {"tpsone", Keyword::TpsOne},   {"dummy", Keyword::Dummy},
    {"prim", Keyword::Prim},   {"tpstwo", Keyword::TpsTwo},   {"amps", Keyword::Amps},
    {"sec", Keyword::Sec},     {"hertz", Keyword::Hertz},     {"3", Keyword::Three},
    {"4", Keyword::Four},      {"5", Keyword::Five},          {"6", Keyword::Six},
    {"curr", Keyword::Curr},   {"accel", Keyword::Accel},     {"integ", Keyword::Integ},
    {"bypas", Keyword::Bypas}, {"sectrig", Keyword::Sectrig}, {"filter", Keyword::Filter},
    {"ramp", Keyword::Ramp},   {"boost", Keyword::Boost},     {"sens", Keyword::Sens},
    {"fails", Keyword::Fails}, {"delay", Keyword::Delay},     {"newPID", Keyword::NewPid},
    {"DTC", Keyword::Dtc},     {"star", Keyword::Star},
}};

bool is_blank(QChar c) {
    const char16_t u = c.unicode();
    return u == u' ' || (u >= u'\t' && u <= u'\r');
}

QStringView without_blanks(QStringView text) {
    while (!text.isEmpty() && is_blank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && is_blank(text.back()))
        text.chop(1);
    return text;
}

const QString no_convergence = QStringLiteral("No Convergence");
const QString mv_suffix = QStringLiteral(" mv");

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

} // namespace

std::optional<Keyword> keyword_of(QStringView line) {
    // No keyword is longer than seven characters; readings and text lines mostly are.
    if (line.size() > 7)
        return std::nullopt;
    for (const auto& [text, keyword] : keywords) {
        if (line == QLatin1String(text))
            return keyword;
    }
    return std::nullopt;
}

std::optional<int> parse_integer_reading(QStringView line) {
    QStringView text = without_blanks(line);
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text = text.sliced(1);
    }
    if (text.isEmpty())
        return std::nullopt;
    std::int64_t value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
        if (value > std::int64_t{std::numeric_limits<int>::max()} + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<int> count_to_millivolts(int count) {
    const std::int64_t mv = (std::int64_t{count} * 5000) >> 10;
    if (mv < std::numeric_limits<int>::min() || mv > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(mv);
}

std::optional<double> parse_sense_voltage(QStringView line) {
    const QStringView text = without_blanks(line);
    if (text.isEmpty())
        return std::nullopt;
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = c.toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> motor_current(double sense_volts, bool v2_unit) {
    const double amps = v2_unit ? sense_volts * 1.69 : sense_volts / 0.162;
    const double truncated = std::trunc(amps * 100) / 100;
    if (!std::isfinite(truncated))
        return std::nullopt;
    return truncated == 0 ? 0.0 : truncated; // no "-0"
}

QString current_text(double amps) {
    return QString::number(amps, 'g', 15);
}

// Reply parser: handles one line received from the controller.
void Form1::GetInstruction(const QString& line) {
    if (const std::optional<Keyword> keyword = keyword_of(line)) {
        switch (*keyword) {
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
        case Keyword::Dummy:
            return;
        case Keyword::Sec:
            ui->label31->setText(QStringLiteral("Data From Secondary Throttle Body"));
            peak_curr = 0;
            current = 0;
            ui->label45->clear();
            ui->label46->clear();
            ui->label15->setText(no_convergence);
            DADOV::x = MODE_IDLE;
            return;
        case Keyword::Three:
            DADOV::x = MODE_DIAG_TEXT;
            ui->textBox2->clear();
            ui->label3->clear();
            ui->label4->clear();
            ui->label9->clear();
            ui->progressBar1->setValue(0);
            ui->progressBar2->setValue(0);
            ui->progressBar3->setValue(0);
            return;
        case Keyword::Four:
            serialPort1.write(QString::number(P));
            return;
        case Keyword::Five:
            serialPort1.write(QString::number(I));
            return;
        case Keyword::Six:
            serialPort1.write(QString::number(D));
            return;
        case Keyword::Curr:
            ui->textBox6->clear();
            DADOV::x = MODE_SETTINGS;
            C = ui->trackBar4->value();
            serialPort1.write(QString::number(C));
            return;
        case Keyword::Accel:
            ui->textBox6->clear();
            DADOV::x = MODE_SETTINGS;
            A = ui->trackBar5->value();
            serialPort1.write(QString::number(A));
            return;
        case Keyword::Integ:
            ui->textBox6->clear();
            DADOV::x = MODE_SETTINGS;
            serialPort1.write(QString::number(Integ));
            return;
        case Keyword::Delay:
            DADOV::x = MODE_SETTINGS;
            delay = 100 - ui->trackBar6->value();
            serialPort1.write(QString::number(delay));
            return;
        case Keyword::Sens:
            ui->textBox6->clear();
            DADOV::x = MODE_SETTINGS;
            serialPort1.write(QString::number(ui->numericUpDown2->value()));
            return;
        case Keyword::Fails:
            ui->textBox6->setText(QStringLiteral("For Diagnostic Use Only \r\n \n"));
            DADOV::x = MODE_SETTINGS;
            serialPort1.write(QByteArray(1, static_cast<char>(failsafes)));
            return;
        case Keyword::Bypas:
            ui->textBox1->clear();
            DADOV::x = MODE_SETTINGS;
            serialPort1.write(
                QString::number(ui->checkBox8->isChecked() ? bypass_trigger + 2000 : bypass_trigger));
            return;
        case Keyword::Sectrig:
            ui->textBox1->clear();
            DADOV::x = MODE_SETTINGS;
            serialPort1.write(QString::number(secondary_trigger));
            return;
        case Keyword::Filter:
            ui->textBox1->clear();
            DADOV::x = MODE_SETTINGS;
            serialPort1.write(QString::number(samples));
            return;
        case Keyword::Ramp:
            ui->textBox1->clear();
            DADOV::x = MODE_SETTINGS;
            serialPort1.write(QString::number(bypass_ramp_end));
            return;
        case Keyword::Boost:
            ui->textBox1->clear();
            DADOV::x = MODE_SETTINGS;
            serialPort1.write(QString::number(boost_limit));
            return;
        case Keyword::NewPid: {
            ui->textBox6->clear();
            ui->textBox1->clear();
            const QString heading = QStringLiteral("Current Device Settings \r\n");
            const QString blank = QStringLiteral("\r\n");
            ui->textBox6->AppendText(heading);
            ui->textBox6->AppendText(blank);
            ui->textBox1->AppendText(heading);
            ui->textBox1->AppendText(blank);
            DADOV::x = MODE_SETTINGS;
            return;
        }
        case Keyword::Dtc:
            ui->textBox6->clear();
            DADOV::x = MODE_SETTINGS;
            return;
        case Keyword::Star:
            MyTimerEnable = true;
            stripChart->suspend();
            stripChart->clear();
            ui->label16->setText(QStringLiteral("    "));
            ui->label17->setText(QStringLiteral("    "));
            return;
        }
        return;
    }

    // A data line, by mode.
    switch (DADOV::x) {
    case MODE_TPS1:
        if (const std::optional<int> count_read = parse_integer_reading(line)) {
            if (const std::optional<int> mv = count_to_millivolts(*count_read))
                volts1 = *mv;
        }
        return;
    case MODE_TPS2: {
        const std::optional<int> count_read = parse_integer_reading(line);
        if (!count_read)
            return;
        const std::optional<int> mv = count_to_millivolts(*count_read);
        if (!mv)
            return;
        volts2 = *mv;
        readingRecorder->pair(TB, volts1, volts2);
        // A bar takes only values in its range: a reading outside them ends here.
        if (!in_range(volts1, ui->progressBar1))
            return;
        set_bar(*paintThrottle, ui->progressBar1, volts1);
        set_label(*paintThrottle, ui->label3, QString::number(volts1) + mv_suffix);
        if (!in_range(volts2, ui->progressBar2))
            return;
        set_bar(*paintThrottle, ui->progressBar2, volts2);
        set_label(*paintThrottle, ui->label4, QString::number(volts2) + mv_suffix);
        const int sum = volts1 + volts2;
        if (!in_range(sum, ui->progressBar3))
            return;
        set_bar(*paintThrottle, ui->progressBar3, sum);
        set_label(*paintThrottle, ui->label9, QString::number(sum) + mv_suffix);
        if (!in_range(DADOV::count - 1, ui->progressBar4))
            return;
        set_bar(*paintThrottle, ui->progressBar4, DADOV::count - 1);

        // The strip chart fills up to its window, then scrolls. Zero readings are not charted.
        const bool scrolling = t >= s;
        for (const auto& [reading, series] :
             {std::pair{volts1, StripChart::TPS1}, std::pair{volts2, StripChart::TPS2}}) {
            if (reading == 0)
                continue;
            if (scrolling)
                stripChart->removeOldest(series);
            stripChart->append(series, reading);
        }

        if (volts1 / 10 == volts2 / 10)
            ui->label15->setText(QString::number(volts2 / 10) +
                                 QStringLiteral("0 mv (rounded down to 10mV)"));

        ++t;
        if (t > 32000)
            performClick(ui->button5);
        return;
    }
    case MODE_DIAG_TEXT:
        ui->textBox2->AppendText(line + QStringLiteral("\r\n"));
        return;
    case MODE_SETTINGS: {
        const QString shown = line + QStringLiteral("\r\n");
        ui->textBox6->AppendText(shown);
        ui->textBox1->AppendText(shown);
        return;
    }
    case MODE_HERTZ:
        ui->label41->setText(line);
        return;
    case MODE_AMPS: {
        DADOV::x = MODE_IDLE;
        set_label(*paintThrottle, ui->label45, QString());
        const bool v2_unit = ui->radioButton1->isChecked();
        // A sense voltage whose current cannot be shown is no number either.
        if (const std::optional<double> volts = parse_sense_voltage(line);
            volts && motor_current(*volts, v2_unit))
            current_volts = *volts;
        const std::optional<double> amps = motor_current(current_volts, v2_unit);
        if (!amps)
            return;
        current = *amps;
        readingRecorder->motorCurrent(current);
        set_label(*paintThrottle, ui->label45, current_text(current));
        if (current > peak_curr) {
            peak_curr = current;
            set_label(*paintThrottle, ui->label46, ui->label45->text());
        }
        return;
    }
    default: // idle
        return;
    }
}

} // namespace DADOV
