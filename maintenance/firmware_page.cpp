// The q5 Firmware Update page: controller type, firmware files and reflashing the two MCUs.

#include "maintenance/firmware_page.h"

#include "link/attachment_monitor.h"
#include "link/serial_link.h"
#include "logging/guarded.h"
#include "maintenance/console_window.h"
#include "maintenance/controller_types.h"
#include "maintenance/engine_busy.h"
#include "maintenance/file_locations.h"
#include "maintenance/service_record.h"
#include "maintenance/service_record_dialog.h"
#include "maintenance/working_files.h"
#include "pages/desktop_shell.h"
#include "ui_form1.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QThread>

#include <cstdlib>

#include <array>
#include <stdexcept>
#include <vector>

namespace DADOV {

namespace {

// The update instructions of the firmware page: seven paragraphs, an empty line between two.
const char* const update_instructions[] = {
    "1. Select the correct controller type (12/2018 and later are Dual mode Digital/Analog).",
    "2. Browse to and select the new \"main/mainD\" and/or \"super/superD\" firmware files (file names "
    "ending in \"D\" are for dual mode controllers).",
    "3. With the q5 powered down, connect the USB cable. The unit will enter update mode. The green LED "
    "switch must be depressed while connecting to the primary controller.",
    "4. Primary controller:  Click the \"Update Main MCU\" button.  If the controller was purchased prior to "
    "2019, be sure to keep the calibration switch depressed. until the operation is completed to 100%\"  "
    "For newer units, the switch may be released once the cable has been connected.",
    "5. Supervisory controller:  Disconnect and reconnect the USB cable without pressing any switches. "
    "Select the appropriate \"super\" file and click on the \"Update Supervisory  MCU\" button. Wait for the "
    "operation to complete.",
    "6. Repeat steps 4 or 5 if either reflash does not complete to 100%\"",
    "7. Disconnect the USB cable. Power up and recalibrate the controller.",
};

const QString update_failed =
    QStringLiteral("update failed - check controller type and file type match, check USB connection");
const QString update_process_error = QStringLiteral("update process error");

// The types whose working files go after a successful update, in the order they are deleted.
constexpr std::array<int, 3> main_deletion_order{2, 1, 0};        // q5_mainD, q5_main, q5_mainV2
constexpr std::array<int, 3> supervisory_deletion_order{2, 0, 1}; // q5_superD, q5_superV2, q5_super

// A page handler as a guarded slot that starts nothing while a procedure runs (its console holds user
// input back; this is the second line of defence).
template <typename F> auto page_slot(const QWidget& window, const char* name, F handler) {
    return [&window, name, handler]() {
        if (EngineBusy::held(window))
            return;
        run_guarded(lcMaintenance(), name, handler);
    };
}

// The destination comes first: with no folder to copy to, no file is asked for, and none is shown as
// accepted.
} // namespace

void FirmwarePage::browse(bool supervisory) {
    QLineEdit* box = supervisory ? ui.textBox10 : ui.textBox5;
    FirmwarePage& page = *this;
    const std::optional<QString> destination = find_working_path(page, working_file_name(_type, supervisory));
    if (!destination) {
        box->setText(no_working_folder_message(page));
        return;
    }
    const QString chosen = page.chooseFile(&_context.window, page.firmwareFolder);
    if (chosen.isEmpty())
        return;
    remember_firmware_folder(page, chosen);
    if (!file_name_accepted(_type, supervisory, QFileInfo(chosen).fileName())) {
        box->setText(rejection_message(_type, supervisory));
        return;
    }
    box->setText(QDir::toNativeSeparators(chosen));
    if (const QString failure = copy_working_file(chosen, *destination); !failure.isEmpty()) {
        box->setText(failure);
        show_check(supervisory, std::nullopt);
        return;
    }
    // What will be flashed is the working copy: it is the one checked.
    show_check(supervisory, check_firmware_file(*destination));
}

void FirmwarePage::show_check(bool supervisory, const std::optional<FirmwareCheck>& check) {
    QLabel* label = supervisory ? ui.fileCheck10 : ui.fileCheck5;
    if (!check) {
        label->clear();
        label->setToolTip(QString());
        return;
    }
    // Two lines at most: what the file holds, and in the warning colour what is wrong, each cut to the
    // label's width; the whole check in the tool tip.
    const QFontMetrics metrics(label->font());
    auto fitted = [&](const QString& text) {
        return metrics.elidedText(text, Qt::ElideRight, label->width()).toHtmlEscaped();
    };
    QString html = fitted(check->facts);
    if (!check->problems.isEmpty())
        html += QStringLiteral("<br><span style=\"color:#ff9f1a\">%1</span>")
                    .arg(fitted(check->problems.join(QStringLiteral("; "))));
    label->setText(html);
    label->setToolTip(check->summary());
}

bool FirmwarePage::flash_anyway(bool supervisory, const QString& workingFile) {
    if (!QFileInfo(workingFile).isFile())
        return true;
    const std::optional<FirmwareCheck> check = check_firmware_file(workingFile);
    if (check->problems.isEmpty() || check->problems == QStringList{cannot_be_read})
        return true;
    QMessageBox box(
        QMessageBox::Warning, QStringLiteral("Firmware File"),
        QStringLiteral("The firmware file for the %1 MCU may be damaged:\n- %2\n\nFlash it anyway?")
            .arg(supervisory ? QStringLiteral("supervisory") : QStringLiteral("main"),
                 check->problems.join(QStringLiteral("\n- "))),
        QMessageBox::Yes | QMessageBox::No, &_context.window);
    box.setDefaultButton(QMessageBox::No);
    _context.shell.show(box);
    return box.clickedButton() == box.button(QMessageBox::Yes);
}

namespace {

// The page's controls, in global coordinates: what the console keeps clear of when it opens over the window.
QRect controls_area(const QWidget& page) {
    QRect area;
    for (const QWidget* w : page.findChildren<QWidget*>()) {
        if (w->isVisible() && (qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
                               qobject_cast<const QComboBox*>(w)))
            area |= QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
    }
    return area;
}

// The working files of every type go after a successful update; what could not be deleted is said.
QString update_done_message(FirmwarePage& page, bool supervisory) {
    QStringList failures;
    for (int kind : supervisory ? supervisory_deletion_order : main_deletion_order) {
        const QString failure = delete_working_file(working_path(page, working_file_name(kind, supervisory)));
        if (!failure.isEmpty())
            failures << failure;
    }
    QString done = supervisory ? QStringLiteral("reflash of supervisory MCU complete - recalibrate device")
                               : QStringLiteral("reflash of main MCU complete - recalibrate device");
    if (!failures.isEmpty())
        done += QStringLiteral("; ") + failures.join(QStringLiteral("; "));
    return done;
}

// A reflash: the main MCU's ID is read first; a failed attempt is tried once more after a second's pause.
} // namespace

void FirmwarePage::update_mcu(bool supervisory) {
    QLineEdit* box = supervisory ? ui.textBox10 : ui.textBox5;
    FirmwarePage& page = *this;
    // Asked first: No leaves everything as it was.
    if (const std::optional<QString> file = find_working_path(page, working_file_name(_type, supervisory));
        file && !flash_anyway(supervisory, *file))
        return;
    const EngineBusy busy(_context.window, _monitor.timer1, _context.link);
    try {
        if (page.console)
            page.console->clear();
        if (!supervisory) {
            _MCU = false;
            Read_Device_ID();
        }
        for (_retry = 0;; page.wait(1000)) {
            _monitor.forget_attachment();
            const QString file = working_path(page, working_file_name(_type, supervisory));
            const fwu::RunResult result =
                run_recorded(update_arguments(_type, supervisory, ui.checkBox9->isChecked(), file),
                             QStringLiteral("update"), supervisory, file);
            if (result.success) {
                box->clear();
                box->setText(update_done_message(page, supervisory));
                break;
            }
            if (++_retry >= 2) {
                box->setText(update_failed);
                break;
            }
        }
    } catch (...) {
        log_failure(lcMaintenance(), supervisory ? "supervisory MCU update" : "main MCU update");
        box->setText(update_process_error);
    }
    _retry = 0;
}

FirmwarePage::FirmwarePage(const PageContext& context, AttachmentMonitor& monitor, QObject* parent)
    : QObject(parent), engine(fwu::run), chooseFile([](QWidget* owner, const QString& folder) {
          return QFileDialog::getOpenFileName(owner, QStringLiteral("Open"), folder,
                                              QStringLiteral("VMK (*.vmk)"));
      }),
      wait([](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); }),
      firmwareFolder(remembered_firmware_folder()),
      workingFolderCandidates(
          working_folder_candidates(QCoreApplication::applicationDirPath(),
                                    QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))),
      serviceRecordFile(service_record_path()), showDialog([](QDialog& dialog) { dialog.exec(); }),
      _context(context), ui(context.ui), _monitor(monitor) {
    ui.button20->setToolTip(QStringLiteral("Connect USB cable and click this button if you simply wish  to "
                                           "retrieve Device ID.\r\nID is retrieved automatically during a "
                                           "reflash procedure."));
    ui.label26->setText(
        QStringLiteral("For units built prior to 9/19 you must depress and hold the Calibration "
                       "Switch untril reflashing is complete.\r\nFor later units, depress the "
                       "switch while making the USB connection. Then you may release it."));
    QStringList paragraphs;
    for (const char* paragraph : update_instructions)
        paragraphs << QString::fromUtf8(paragraph);
    ui.textBox11->setText(paragraphs.join(QStringLiteral("\r\n\r\n")));

    // A type typed into the list chooses nothing: only its three types exist.
    ui.comboBox1->setInsertPolicy(QComboBox::NoInsert);
    console = new ConsoleWindow(&_context.window);
    connect_handlers();
}

