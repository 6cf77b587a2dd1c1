#pragma once

// The "Service Record" dialog of the firmware page: the record's rows in a table, newest first (the SHA-256
// by its first 12 digits, whole in the tool tip), a filter by unit ID, and "Export..." of the rows shown to a
// CSV file of their own. Lines of the file that are not
// whole rows are named under the table.

#include "maintenance/service_record.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace DADOV {

class ServiceRecordDialog : public QDialog {
    Q_OBJECT

public:
    ServiceRecordDialog(const QString& recordFile, QWidget* parent = nullptr);

    // Asks for the file to export to (empty: cancelled); the desktop's save dialog by default.
    std::function<QString(QWidget* parent, const QString& caption, const QString& path,
                          const QString& filter)>
        chooseSaveFile;

    // The rows shown, newest first, after the filter.
    QList<ServiceEntry> shownEntries() const;

private:
    void show_rows();
    void export_rows();

    ServiceRecord _record;
    QLineEdit* _filter;
    QTableWidget* _table;
    QLabel* _status;
    QPushButton* _export;
};

} // namespace DADOV
