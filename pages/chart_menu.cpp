#include "pages/chart_menu.h"

#include "logging/guarded.h"
#include "pages/desktop_shell.h"
#include "pages/diagnostics_page.h"
#include "pages/reading_recorder.h"
#include "pages/recording_file.h"
#include "pages/strip_chart.h"
#include "widgets/strip_chart_view.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPixmap>
#include <QSaveFile>

#include <algorithm>
#include <memory>

namespace DADOV {

namespace {

class ChartMenu : public QObject {
public:
    ChartMenu(DiagnosticsPage& page, QWidget& window, const DesktopShell& shell,
              std::weak_ptr<ReadingRecorder> recorder)
        : QObject(&page.chartView()), _page(page), _window(window), _shell(shell),
          _recorder(std::move(recorder)) {
        StripChartView* view = &page.chartView();
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this,
                [this](const QPoint& pos) { run_guarded(lcPages(), "popup", [this, &pos] { popup(pos); }); });
    }

private:
    void popup(const QPoint& pos) {
        const std::shared_ptr<ReadingRecorder> recorder = _recorder.lock();
        if (!recorder)
            return;
        StripChartView* view = &_page.chartView();
        auto* menu = new QMenu(view); // goes when it closes
        menu->setAttribute(Qt::WA_DeleteOnClose);
        const bool recording = recorder->recording();
        connect(menu->addAction(recording ? menu_stop_recording : menu_record), &QAction::triggered, this,
                guarded(lcPages(), recording ? "stop_recording" : "record",
                        [this, recording] { recording ? stop_recording() : record(); }));
        menu->addSeparator();
        connect(menu->addAction(menu_save_image), &QAction::triggered, this,
                guarded(lcPages(), "save_image", [this] { save_image(); }));
        connect(menu->addAction(menu_export_data), &QAction::triggered, this,
                guarded(lcPages(), "export_data", [this] { export_data(); }));
        menu->popup(view->mapToGlobal(pos));
    }

    void record() {
        const QString path = choose(QStringLiteral("Record Readings to CSV"), QStringLiteral("q5-readings"),
                                    QStringLiteral("csv"), QStringLiteral("CSV files (*.csv)"));
        if (const std::shared_ptr<ReadingRecorder> recorder = _recorder.lock(); recorder && !path.isEmpty())
            recorder->start(path);
    }

    void stop_recording() {
        if (const std::shared_ptr<ReadingRecorder> recorder = _recorder.lock())
            recorder->stop();
    }

    void save_image() {
        const QString path = choose(QStringLiteral("Save Chart Image"), QStringLiteral("q5-chart"),
                                    QStringLiteral("png"), QStringLiteral("PNG images (*.png)"));
        if (path.isEmpty())
            return;
        draw_collected_points();
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        picture_with_pair_title().save(&buffer, "PNG");
        write(QStringLiteral("Save Chart Image"), path, png);
    }

    void export_data() {
        const QString path = choose(QStringLiteral("Export Chart Data"), QStringLiteral("q5-chart"),
                                    QStringLiteral("csv"), QStringLiteral("CSV files (*.csv)"));
        if (path.isEmpty())
            return;
        draw_collected_points();
        const StripChart& chart = _page.stripChart();
        write(QStringLiteral("Export Chart Data"), path,
              chart_data_csv(chart.drawnPoints(StripChart::TPS1), chart.drawnPoints(StripChart::TPS2),
                             chart.drawnTimes(StripChart::TPS1), chart.drawnTimes(StripChart::TPS2),
                             pair_name(_page.TB())));
    }

    // The chart as it stands, with the pair charted for its title (in place of a recording's).
    QPixmap picture_with_pair_title() {
        StripChartView& view = _page.chartView();
        const QString title = view.title();
        const QColor colour = view.titleColour();
        view.setTitle(pair_title(_page.TB()));
        view.setTitleColour(Qt::black);
        const QPixmap picture = view.grab();
        view.setTitle(title);
        view.setTitleColour(colour);
        return picture;
    }

