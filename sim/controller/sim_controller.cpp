#include "sim/controller/sim_controller.h"

#include "sim/controller/sim_port.h"

#include <QFile>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace DADOV {

namespace {

using namespace std::chrono_literals;

// Stream lines are not queued beyond this while the tool does not read.
constexpr size_t max_queued_bytes = 256 * 1024;
// A stream that fell this far behind (the thread was not scheduled) drops the backlog.
constexpr auto max_backlog = 100ms;

// The commands it knows, written out here rather than taken from the tool's own list (protocol/commands.h):
// the simulator is an independent check of what the tool sends.
const char* const commands[] = {"91",  "92",  "94",  "93",  "95",  "96",  "85",  "65", "99",
                                "DEL", "INT", "SEN", "SET", "DTC", "FAI", "BYP", "BOO"};

std::string number(int value) {
    return std::to_string(value);
}

} // namespace

SimController::SimController(const QString& devRoot, const QString& portName) : _portName(portName) {
    if (portName.isEmpty() || portName.contains(QLatin1Char('/')))
        throw std::runtime_error("simulated controller: the port name must be a plain name such as ttyACM0");

    try {
        _port = SimPort::publish(devRoot, portName);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(std::string("simulated controller: ") + e.what());
    }
    _linkPath = _port->path();

    _thread = std::thread([this] { run(); }); // on failure, the port goes with this half-built object
}

SimController::~SimController() {
    shutDown();
}

void SimController::shutDown() {
    _stop = true;
    wake();
    if (_thread.joinable())
        _thread.join();
    if (_port)
        _port->hangUp();
}

void SimController::hangUp() {
    shutDown();
    std::lock_guard lock(_m);
    _hungUp = true;
}

void SimController::wake() {
    if (_port)
        _port->wake();
}

QByteArray SimController::received() const {
    std::lock_guard lock(_m);
    return _received;
}

bool SimController::waitForReceived(const QByteArray& bytes, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(_m);
    return _receivedMore.wait_for(lock, timeout, [&] { return _received == bytes; });
}

void SimController::clearReceived() {
    std::lock_guard lock(_m);
    _received.clear();
    _values.clear();
}

