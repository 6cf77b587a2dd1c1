#include "pages/reply_handler.h"

#include "link/serial_link.h"
#include "pages/diagnostics_page.h"
#include "pages/tuning_page.h"
#include "pages/zidudo_page.h"
#include "protocol/modes.h"
#include "protocol/reply_parser.h"
#include "ui_form1.h"
#include "widgets/text_box.h"

#include <QByteArray>

#include <algorithm>
#include <iterator>
#include <optional>

namespace DADOV {

namespace {

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
    QByteArray (*answer)(TuningPage& tuning, ZidudoPage& zidudo);
};

const Request requests[] = {
    {Keyword::Curr, &Ui::Form1::textBox6, nullptr,
     [](TuningPage& t, ZidudoPage&) { return decimal(t.answer_curr()); }},
    {Keyword::Accel, &Ui::Form1::textBox6, nullptr,
     [](TuningPage& t, ZidudoPage&) { return decimal(t.answer_accel()); }},
    {Keyword::Integ, &Ui::Form1::textBox6, nullptr,
     [](TuningPage& t, ZidudoPage&) { return decimal(t.Integ()); }},
    {Keyword::Delay, nullptr, nullptr, [](TuningPage& t, ZidudoPage&) { return decimal(t.answer_delay()); }},
    {Keyword::Sens, &Ui::Form1::textBox6, nullptr,
     [](TuningPage& t, ZidudoPage&) { return decimal(t.active_sense()); }},
    {Keyword::Fails, &Ui::Form1::textBox6, "For Diagnostic Use Only \r\n \n",
     [](TuningPage& t, ZidudoPage&) { return QByteArray(1, static_cast<char>(t.failsafes())); }},
    {Keyword::Bypas, &Ui::Form1::textBox1, nullptr,
     [](TuningPage&, ZidudoPage& z) { return decimal(z.answer_bypas()); }},
    {Keyword::Sectrig, &Ui::Form1::textBox1, nullptr,
     [](TuningPage&, ZidudoPage& z) { return decimal(z.secondary_trigger()); }},
    {Keyword::Filter, &Ui::Form1::textBox1, nullptr,
     [](TuningPage&, ZidudoPage& z) { return decimal(z.samples()); }},
    {Keyword::Ramp, &Ui::Form1::textBox1, nullptr,
     [](TuningPage&, ZidudoPage& z) { return decimal(z.bypass_ramp_end()); }},
    {Keyword::Boost, &Ui::Form1::textBox1, nullptr,
     [](TuningPage&, ZidudoPage& z) { return decimal(z.boost_limit()); }},
};

} // namespace

ReplyHandler::ReplyHandler(const PageContext& context, TuningPage& tuning, ZidudoPage& zidudo,
                           DiagnosticsPage& diagnostics)
    : _context(context), _tuning(tuning), _zidudo(zidudo), _diagnostics(diagnostics) {}

// "newPID": a settings listing follows, in both settings boxes under one heading.
void ReplyHandler::settings_listing_follows() {
    Ui::Form1& ui = _context.ui;
    ui.textBox6->clear();
    ui.textBox1->clear();
    const QString heading = QStringLiteral("Current Device Settings \r\n");
    ui.textBox6->AppendText(heading);
    ui.textBox6->AppendText(line_end);
    ui.textBox1->AppendText(heading);
    ui.textBox1->AppendText(line_end);
}

void ReplyHandler::take_keyword(Keyword keyword) {
    const auto request = std::find_if(std::begin(requests), std::end(requests),
                                      [keyword](const Request& r) { return r.keyword == keyword; });
    if (request != std::end(requests)) {
        if (request->box != nullptr) {
            TextBox* box = _context.ui.*request->box;
            if (request->heading != nullptr)
                box->setText(QString::fromLatin1(request->heading));
            else
                box->clear();
        }
        _context.mode.set_mode(MODE_SETTINGS);
        _context.link.write(request->answer(_tuning, _zidudo));
        return;
    }
    switch (keyword) {
    case Keyword::Sec:
        _diagnostics.secondary_body_follows();
        break;
    case Keyword::Three:
        _diagnostics.diagnostic_text_follows();
        break;
    // The gain requests: the value alone, no box and no change of mode.
    case Keyword::Four:
        _context.link.write(decimal(_tuning.P()));
        break;
    case Keyword::Five:
        _context.link.write(decimal(_tuning.I()));
        break;
    case Keyword::Six:
        _context.link.write(decimal(_tuning.D()));
        break;
    case Keyword::NewPid:
        settings_listing_follows();
        break;
    case Keyword::Dtc:
        _context.ui.textBox6->clear();
        break;
    case Keyword::Star:
        _diagnostics.capture_starts();
        break;
    default: // the keywords that only set the mode
        break;
    }
    _context.mode.set_mode(mode_after(keyword, _context.mode.x()));
}

void ReplyHandler::take_data_line(const QString& line) {
    switch (_context.mode.x()) {
    case MODE_TPS1:
        _diagnostics.take_tps1_reading(line);
        return;
    case MODE_TPS2:
        _diagnostics.take_tps2_reading(line);
        return;
    case MODE_DIAG_TEXT:
        _diagnostics.take_diagnostic_text(line);
        return;
    case MODE_SETTINGS: {
        const QString shown = line + line_end;
        _context.ui.textBox6->AppendText(shown);
        _context.ui.textBox1->AppendText(shown);
        return;
    }
    case MODE_HERTZ:
        _diagnostics.take_loop_rate(line);
        return;
    case MODE_AMPS:
        _diagnostics.take_amps_reading(line);
        return;
    default: // idle
        return;
    }
}

void ReplyHandler::GetInstruction(const QString& line) {
    if (const std::optional<Keyword> keyword = keyword_of(line))
        take_keyword(*keyword);
    else
        take_data_line(line);
}

} // namespace DADOV
