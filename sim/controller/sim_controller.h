#pragma once

// The simulated q5 controller: the controller's side of the serial conversation, on a port it publishes
// itself under a name in a device root (sim/controller/sim_port.h: a pseudo-terminal on Linux, a named pipe
// on Windows), so that the tool opens it like the real port when that is its device root.
//
// It runs on a thread of its own, as a device would: it takes the tool's commands from the byte stream,
// asks for the values each command needs and reads the tool's unterminated answers (a value ends when
// the line falls quiet or the next command begins; the failsafe mask is one raw byte), sends its
// listings and reports, streams "tpsone"/"tpstwo" pairs with "amps" values at a settable rate while
// streaming is on, and runs timed captures. Every byte it receives is kept.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace DADOV {

class SimPort;

class SimController {
public:
    using Clock = std::chrono::steady_clock;

    // The controller's stored settings, as the tool last sent them (the controller's defaults before).
    struct Settings {
        int P = 6000;
        int I = 10;
        int D = 20;
        int currentLimit = 7;
        int acceleration = 900;
        int loopDelay = 0;
        int integralLimit = 4200;
        int activeSense = 3;
        int failsafes = 0;
        int bypassTrigger = 1024;
        bool swapInputs = false;
        int secondaryTrigger = 0;
        int rampEnd = 1024;
        int filter = 0;
        int boostLimit = 50;
    };

    // The pair of signals streamed: selected by "93", "96" and "95".
    enum class Pair { Primary, Secondary, Tps1Both };

    // Creates the terminal and publishes it; throws std::runtime_error saying what failed.
    explicit SimController(const QString& devRoot, const QString& portName = QStringLiteral("ttyACM0"));
    ~SimController();
    SimController(const SimController&) = delete;
    SimController& operator=(const SimController&) = delete;

    QString portName() const { return _portName; }
    // The published name: <device root>/<port name> on Linux, <device root><port name> on Windows.
    QString portPath() const { return _linkPath; }

    // Everything received so far.
    QByteArray received() const;
    // Waits until everything received so far is exactly `bytes`; false when the time ran out first.
    bool waitForReceived(const QByteArray& bytes, std::chrono::milliseconds timeout) const;
    void clearReceived();

    // Sends bytes as they stand, or lines each ended by "\n".
    void sendRaw(const QByteArray& bytes);
    void sendLines(const QStringList& lines);

    // Stream: pairs per second (1 to 100000), the TPS counts of every pair (or a slow sweep when
    // unset), and an "amps" value after every `ampsEvery` pairs of pair B (0: never).
    void setStreamRate(int pairsPerSecond);
    void setReadings(int tps1Count, int tps2Count);
    void setSweep();
    void setAmps(const QByteArray& senseVolts, int ampsEvery = 1);
    bool streaming() const;
    Pair pair() const;
    // Pairs sent since the start.
    long long pairsSent() const;

    // The lines between "newPID" and "end" after "SET" (unset: a listing of the settings), and between
    // "DTC" and "end" after "DTC".
    void setSettingsListing(const QStringList& lines);
    void setFaultReport(const QStringList& lines);

    Settings settings() const;
    // Values the tool sent, one text per request in order ("P=6000", "fails=0x12"); values that never
    // came are "P=<none>".
    QStringList valuesReceived() const;

    // The controller goes away: the terminal is hung up and the published name removed.
    void hangUp();

private:
    enum class Field {
        Proportional,
        Integral,
        Derivative,
        Curr,
        Accel,
        Delay,
        IntegralLimit,
        Sens,
        Fails,
        Bypas,
        Sectrig,
        Ramp,
        Filter,
        Boost
    };
    struct Step {
        std::string request;                               // sent as a line, then a value is awaited
        Field field{};                                     // where the value goes
        std::function<std::vector<std::string>()> lines{}; // or lines to send (made when the step runs)
    };

    // A command that asks for values one after the other, then reports them.
    struct ValueCommand {
        const char* command;
        std::vector<std::pair<const char*, Field>> requests; // keyword, where the value goes
        std::vector<std::string> (*report)(const Settings&);
    };
    // A value's name in valuesReceived() and how it is stored.
    struct FieldRule {
        Field field;
        const char* name;
        void (*apply)(Settings&, int value);
    };
    static const ValueCommand valueCommands[];
    static const FieldRule fieldRules[];

    void run();
    void takeBytes(const char* data, size_t n, Clock::time_point now);
    void takeCommandByte(char b);
    void command_received(const std::string& cmd);
    void streamCommand(const std::string& cmd, Clock::time_point now);
    void startNextStep(Clock::time_point now);
    void finishValue(Clock::time_point now);
    void store(Field field, const std::string& text, bool got);
    void sendPairs(Clock::time_point now);
    void queueLine(const std::string& line);
    void flushOut();
    std::vector<std::string> listing() const;
    std::pair<int, int> nextCounts();
    Clock::time_point nextDeadline(Clock::time_point now) const;
    void wake();
    void shutDown();

    QString _portName;
    QString _linkPath;
    std::unique_ptr<SimPort> _port;

    mutable std::mutex _m;
    mutable std::condition_variable _receivedMore;
    std::atomic<bool> _stop{false};
    bool _hungUp = false;
    QByteArray _received;
    std::string _out; // bytes waiting for the terminal
    std::string _cmd; // command bytes so far
    std::deque<Step> _steps;
    bool _awaiting = false; // a request was sent and its value is being read
    Field _awaitField{};
    std::string _value;
    Clock::time_point _requestAt{};
    Clock::time_point _lastValueByte{};
    QStringList _values;
    Settings _settings;
    QStringList _listing;
    bool _listingSet = false;
    QStringList _faults{QStringLiteral("No Stored Faults")};

    bool _streaming = false;
    Clock::time_point _captureUntil{};
    bool _capturing = false;
    Pair _pair = Pair::Secondary;
    int _rate = 50;
    Clock::time_point _nextPair{};
    bool _fixed = false;
    int _count1 = 0;
    int _count2 = 0;
    int _sweep = 0;
    int _sweepDirection = 1;
    QByteArray _amps = "1.2";
    int _ampsEvery = 10;
    long long _pairs = 0;
    // A timed capture's length after "99"; a value is complete once the line has been quiet for the gap,
    // and a request gives its value up after the time-out, as on the controller.
    static constexpr std::chrono::milliseconds _captureDuration{15000};
    static constexpr std::chrono::milliseconds _valueGap{25};
    static constexpr std::chrono::milliseconds _valueTimeout{1000};

    std::thread _thread;
};

} // namespace DADOV
