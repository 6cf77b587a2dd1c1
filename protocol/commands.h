#pragma once

// The commands the tool sends to the controller, as ASCII text without a terminator. The controller answers
// a settings command by asking for each value in turn (the request keywords of protocol/reply_parser.h) and
// the tool answers each request at once; the stream commands switch its live readings.
//
// The simulated controller (sim/controller/) keeps its own list on purpose, so that it checks the tool's
// commands rather than sharing them.

#include <QLatin1String>

namespace DADOV::command {

// Settings and reports.
inline constexpr QLatin1String check_settings("SET"); // the settings listing
inline constexpr QLatin1String fault_report("DTC");   // the stored faults
inline constexpr QLatin1String set_active_sense("SEN");
inline constexpr QLatin1String set_loop_rate("DEL");      // control loop Hz, as the "delay" it asks for
inline constexpr QLatin1String set_gains("91");           // P, I and D ("4", "5", "6")
inline constexpr QLatin1String set_integral_limit("INT"); // "integ"
inline constexpr QLatin1String set_current_limit("92");   // "curr"
inline constexpr QLatin1String set_acceleration("94");    // "accel"
inline constexpr QLatin1String disable_failsafes("FAI");  // "fails"
inline constexpr QLatin1String set_bypass("BYP");         // the bypass valve's triggers, filter and ramp
inline constexpr QLatin1String set_boost_limit("BOO");    // "boost"

// The live stream.
inline constexpr QLatin1String stream_pair_a("93");  // TPS1A and TPS2A
inline constexpr QLatin1String stream_pair_b("96");  // TPS1B and TPS2B, with the motor current
inline constexpr QLatin1String stream_tps1_ab("95"); // TPS1A and TPS1B
inline constexpr QLatin1String start_stream("85");
inline constexpr QLatin1String stop_stream("65");
inline constexpr QLatin1String timed_capture("99");

} // namespace DADOV::command