QString product_id(int controllerType, bool supervisory) {
    const ControllerType& kind = controller_type(controllerType);
    return id_option(supervisory ? kind.super_pid : kind.main_pid);
}

QString working_file_name(int controllerType, bool supervisory) {
    const ControllerType& kind = controller_type(controllerType);
    return QString::fromLatin1(supervisory ? kind.super_file : kind.main_file);
}

bool file_name_accepted(int controllerType, bool supervisory, const QString& bareName) {
    const QString stem = supervisory ? QStringLiteral("q5_super") : QStringLiteral("q5_main");
    switch (controllerType) {
    case 1:
        return bareName.contains(stem) && !bareName.contains(QLatin1Char('D')) &&
               !bareName.contains(QLatin1Char('d'));
    case 2:
        return bareName.contains(stem + QLatin1Char('D')) || bareName.contains(stem + QLatin1Char('d'));
    case 0:
        return bareName.contains(stem + QStringLiteral("V2")) ||
               bareName.contains(stem + QStringLiteral("v2"));
    default:
        return false;
    }
}

QString rejection_message(int controllerType, bool supervisory) {
    return QStringLiteral("Selected file does not match selected controller type - ") +
           QString::fromLatin1(controller_type(controllerType).rejection_name) +
           (supervisory ? QStringLiteral(", Supervisory") : QStringLiteral(", Primary"));
}

