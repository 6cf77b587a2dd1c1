#include "pages/reading_recorder.h"

#include "logging/guarded.h"
#include "pages/chart_menu.h"
#include "pages/desktop_shell.h"
#include "widgets/strip_chart_view.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMetaObject>
#include <QTimer>

#include <array>
#include <charconv>
#include <cstdio>

namespace DADOV {

namespace {

char* put(char* p, char* end, long long value) {
    return std::to_chars(p, end, value).ptr;
}

char* put(char* p, char* end, const char* text) {
    while (*text != '\0' && p != end)
        *p++ = *text++;
    return p;
}

} // namespace

ReadingRecorder::ReadingRecorder(StripChartView& view, QWidget& window, const DesktopShell& shell)
    : _view(view), _window(window), _shell(shell) {
    _titleUpdate.setInterval(1000);
    connect(&_titleUpdate, &QTimer::timeout, this,
            guarded(lcPages(), "show_progress", [this] { show_progress(); }));
}

ReadingRecorder::~ReadingRecorder() {
    end(true);
}

bool ReadingRecorder::start(const QString& path) {
    stop();
    const QString shown = QDir::toNativeSeparators(path);
    const quint64 generation = ++_generation;
    std::string reason;
    _file = RecordingFile::create(
        QFile::encodeName(path).toStdString(), kHeader,
        [this, generation](const RecordingFile::Failure& failure) {
            // On the writer's thread: the window thread takes it up.
            QMetaObject::invokeMethod(
                this,
                guarded(lcPages(), "writing_failed",
                        [this, generation, failure] { writing_failed(generation, failure); }),
                Qt::QueuedConnection);
        },
        reason, syncInterval);
    _path = path;
    if (!_file) {
        tell(QStringLiteral("Record Readings"),
             QStringLiteral("Cannot record to %1: %2.").arg(shown, QString::fromLocal8Bit(reason)));
        return false;
    }
    _clock.start();
    _rows = 0;
    _amps.reset();
    _lastPair = -1;
    show_state();
    return true;
}

void ReadingRecorder::stop() {
    end(false);
}

void ReadingRecorder::end(bool quietly) {
    if (!_file)
        return;
    const RecordingFile::Failure failure = _file->finish();
    _file.reset();
    if (!quietly) {
        show_state();
        if (!failure.reason.empty())
            writing_failed(_generation, failure);
    } else if (!failure.reason.empty()) {
        // The window is going: no box any more.
        std::fprintf(stderr, "q5tool: recording to %s failed: %s\n", QFile::encodeName(_path).constData(),
                     failure.reason.c_str());
    }
}

void ReadingRecorder::writing_failed(quint64 generation, const RecordingFile::Failure& failure) {
    if (generation != _generation)
        return; // an earlier recording's, already ended
    if (_file) {
        _file->finish();
        _file.reset();
        show_state();
    }
    QString text = QStringLiteral("Recording to %1 stopped: %2.")
                       .arg(QDir::toNativeSeparators(_path), QString::fromLocal8Bit(failure.reason));
    if (failure.rowsKept)
        text += QStringLiteral(" The rows recorded until then are kept.");
    ++_generation; // told once
    tell(QStringLiteral("Recording Stopped"), text);
}

void ReadingRecorder::pair(int selectedPair, int tps1Millivolts, int tps2Millivolts) {
    if (!_file || selectedPair < 0 || selectedPair > 2)
        return;
    if (selectedPair != _lastPair) {
        if (_lastPair != -1)
            _amps.reset(); // another pair: the current read before does not belong to it
        _lastPair = selectedPair;
    }
    std::array<char, 160> row{};
    char* p = row.data();
    char* const end = row.data() + row.size();
    const qint64 ms = _clock.elapsed();
    p = put(p, end, ms / 1000);
    *p++ = '.';
    const long long fraction = ms % 1000;
    *p++ = static_cast<char>('0' + fraction / 100);
    *p++ = static_cast<char>('0' + fraction / 10 % 10);
    *p++ = static_cast<char>('0' + fraction % 10);
    *p++ = ',';
    p = put(p, end, pair_name(selectedPair));
    *p++ = ',';
    p = put(p, end, tps1Millivolts);
    *p++ = ',';
    p = put(p, end, tps2Millivolts);
    *p++ = ',';
    if (selectedPair != 2)
        p = put(p, end, static_cast<long long>(tps1Millivolts) + tps2Millivolts);
    *p++ = ',';
    if (_amps)
        p = std::to_chars(p, end, *_amps, std::chars_format::general, 15).ptr;
    *p++ = '\n';
    _file->append(std::string_view(row.data(), static_cast<std::size_t>(p - row.data())));
    ++_rows;
}

void ReadingRecorder::motorCurrent(double amps) {
    if (_file)
        _amps = amps;
}

// The chart's title names the file while a recording runs.
void ReadingRecorder::show_state() {
    StripChartView* view = &_view;
    view->setTitleColour(Qt::red);
    view->setTitle(recording() ? QStringLiteral("Recording to ") + QFileInfo(_path).fileName() : QString());
    view->setToolTip(recording() ? QStringLiteral("Recording to ") + QDir::toNativeSeparators(_path)
                                 : QString());
    if (recording())
        _titleUpdate.start();
    else
        _titleUpdate.stop();
    emit recordingChanged(recording());
}

// Once a second: the rows recorded and the size of the file as it stands on the disk.
void ReadingRecorder::show_progress() {
    if (!recording())
        return;
    const QString title = QStringLiteral("Recording to %1: %2 rows, %3")
                              .arg(QFileInfo(_path).fileName())
                              .arg(_rows)
                              .arg(QLocale().formattedDataSize(QFileInfo(_path).size()));
    _view.setTitle(title);
}

// The box comes once the event loop has its turn, so that no caller waits on the user.
void ReadingRecorder::tell(const QString& title, const QString& text) {
    _lastMessage = text;
    QTimer::singleShot(0, this, guarded(lcPages(), "tell", [this, title, text] {
                           show_warning(_window, _shell, title, text);
                       }));
}

} // namespace DADOV
