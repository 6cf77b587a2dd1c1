#pragma once

// The zIdudo bypass-valve page: the trigger, ramp-in and position sliders with their read-outs, the
// filter sample size, the Set buttons, Help, and the bypass variables the controller's requests are
// answered from. Its messages go to textBox1.

#include "pages/page_context.h"

#include <QObject>

namespace DADOV {

// A 10-bit ADC count of a trigger or ramp slider in millivolts, truncated, as the read-outs show it (1024
// counts is 5000 mV).
int millivolts_of(int count);

class ZidudoPage : public QObject {
    Q_OBJECT

public:
    explicit ZidudoPage(const PageContext& context, QObject* parent = nullptr);

    // The bypass variables, as the last refresh (or the filter list) left them.
    int bypass_trigger() const { return _bypass_trigger; }       // primary trigger in ADC counts
    int secondary_trigger() const { return _secondary_trigger; } // secondary trigger in ADC counts
    int bypass_ramp_end() const { return _bypass_ramp_end; }     // ramp-in complete level in ADC counts
    int boost_limit() const { return _boost_limit; }             // minimum bypass opening in percent
    int samples() const { return _samples; } // filter sample size as a list index (size = 2^samples)

    // Refresh while the page is shown: the bypass variables and read-outs from the sliders.
    void zIdudo_page_refresh();

    // The primary trigger as the "bypas" request is answered: 2000 added when Swap Inputs is checked.
    int answer_bypas() const;

    // The page's controls' handlers.
    void button28_Click();
    void button29_Click();
    void button32_Click();
    void button30_Click();
    void comboBox2_SelectedIndexChanged();
    void trackBar8_ValueChanged();
    void trackBar10_ValueChanged();
    void trackBar9_ValueChanged();

private:
    PageContext _context;
    Ui::Form1& ui;
    int _bypass_trigger = 0;
    int _secondary_trigger = 0;
    int _bypass_ramp_end = 0;
    int _boost_limit = 0;
    int _samples = 0;
};

} // namespace DADOV