void SimController::sendRaw(const QByteArray& bytes) {
    {
        std::lock_guard lock(_m);
        _out.append(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
    wake();
}

void SimController::sendLines(const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toLatin1() + '\n';
    sendRaw(bytes);
}

void SimController::setStreamRate(int pairsPerSecond) {
    {
        std::lock_guard lock(_m);
        _rate = std::clamp(pairsPerSecond, 1, 100000);
    }
    wake();
}

void SimController::setReadings(int tps1Count, int tps2Count) {
    std::lock_guard lock(_m);
    _fixed = true;
    _count1 = tps1Count;
    _count2 = tps2Count;
}

void SimController::setSweep() {
    std::lock_guard lock(_m);
    _fixed = false;
}

void SimController::setAmps(const QByteArray& senseVolts, int ampsEvery) {
    std::lock_guard lock(_m);
    _amps = senseVolts;
    _ampsEvery = std::max(ampsEvery, 0);
}

bool SimController::streaming() const {
    std::lock_guard lock(_m);
    return _streaming;
}

SimController::Pair SimController::pair() const {
    std::lock_guard lock(_m);
    return _pair;
}

long long SimController::pairsSent() const {
    std::lock_guard lock(_m);
    return _pairs;
}

void SimController::setSettingsListing(const QStringList& lines) {
    std::lock_guard lock(_m);
    _listing = lines;
    _listingSet = true;
}

void SimController::setFaultReport(const QStringList& lines) {
    std::lock_guard lock(_m);
    _faults = lines;
}

SimController::Settings SimController::settings() const {
    std::lock_guard lock(_m);
    return _settings;
}

QStringList SimController::valuesReceived() const {
    std::lock_guard lock(_m);
    return _values;
}

// The controller's loop: read what the tool sends, answer, stream.
void SimController::run() {
    while (!_stop) {
        Clock::duration wait{};
        bool wantToSend = false;
        {
            std::lock_guard lock(_m);
            wantToSend = !_out.empty();
            const Clock::time_point now = Clock::now();
            wait = std::max(nextDeadline(now) - now, Clock::duration::zero());
        }
        if (!_port->wait(std::chrono::duration_cast<std::chrono::nanoseconds>(wait), wantToSend))
            return;
        if (_stop)
            return;

        std::lock_guard lock(_m);
        char buffer[4096];
        bool received = false;
        while (const std::size_t n = _port->read(buffer, sizeof buffer)) {
            takeBytes(buffer, n, Clock::now());
            received = true;
        }
        if (received)
            _receivedMore.notify_all();
        const Clock::time_point now = Clock::now();
        if (_awaiting) {
            if (!_value.empty() && now - _lastValueByte >= _valueGap)
                finishValue(now);
            else if (_value.empty() && now - _requestAt >= _valueTimeout)
                finishValue(now);
        }
        if (_capturing && now >= _captureUntil)
            _capturing = false;
        sendPairs(now);
        flushOut();
    }
}

SimController::Clock::time_point SimController::nextDeadline(Clock::time_point now) const {
    Clock::time_point next = now + 200ms;
    if (_awaiting)
        next = std::min(next, _value.empty() ? _requestAt + _valueTimeout : _lastValueByte + _valueGap);
    if (_streaming || _capturing)
        next = std::min(next, _nextPair);
    if (_capturing)
        next = std::min(next, _captureUntil);
    return next;
}

void SimController::takeBytes(const char* data, size_t n, Clock::time_point now) {
    QByteArray bytes(data, static_cast<qsizetype>(n));
    _received += bytes;
    for (size_t i = 0; i < n; ++i) {
        const char b = data[i];
        if (_awaiting) {
            if (_awaitField == Field::Fails) {
                _value.assign(1, b);
                finishValue(now);
                continue;
            }
            if ((b >= '0' && b <= '9') || (b == '-' && _value.empty())) {
                _value += b;
                _lastValueByte = now;
                continue;
            }
            // Not part of a number: the value is over and a command begins.
            finishValue(now);
        }
        takeCommandByte(b);
    }
}

void SimController::takeCommandByte(char b) {
    _cmd += b;
    while (!_cmd.empty()) {
        bool prefix = false;
        for (const char* c : commands) {
            const std::string_view command(c);
            if (command == _cmd) {
                const std::string whole = _cmd;
                _cmd.clear();
                command_received(whole);
                return;
            }
            if (command.starts_with(_cmd))
                prefix = true;
        }
        if (prefix)
            return;
        _cmd.erase(0, 1); // a byte no command begins with
    }
}

// The commands that ask for values one after the other, then report them.
const SimController::ValueCommand SimController::valueCommands[] = {
    {"91",
     {{"4", Field::Proportional}, {"5", Field::Integral}, {"6", Field::Derivative}},
     [](const Settings& s) {
         return std::vector<std::string>{"Proportional Gain= " + number(s.P), "Integral Gain= " + number(s.I),
                                         "Derivative Gain= " + number(s.D), "end"};
     }},
    {"92",
     {{"curr", Field::Curr}},
     [](const Settings& s) {
         return std::vector<std::string>{"Current Limit= " + number(s.currentLimit) + " amps", "end"};
     }},
    {"94",
     {{"accel", Field::Accel}},
     [](const Settings& s) {
         return std::vector<std::string>{"Blade Acceleration= " + number(s.acceleration), "end"};
     }},
    {"DEL",
     {{"delay", Field::Delay}},
     [](const Settings& s) {
         return std::vector<std::string>{"Control Loop Delay= " + number(s.loopDelay), "hertz",
                                         number(100 - s.loopDelay), "end"};
     }},
    {"INT",
     {{"integ", Field::IntegralLimit}},
     [](const Settings& s) {
         return std::vector<std::string>{"Integral Limit= " + number(s.integralLimit), "end"};
     }},
    {"SEN",
     {{"sens", Field::Sens}},
     [](const Settings& s) {
         return std::vector<std::string>{"Primary Throttle Active Sense= " + number(s.activeSense), "end"};
     }},
    {"FAI",
     {{"fails", Field::Fails}},
     [](const Settings& s) {
         char mask[8];
         std::snprintf(mask, sizeof mask, "0x%02X", static_cast<unsigned>(s.failsafes & 0xFF));
         return std::vector<std::string>{std::string("Failsafes Disabled= ") + mask, "end"};
     }},
    {"BYP",
     {{"bypas", Field::Bypas}, {"sectrig", Field::Sectrig}, {"ramp", Field::Ramp}, {"filter", Field::Filter}},
     [](const Settings& s) {
         return std::vector<std::string>{"Primary Trigger= " + number(s.bypassTrigger),
                                         std::string("Inputs Swapped= ") + (s.swapInputs ? "yes" : "no"),
                                         "Secondary Trigger= " + number(s.secondaryTrigger),
                                         "Ramp In Complete= " + number(s.rampEnd),
                                         "Filter Sample Size= " + number(1 << std::clamp(s.filter, 0, 10)),
                                         "end"};
     }},
    {"BOO",
     {{"boost", Field::Boost}},
     [](const Settings& s) {
         return std::vector<std::string>{"Initial Bypass Position= " + number(s.boostLimit) + " %", "end"};
     }},
};

void SimController::command_received(const std::string& cmd) {
    const Clock::time_point now = Clock::now();
    const auto valueCommand = std::find_if(std::begin(valueCommands), std::end(valueCommands),
                                           [&](const ValueCommand& c) { return cmd == c.command; });
    if (valueCommand != std::end(valueCommands)) {
        for (const auto& [keyword, field] : valueCommand->requests)
            _steps.push_back(Step{keyword, field, {}});
        // The report is made when its turn comes, from the values received by then.
        _steps.push_back(Step{{}, {}, [this, report = valueCommand->report] { return report(_settings); }});
    } else if (cmd == "SET") {
        _steps.push_back(Step{{}, {}, [this] {
                                  std::vector<std::string> out{"newPID"};
                                  for (std::string& line : listing())
                                      out.push_back(std::move(line));
                                  out.push_back("end");
                                  return out;
                              }});
    } else if (cmd == "DTC") {
        _steps.push_back(Step{{}, {}, [this] {
                                  std::vector<std::string> out{"DTC"};
                                  for (const QString& line : _faults)
                                      out.push_back(line.toStdString());
                                  out.push_back("end");
                                  return out;
                              }});
    } else {
        streamCommand(cmd, now);
    }
    startNextStep(now);
}

// The commands of the stream: the pair to stream, start, stop and the timed capture.
void SimController::streamCommand(const std::string& cmd, Clock::time_point now) {
    if (cmd == "93" || cmd == "95" || cmd == "96") {
        const Pair selected = cmd == "93" ? Pair::Primary : cmd == "96" ? Pair::Secondary : Pair::Tps1Both;
        _steps.push_back(Step{{}, {}, [this, selected] {
                                  _pair = selected;
                                  return std::vector<std::string>{selected == Pair::Secondary ? "sec"
                                                                                              : "prim"};
                              }});
    } else if (cmd == "85") {
        if (!_streaming && !_capturing)
            _nextPair = now;
        _streaming = true;
    } else if (cmd == "65") {
        _streaming = false;
    } else if (cmd == "99") {
        _steps.push_back(Step{{}, {}, [this] {
                                  const Clock::time_point start = Clock::now();
                                  if (!_streaming && !_capturing)
                                      _nextPair = start;
                                  _capturing = true;
                                  _captureUntil = start + _captureDuration;
                                  return std::vector<std::string>{"star"};
                              }});
    }
}

std::vector<std::string> SimController::listing() const {
    std::vector<std::string> out;
    if (_listingSet) {
        for (const QString& line : _listing)
            out.push_back(line.toStdString());
        return out;
    }
    const Settings& s = _settings;
    return {"Proportional Gain= " + number(s.P),
            "Integral Gain= " + number(s.I),
            "Derivative Gain= " + number(s.D),
            "Current Limit= " + number(s.currentLimit) + " amps",
            "Blade Acceleration= " + number(s.acceleration),
            "Control Loop Delay= " + number(s.loopDelay),
            "Integral Limit= " + number(s.integralLimit),
            "Primary Throttle Active Sense= " + number(s.activeSense),
            "Primary Trigger= " + number(s.bypassTrigger),
            "Secondary Trigger= " + number(s.secondaryTrigger),
            "Ramp In Complete= " + number(s.rampEnd),
            "Filter Sample Size= " + number(1 << std::clamp(s.filter, 0, 10)),
            "Initial Bypass Position= " + number(s.boostLimit) + " %"};
}

void SimController::startNextStep(Clock::time_point now) {
    while (!_awaiting && !_steps.empty()) {
        Step step = std::move(_steps.front());
        _steps.pop_front();
        if (!step.request.empty()) {
            queueLine(step.request);
            _awaiting = true;
            _awaitField = step.field;
            _value.clear();
            _requestAt = now;
        } else if (step.lines) {
            for (const std::string& line : step.lines())
                queueLine(line);
        }
    }
}

void SimController::finishValue(Clock::time_point now) {
    store(_awaitField, _value, !_value.empty());
    _awaiting = false;
    _value.clear();
    startNextStep(now);
}

// Each value's name in valuesReceived() and where it goes; the failsafe mask (one raw byte) is stored
// apart.
const SimController::FieldRule SimController::fieldRules[] = {
    {Field::Proportional, "P", [](Settings& s, int v) { s.P = v; }},
    {Field::Integral, "I", [](Settings& s, int v) { s.I = v; }},
    {Field::Derivative, "D", [](Settings& s, int v) { s.D = v; }},
    {Field::Curr, "curr", [](Settings& s, int v) { s.currentLimit = v; }},
    {Field::Accel, "accel", [](Settings& s, int v) { s.acceleration = v; }},
    {Field::Delay, "delay", [](Settings& s, int v) { s.loopDelay = v; }},
    {Field::IntegralLimit, "integ", [](Settings& s, int v) { s.integralLimit = v; }},
    {Field::Sens, "sens", [](Settings& s, int v) { s.activeSense = v; }},
    {Field::Fails, "fails", nullptr},
    {Field::Bypas, "bypas",
     [](Settings& s, int v) {
         s.swapInputs = v >= 2000;
         s.bypassTrigger = s.swapInputs ? v - 2000 : v;
     }},
    {Field::Sectrig, "sectrig", [](Settings& s, int v) { s.secondaryTrigger = v; }},
    {Field::Ramp, "ramp", [](Settings& s, int v) { s.rampEnd = v; }},
    {Field::Filter, "filter", [](Settings& s, int v) { s.filter = v; }},
    {Field::Boost, "boost", [](Settings& s, int v) { s.boostLimit = v; }},
};

void SimController::store(Field field, const std::string& text, bool got) {
    const FieldRule& rule = *std::find_if(std::begin(fieldRules), std::end(fieldRules),
                                          [field](const FieldRule& r) { return r.field == field; });
    const QString name = QString::fromLatin1(rule.name);
    if (!got) {
        _values << name + QStringLiteral("=<none>");
        return;
    }
    if (field == Field::Fails) {
        const int mask = static_cast<unsigned char>(text[0]);
        _settings.failsafes = mask;
        _values << name + QStringLiteral("=0x%1")
                              .arg(mask, 2, 16, QLatin1Char('0'))
                              .toUpper()
                              .replace(QStringLiteral("0X"), QStringLiteral("0x"));
        return;
    }
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        _values << name + QStringLiteral("=<bad ") + QString::fromStdString(text) + QLatin1Char('>');
        return;
    }
    _values << name + QLatin1Char('=') + QString::number(value);
    rule.apply(_settings, value);
}

std::pair<int, int> SimController::nextCounts() {
    if (_fixed)
        return {_count1, _count2};
    // A slow sweep between 100 and 920 counts; TPS2 runs the other way, so the two cross mid-range (at
    // 510 counts). Near the crossing the sweep slows to one count a pair, so the two readings pass each
    // other in steps of less than 10 mV and meet, as a throttle's two sensors do.
    const int near_crossing = 16;
    _sweep += std::abs(100 + _sweep - 510) < near_crossing ? _sweepDirection : 4 * _sweepDirection;
    if (_sweep >= 820 || _sweep <= 0)
        _sweepDirection = -_sweepDirection;
    const int c1 = 100 + std::clamp(_sweep, 0, 820);
    return {c1, _pair == Pair::Tps1Both ? c1 + 3 : 1020 - c1};
}

void SimController::sendPairs(Clock::time_point now) {
    if (!_streaming && !_capturing)
        return;
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / _rate));
    if (now - _nextPair > max_backlog)
        _nextPair = now;
    while (_nextPair <= now) {
        _nextPair += period;
        if (_out.size() > max_queued_bytes)
            continue; // the tool is not reading: this pair is lost, as on the wire
        const auto [c1, c2] = nextCounts();
        _out += "tpsone\n" + number(c1) + "\ntpstwo\n" + number(c2) + '\n';
        ++_pairs;
        if (_ampsEvery > 0 && _pair == Pair::Secondary && _pairs % _ampsEvery == 0)
            _out += "amps\n" + _amps.toStdString() + '\n';
    }
}

void SimController::queueLine(const std::string& line) {
    _out += line;
    _out += '\n';
}

void SimController::flushOut() {
    while (!_out.empty()) {
        const std::size_t n = _port->write(_out.data(), _out.size());
        if (n == 0)
            return; // full (or gone): the rest waits for the next turn
        _out.erase(0, n);
    }
}

} // namespace DADOV
