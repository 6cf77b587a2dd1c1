#include "protocol/state.h"

namespace DADOV {

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
int s = 500;
int count = 16;
bool MyTimerEnable = false;

int tickcount = 0;
int TB = 1;
bool streaming_enabled = true;

} // namespace DADOV
