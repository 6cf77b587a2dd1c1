#pragma once

// The program-wide state of the window side: plain globals, touched on the window thread only. The page
// refreshes and actions write the settings and live data, the reply parser reads and writes them; the
// attachment monitor keeps the attachment state; the firmware page its own.
//
// Inside members of Form1 write `DADOV::x`: an unqualified `x` names QWidget::x().

#include <QtGlobal>

namespace DADOV {

extern int x; // reply parser mode, 0 to 6

// Controller tuning (written by the tuning page refresh).
extern int P;            // proportional gain x 1000
extern int I;            // integral gain x 10, truncated
extern int D;            // derivative gain x 10, truncated
extern int C;            // current limit in amps
extern int A;            // blade acceleration
extern int delay;        // control-loop delay: 100 minus the Control Loop Hz slider
extern int Integ;        // integral limit
extern quint8 failsafes; // failsafe-disable bit mask, one bit per check box

// Bypass valve (written by the zIdudo page refresh and its filter list).
extern int bypass_trigger;    // primary trigger in ADC counts
extern int secondary_trigger; // secondary trigger in ADC counts
extern int bypass_ramp_end;   // ramp-in complete level in ADC counts
extern int boost_limit;       // minimum bypass opening in percent
extern int samples;           // filter sample size as a list index (size = 2^samples)

// Live data and the strip chart.
extern int volts1;                         // last TPS1 reading in mV
extern int volts2;                         // last TPS2 reading in mV
extern double current_volts;               // last motor-current sense voltage
extern double current;                     // last motor current in amps, truncated to 0.01
extern double peak_curr;                   // highest current since the last reset
extern int t;                              // TPS2 samples since the last chart reset
extern int s;                              // chart window in samples
extern int count;                          // countdown value; the countdown bar shows count - 1
inline constexpr int countdown_start = 16; // count at program start and after each capture
extern bool MyTimerEnable;                 // countdown running

// Diagnostics page.
extern int tickcount;          // timer ticks since the last countdown step
extern int TB;                 // charted pair: 0 TPS1A/TPS2A, 1 TPS1B/TPS2B, 2 TPS1A/TPS1B
extern bool streaming_enabled; // the stream was last started rather than stopped

// Attachment of the controller's serial link, kept by the attachment monitor (Form1::timer1_Tick).
// 1 when the last tick found the controller's port and the link is open; 0 otherwise (also right after a
// failed open). The firmware update actions set it to 0 while they hold the timer.
extern int DeviceAttachedState;
extern int OldDeviceAttachedState; // DeviceAttachedState as it stood at the end of the previous tick

// Firmware page.
extern int type;  // controller type: 0 V2 Digital/Analog, 1 Analog, 2 V1 Digital/Analog
extern bool MCU;  // MCU the ID read addresses; false: the main MCU
extern int retry; // failed attempts of the update in progress

// Every variable above back to its value at program start.
void reset_program_state();

} // namespace DADOV
