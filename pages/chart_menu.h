#pragma once

// The Diagnostics chart's right-click menu: record the readings to a CSV file (pages/reading_recorder.h),
// save the chart as a PNG picture, and export the points it shows as CSV. Files are asked for through the
// desktop shell; pictures and exports are written whole or not at all.

#include <QByteArray>
#include <QList>
#include <QPointF>
#include <QString>

#include <memory>

class QWidget;

namespace DADOV {

class DiagnosticsPage;
class ReadingRecorder;
struct DesktopShell;

inline const QString menu_record = QStringLiteral("Record Readings to CSV...");
inline const QString menu_stop_recording = QStringLiteral("Stop Recording");
inline const QString menu_save_image = QStringLiteral("Save Chart Image...");
inline const QString menu_export_data = QStringLiteral("Export Chart Data...");

// Gives the Diagnostics page's chart its menu, with the page's recorder; the menu is owned by the chart
// view.
void install_chart_menu(DiagnosticsPage& page, QWidget& window, const DesktopShell& shell,
                        std::weak_ptr<ReadingRecorder> recorder);

// The readings of the two series as CSV: the header "sample,tps1_mv,tps2_mv,time_s,pair", then one row per
// index, a cell empty where its series has no point. time_s: seconds since the capture's start, to the
// millisecond, of the TPS2 reading (else the TPS1 reading) of the row, empty when not known; pair: the pair
// charted (A, B or AB), as in a recording.
QByteArray chart_data_csv(const QList<int>& tps1, const QList<int>& tps2, const QList<qint64>& tps1Ms,
                          const QList<qint64>& tps2Ms, const char* pair);

// The pair charted as a recording names it (A, B, AB), and as the chart's picture names it in its title.
const char* pair_name(int pair);
QString pair_title(int pair);

// Writes the file whole, or leaves what was there (QSaveFile). Empty on success, else the reason.
QString write_whole_file(const QString& path, const QByteArray& contents);

} // namespace DADOV