QStringList update_arguments(int controllerType, bool supervisory, bool verify, const QString& workingFile) {
    QStringList args{QStringLiteral("fw_update"), QStringLiteral("-e"), QStringLiteral("-w")};
    if (verify)
        args << QStringLiteral("-v");
    args << QStringLiteral("-t") << QStringLiteral("NO") << QStringLiteral("-vid")
         << id_option(bootloader_vendor_id) << QStringLiteral("-pid")
         << product_id(controllerType, supervisory) << QStringLiteral("-ix") << workingFile;
    return args;
}

QString choose_working_folder(const QStringList& candidates) {
    const auto usable = [](const QString& dir) {
        if (dir.isEmpty() || !QDir().mkpath(dir))
            return false;
        QTemporaryFile probe(dir + QStringLiteral("/.q5tool-probe-XXXXXX"));
        return probe.open();
    };
    for (const QString& dir : candidates) {
        if (usable(dir))
            return dir;
    }
    return {};
}

void FirmwarePage::connect_handlers() {
    const auto slot = [this](const char* name, auto handler) {
        return page_slot(_context.window, name, handler);
    };
    connect_page_handlers<QComboBox>(
        this, &QComboBox::currentIndexChanged, slot,
        {{ui.comboBox1, "comboBox1_SelectedIndexChanged", &FirmwarePage::comboBox1_SelectedIndexChanged}});
    connect_page_handlers<QAbstractButton>(
        this, &QAbstractButton::clicked, slot,
        {{ui.button2, "button2_Click_1", &FirmwarePage::button2_Click_1},
         {ui.button16, "button16_Click", &FirmwarePage::button16_Click},
         {ui.button4, "button4_Click", &FirmwarePage::button4_Click},
         {ui.button15, "button15_Click", &FirmwarePage::button15_Click},
         {ui.button20, "button20_Click", &FirmwarePage::button20_Click},
         {ui.button27, "button27_Click", &FirmwarePage::button27_Click},
         {ui.serviceRecordButton, "serviceRecordButton_Click", &FirmwarePage::serviceRecordButton_Click}});
}

