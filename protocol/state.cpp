#include "protocol/state.h"

namespace DADOV {

namespace {

// The values at program start; definitions and reset both read them.
constexpr int initial_chart_window = 500;
constexpr int initial_pair = 1;
constexpr bool initial_streaming = true;

} // namespace

int x = 0;

int P = 0;
int I = 0;
int D = 0;
int C = 0;
int A = 0;
int delay = 0;
int Integ = 0;
quint8 failsafes = 0;

int bypass_trigger = 0;
int secondary_trigger = 0;
int bypass_ramp_end = 0;
int boost_limit = 0;
int samples = 0;

int volts1 = 0;
int volts2 = 0;
double current_volts = 0.0;
double current = 0.0;
double peak_curr = 0.0;
int t = 0;
int s = initial_chart_window;
int count = countdown_start;
bool MyTimerEnable = false;

int tickcount = 0;
int TB = initial_pair;
bool streaming_enabled = initial_streaming;

int DeviceAttachedState = 0;
int OldDeviceAttachedState = 0;

int type = 0;
bool MCU = false;
int retry = 0;

void reset_program_state() {
    x = 0;
    P = I = D = C = A = delay = Integ = 0;
    failsafes = 0;
    bypass_trigger = secondary_trigger = bypass_ramp_end = boost_limit = samples = 0;
    volts1 = volts2 = 0;
    current_volts = current = peak_curr = 0.0;
    t = 0;
    s = initial_chart_window;
    count = countdown_start;
    MyTimerEnable = false;
    tickcount = 0;
    TB = initial_pair;
    streaming_enabled = initial_streaming;
    DeviceAttachedState = OldDeviceAttachedState = 0;
    type = 0;
    MCU = false;
    retry = 0;
}

} // namespace DADOV