    // What is saved is what the chart shows: the readings collected since its last redraw go on first,
    // unless it is frozen.
    void draw_collected_points() { _page.stripChart().flush(); }

    // Asks for a file, offering a name with the date and time in the folder last used (the documents
    // folder at first, or home when there is none).
    QString choose(const QString& caption, const QString& stem, const QString& suffix,
                   const QString& filter) {
        const DesktopShell& desktop = _shell;
        if (!desktop.chooseSaveFile)
            return {};
        if (_folder.isEmpty())
            _folder = first_folder(desktop);
        const QString name =
            QStringLiteral("%1-%2.%3")
                .arg(stem, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")), suffix);
        const QString path = desktop.chooseSaveFile(&_window, caption, QDir(_folder).filePath(name), filter);
        if (!path.isEmpty())
            _folder = QFileInfo(path).absolutePath();
        return path;
    }

    void write(const QString& title, const QString& path, const QByteArray& contents) {
        const QString failure = write_whole_file(path, contents);
        if (failure.isEmpty())
            return;
        show_warning(_window, _shell, title,
                     QStringLiteral("Cannot write %1: %2.").arg(QDir::toNativeSeparators(path), failure));
    }

    DiagnosticsPage& _page;
    QWidget& _window;
    const DesktopShell& _shell;
    std::weak_ptr<ReadingRecorder> _recorder;
    QString _folder;
};

} // namespace

void install_chart_menu(DiagnosticsPage& page, QWidget& window, const DesktopShell& shell,
                        std::weak_ptr<ReadingRecorder> recorder) {
    new ChartMenu(page, window, shell, std::move(recorder)); // owned by the chart view
}

QByteArray chart_data_csv(const QList<int>& tps1, const QList<int>& tps2, const QList<qint64>& tps1Ms,
                          const QList<qint64>& tps2Ms, const char* pair) {
    QByteArray csv("sample,tps1_mv,tps2_mv,time_s,pair\n");
    const qsizetype rows = std::max(tps1.size(), tps2.size());
    csv.reserve(csv.size() + rows * 28);
    for (qsizetype i = 0; i < rows; ++i) {
        csv += QByteArray::number(i);
        csv += ',';
        if (i < tps1.size())
            csv += QByteArray::number(tps1[i]);
        csv += ',';
        if (i < tps2.size())
            csv += QByteArray::number(tps2[i]);
        csv += ',';
        const qint64 ms = tps2Ms.value(i, -1) >= 0 ? tps2Ms.value(i) : tps1Ms.value(i, -1);
        if (ms >= 0)
            csv += QByteArray::number(static_cast<double>(ms) / 1000.0, 'f', 3);
        csv += ',';
        csv += pair;
        csv += '\n';
    }
    return csv;
}

const char* pair_name(int pair) {
    static const char* const names[] = {"A", "B", "AB"};
    return pair >= 0 && pair <= 2 ? names[pair] : "";
}

QString pair_title(int pair) {
    static const char* const titles[] = {"TPS1A / TPS2A", "TPS1B / TPS2B", "TPS1A / TPS1B"};
    return pair >= 0 && pair <= 2 ? QString::fromLatin1(titles[pair]) : QString();
}

QString write_whole_file(const QString& path, const QByteArray& contents) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    // Written through the descriptor and synced here: QSaveFile's own writing loses the rest of a write
    // cut short by a full disk, and ignores a failed sync, and then commits the cut file all the same.
    int error = write_fully(file.handle(), contents.constData(), static_cast<std::size_t>(contents.size()));
    if (error == 0)
        error = sync_written_data(file.handle());
    if (error != 0) {
        file.cancelWriting();
        return QString::fromLocal8Bit(error_text(error));
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

} // namespace DADOV
