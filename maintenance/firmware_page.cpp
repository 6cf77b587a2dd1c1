// The q5 Firmware Update page: controller type, firmware files and reflashing the two MCUs.

#include "maintenance/firmware_page.h"

#include "logging/guarded.h"
#include "maintenance/console_window.h"
#include "maintenance/controller_types.h"
#include "maintenance/engine_busy.h"
#include "maintenance/file_locations.h"
#include "maintenance/working_files.h"
#include "ui_form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QThread>

#include <array>
#include <stdexcept>
#include <vector>

namespace DADOV {

namespace {

const QString update_failed =
    QStringLiteral("update failed - check controller type and file type match, check USB connection");
const QString update_process_error = QStringLiteral("update process error");

// The types whose working files go after a successful update, in the order they are deleted.
constexpr std::array<int, 3> main_deletion_order{2, 1, 0};        // q5_mainD, q5_main, q5_mainV2
constexpr std::array<int, 3> supervisory_deletion_order{2, 0, 1}; // q5_superD, q5_superV2, q5_super

// A page handler as a guarded slot that starts nothing while a procedure runs (its console holds user
// input back; this is the second line of defence).
template <typename F> auto page_slot(const Form1& form, const char* name, F handler) {
    return [&form, name, handler]() {
        if (EngineBusy::held(form))
            return;
        run_guarded(lcMaintenance(), name, handler);
    };
}

// The destination comes first: with no folder to copy to, no file is asked for, and none is shown as
// accepted.
void browse(Form1& form, bool supervisory) {
    QLineEdit* box = supervisory ? form.ui->textBox10 : form.ui->textBox5;
    Form1::FirmwarePage& page = *form.firmwarePage;
    const std::optional<QString> destination = find_working_path(page, working_file_name(type, supervisory));
    if (!destination) {
        box->setText(no_working_folder_message(page));
        return;
    }
    const QString chosen = page.chooseFile(&form, page.firmwareFolder);
    if (chosen.isEmpty())
        return;
    remember_firmware_folder(page, chosen);
    if (!file_name_accepted(type, supervisory, QFileInfo(chosen).fileName())) {
        box->setText(rejection_message(type, supervisory));
        return;
    }
    box->setText(QDir::toNativeSeparators(chosen));
    if (const QString failure = copy_working_file(chosen, *destination); !failure.isEmpty())
        box->setText(failure);
}

// The working files of every type go after a successful update; what could not be deleted is said.
QString update_done_message(Form1::FirmwarePage& page, bool supervisory) {
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
void update_mcu(Form1& form, bool supervisory) {
    QLineEdit* box = supervisory ? form.ui->textBox10 : form.ui->textBox5;
    Form1::FirmwarePage& page = *form.firmwarePage;
    const EngineBusy busy(form, form.timer1, form.serialPort1);
    try {
        if (page.console)
            page.console->clear();
        if (!supervisory) {
            MCU = false;
            form.Read_Device_ID();
        }
        for (retry = 0;; page.wait(1000)) {
            DeviceAttachedState = 0;
            const QString file = working_path(page, working_file_name(type, supervisory));
            const fwu::RunResult result = form.run_fw_update(
                update_arguments(type, supervisory, form.ui->checkBox9->isChecked(), file));
            if (result.success) {
                box->clear();
                box->setText(update_done_message(page, supervisory));
                break;
            }
            if (++retry >= 2) {
                box->setText(update_failed);
                break;
            }
        }
    } catch (...) {
        log_failure(lcMaintenance(), supervisory ? "supervisory MCU update" : "main MCU update");
        box->setText(update_process_error);
    }
    retry = 0;
}

} // namespace

Form1::FirmwarePage::FirmwarePage()
    : engine(fwu::run), chooseFile([](QWidget* parent, const QString& folder) {
          return QFileDialog::getOpenFileName(parent, QStringLiteral("Open"), folder,
                                              QStringLiteral("VMK (*.vmk)"));
      }),
      wait([](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); }),
      firmwareFolder(remembered_firmware_folder()),
      workingFolderCandidates{QCoreApplication::applicationDirPath(),
                              QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)} {}

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

void Form1::connect_maintenance_page() {
    // A type typed into the list chooses nothing: only its three types exist.
    ui->comboBox1->setInsertPolicy(QComboBox::NoInsert);
    firmwarePage = std::make_shared<FirmwarePage>();
    firmwarePage->console = new ConsoleWindow(this);

    connect(ui->comboBox1, &QComboBox::currentIndexChanged, this,
            page_slot(*this, "comboBox1_SelectedIndexChanged", [this] { comboBox1_SelectedIndexChanged(); }));
    connect(ui->button2, &QPushButton::clicked, this,
            page_slot(*this, "button2_Click_1", [this] { button2_Click_1(); }));
    connect(ui->button16, &QPushButton::clicked, this,
            page_slot(*this, "button16_Click", [this] { button16_Click(); }));
    connect(ui->button4, &QPushButton::clicked, this,
            page_slot(*this, "button4_Click", [this] { button4_Click(); }));
    connect(ui->button15, &QPushButton::clicked, this,
            page_slot(*this, "button15_Click", [this] { button15_Click(); }));
    connect(ui->button20, &QPushButton::clicked, this,
            page_slot(*this, "button20_Click", [this] { button20_Click(); }));
    connect(ui->button27, &QPushButton::clicked, this,
            page_slot(*this, "button27_Click", [this] { button27_Click(); }));
}

void Form1::comboBox1_SelectedIndexChanged() {
    ui->textBox5->clear();
    ui->textBox10->clear();
    switch (ui->comboBox1->currentIndex()) {
    case 0:
        type = 0;
        break;
    case 1:
        type = 2;
        break;
    case 2:
        type = 1;
        break;
    default:
        break; // nothing selected: the type stays
    }
}

void Form1::button2_Click_1() {
    browse(*this, false);
}

void Form1::button16_Click() {
    browse(*this, true);
}

void Form1::button4_Click() {
    update_mcu(*this, false);
}

void Form1::button15_Click() {
    update_mcu(*this, true);
}

fwu::RunResult Form1::run_fw_update(const QStringList& arguments) {
    FirmwarePage& page = *firmwarePage;
    // The engine is not re-entrant: its run is on this call stack.
    if (page.engineRunning)
        return {};
    const EngineBusy busy(*this, timer1, serialPort1);
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

    page.console->present();
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