void FirmwarePage::comboBox1_SelectedIndexChanged() {
    ui.textBox5->clear();
    ui.textBox10->clear();
    show_check(false, std::nullopt);
    show_check(true, std::nullopt);
    switch (ui.comboBox1->currentIndex()) {
    case 0:
        _type = 0;
        break;
    case 1:
        _type = 2;
        break;
    case 2:
        _type = 1;
        break;
    default:
        break; // nothing selected: the type stays
    }
}

void FirmwarePage::button2_Click_1() {
    browse(false);
}

void FirmwarePage::button16_Click() {
    browse(true);
}

void FirmwarePage::serviceRecordButton_Click() {
    ServiceRecordDialog dialog(serviceRecordFile, &_context.window);
    dialog.chooseSaveFile = _context.shell.chooseSaveFile;
    showDialog(dialog);
}

void FirmwarePage::button4_Click() {
    update_mcu(false);
}

void FirmwarePage::button15_Click() {
    update_mcu(true);
}

fwu::RunResult FirmwarePage::run_recorded(const QStringList& arguments, const QString& action,
                                          bool supervisory, const QString& file) {
    const fwu::RunResult result = run_fw_update(arguments);
    if (!console)
        return result; // not run (another run is under way)
    ServiceEntry entry;
    // Local time with its offset written out, also at UTC ("+00:00", never "Z").
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc();
    entry.time = now.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) +
                 QStringLiteral("%1%2:%3")
                     .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                     .arg(std::abs(offset) / 3600, 2, 10, QLatin1Char('0'))
                     .arg(std::abs(offset) % 3600 / 60, 2, 10, QLatin1Char('0'));
    if (action == QLatin1String("id_read") && result.success && result.serial_index >= result.serial.size()) {
        QString id;
        for (const std::uint8_t byte : result.serial)
            id += QString::number(static_cast<std::int8_t>(byte));
        _lastUnitId = id;
    }
    entry.unitId = _lastUnitId;
    entry.mcu = supervisory ? QStringLiteral("supervisory") : QStringLiteral("main");
    entry.controllerType = ui.comboBox1->currentText();
    entry.action = action;
    if (!file.isEmpty()) {
        entry.file = QFileInfo(file).fileName();
        QFile contents(file);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (contents.open(QIODevice::ReadOnly) && hash.addData(&contents))
            entry.sha256 = QString::fromLatin1(hash.result().toHex());
    }
    entry.result = result.success ? QStringLiteral("completed") : QStringLiteral("failed");
    if (!result.success) {
        // The engine's last line that says what went wrong: not its closing lines, nor the page's line that
        // names the log.
        const QStringList lines = console->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
            const QString line = it->trimmed();
            if (!line.isEmpty() && line != QLatin1String("You may close this window.") &&
                line != QLatin1String("Operation aborted.") && !line.startsWith(log_file_line(QString()))) {
                entry.detail = line;
                break;
            }
        }
    }
    entry.toolVersion = toolVersion;
    if (const QString failure = append_service_entry(serviceRecordFile, entry); !failure.isEmpty()) {
        console->out() << "The service record was not written: " << failure.toLocal8Bit().constData() << '\n';
        console->out().flush();
    }
    return result;
}

fwu::RunResult FirmwarePage::run_fw_update(const QStringList& arguments) {
    FirmwarePage& page = *this;
    // The engine is not re-entrant: its run is on this call stack.
    if (page.engineRunning)
        return {};
    const EngineBusy busy(_context.window, _monitor.timer1, _context.link);
    page.engineRunning = true;
    const auto done = qScopeGuard([&] { page.engineRunning = false; });

    std::vector<QByteArray> storage;
    std::vector<const char*> argv;
    storage.reserve(static_cast<std::size_t>(arguments.size()));
    for (const QString& a : arguments) {
        storage.push_back(QFile::encodeName(a));
        argv.push_back(storage.back().constData());
    }
    argv.push_back(nullptr);

    page.console->present(controls_area(*ui.tabPage3));
    const EngineLog log(page); // log.txt beside the working files
    if (!page.hidBackend)
        page.hidBackend = fwu::platform_hid_backend();
    fwu::Session session(page.console->out(), page.console->err(), log.file(), page.hidBackend);
    const fwu::RunResult result = page.engine(session, static_cast<int>(arguments.size()), argv.data());
    page.console->out().flush();
    log.report(*page.console, result.success);
    return result;
}

} // namespace DADOV
