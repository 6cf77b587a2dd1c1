#include "maintenance/service_record_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace DADOV {

namespace {

constexpr int kShaColumn = 6;

} // namespace

ServiceRecordDialog::ServiceRecordDialog(const QString& recordFile, QWidget* parent)
    : QDialog(parent),
      chooseSaveFile([](QWidget* owner, const QString& caption, const QString& path, const QString& filter) {
          return QFileDialog::getSaveFileName(owner, caption, path, filter);
      }),
      _record(read_service_record(recordFile)), _filter(new QLineEdit(this)), _table(new QTableWidget(this)),
      _status(new QLabel(this)), _export(new QPushButton(QStringLiteral("Export..."), this)) {
    setWindowTitle(QStringLiteral("Service Record"));
    setObjectName(QStringLiteral("serviceRecordDialog"));
    _filter->setObjectName(QStringLiteral("unitIdFilter"));
    _filter->setPlaceholderText(QStringLiteral("Unit ID"));
    _filter->setAccessibleName(QStringLiteral("Filter by unit ID"));
    _table->setObjectName(QStringLiteral("serviceRecordTable"));
    _table->setColumnCount(10);
    _table->setHorizontalHeaderLabels(service_record_header.split(QLatin1Char(',')));
    _table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    _table->setSelectionBehavior(QAbstractItemView::SelectRows);
    _table->verticalHeader()->setVisible(false);
    _status->setObjectName(QStringLiteral("serviceRecordStatus"));
    _export->setObjectName(QStringLiteral("exportServiceRecord"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Unit ID:"), this));
    top->addWidget(_filter);
    top->addStretch();
    top->addWidget(_export);
    top->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(_table);
    layout->addWidget(_status);
    resize(980, 420);

    connect(_filter, &QLineEdit::textChanged, this, &ServiceRecordDialog::show_rows);
    connect(_export, &QPushButton::clicked, this, &ServiceRecordDialog::export_rows);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    show_rows();
}

QList<ServiceEntry> ServiceRecordDialog::shownEntries() const {
    QList<ServiceEntry> shown;
    const QString filter = _filter->text().trimmed();
    for (auto it = _record.entries.crbegin(); it != _record.entries.crend(); ++it) {
        if (filter.isEmpty() || it->unitId.contains(filter))
            shown << *it;
    }
    return shown;
}

void ServiceRecordDialog::show_rows() {
    const QList<ServiceEntry> shown = shownEntries();
    _table->setRowCount(int(shown.size()));
    for (int row = 0; row < shown.size(); ++row) {
        const QStringList cells = service_record_fields(shown[row]);
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column == kShaColumn && cells[column].size() > 12) {
                // The first 12 digits, as a release note gives them; the whole value in the tool tip.
                item->setText(cells[column].left(12));
                item->setToolTip(cells[column]);
            }
            _table->setItem(row, column, item);
        }
    }
    _table->resizeColumnsToContents();
    QString status = QStringLiteral("%1 of %2 rows").arg(shown.size()).arg(_record.entries.size());
    if (!_record.problems.isEmpty())
        status += QStringLiteral("; ") + _record.problems.join(QStringLiteral("; "));
    _status->setText(status);
    _export->setEnabled(!shown.isEmpty());
}

void ServiceRecordDialog::export_rows() {
    const QString path = chooseSaveFile(this, QStringLiteral("Export Service Record"),
                                        QDir::home().filePath(QStringLiteral("service-record-export.csv")),
                                        QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QByteArray text = service_record_header.toUtf8() + '\n';
    for (const ServiceEntry& entry : shownEntries())
        text += service_record_row(entry).toUtf8() + '\n';
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        _status->setText(QStringLiteral("Export failed: cannot write %1: %2")
                             .arg(QDir::toNativeSeparators(path), file.errorString()));
        return;
    }
    _status->setText(QStringLiteral("Exported %1 rows to %2")
                         .arg(shownEntries().size())
                         .arg(QDir::toNativeSeparators(path)));
}

} // namespace DADOV
