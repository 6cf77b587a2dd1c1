#pragma once

// Recording of the Diagnostics readings: one CSV row per reading pair as the reply parser takes it, every
// pair and not only those the chart keeps, until the recording is stopped or the window goes. It carries
// on across unplugging and replugging the controller. While it runs the chart's title names the file.
//
//   time_s,pair,tps1_mv,tps2_mv,sum_mv,amps
//   0.004,B,2500,2490,4990,
//   0.025,B,2500,2490,4990,4.22
//
// time_s: seconds since the recording started, to the millisecond; pair: A, B or AB, the pair selected
// when the reading came; sum_mv: empty for AB, whose sum means nothing; amps: the last motor current
// received since the recording started or the pair changed, empty when none.
//
// The rows reach the disk through a RecordingFile (at least once a second). While the recording runs the
// chart's title also gives the rows recorded and the file's size, updated once a second. When the file
// cannot be written, the recording stops and a message box names the file and the reason.

#include "pages/recording_file.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

class QWidget;

namespace DADOV {

class StripChartView;

struct DesktopShell;

class ReadingRecorder : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kHeader = "time_s,pair,tps1_mv,tps2_mv,sum_mv,amps\n";

    // The chart view whose title shows the recording; its message boxes go over the window.
    ReadingRecorder(StripChartView& view, QWidget& window, const DesktopShell& shell);
    // Ends a recording complete.
    ~ReadingRecorder() override;

    ReadingRecorder(const ReadingRecorder&) = delete;
    ReadingRecorder& operator=(const ReadingRecorder&) = delete;

    // Starts recording to the file (ending a recording that runs). False, with a message box (shown once
    // the event loop gets its turn) and lastMessage() set, when the file cannot be written.
    bool start(const QString& path);
    // Ends the recording; the file then holds every row. A failure on the way shows a message box.
    void stop();
    bool recording() const { return _file != nullptr; }
    // The file being recorded to, or the last one.
    QString path() const { return _path; }
    // The text of the last message box.
    QString lastMessage() const { return _lastMessage; }

    // From the reply parser: a reading pair, with the pair selected (0 A, 1 B, 2 A and B), and a motor
    // current. Nothing happens while no recording runs.
    void pair(int selectedPair, int tps1Millivolts, int tps2Millivolts);
    void motorCurrent(double amps);

    // How often the rows of the recordings started from now on reach the disk (tests shorten it).
    std::chrono::milliseconds syncInterval = RecordingFile::kSyncInterval;

signals:
    void recordingChanged(bool recording);

private:
    void writing_failed(quint64 generation, const RecordingFile::Failure& failure);
    void end(bool quietly);
    void show_state();
    void show_progress();
    void tell(const QString& title, const QString& text);

    StripChartView& _view;
    QWidget& _window;
    const DesktopShell& _shell;
    std::unique_ptr<RecordingFile> _file;
    QString _path;
    QString _lastMessage;
    QElapsedTimer _clock;
    QTimer _titleUpdate; // once a second while recording
    quint64 _rows = 0;
    std::optional<double> _amps;
    int _lastPair = -1;
    quint64 _generation = 0; // tells a late failure report of an earlier recording apart
};

} // namespace DADOV
