#pragma once

// The q5 Firmware Update page: controller type, firmware files, reflashing the main and supervisory MCU
// (firmware_page.cpp), and the device ID (device_id.cpp). Every engine run holds the window still (an
// EngineBusy scope) and shows its output in the engine's console.

#include "fw_update/hid.h"
#include "fw_update/session.h"
#include "maintenance/firmware_check.h"
#include "pages/page_context.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QDialog;
class QTimer;

namespace DADOV {

class AttachmentMonitor;
class ConsoleWindow;

class FirmwarePage : public QObject {
    Q_OBJECT

public:
    FirmwarePage(const PageContext& context, AttachmentMonitor& monitor, QObject* parent = nullptr);

    // The page's state.
    int type() const { return _type; } // controller type: 0 V2 Digital/Analog, 1 Analog, 2 V1 Digital/Analog
    bool MCU() const { return _MCU; }  // MCU the ID read addresses; false: the main MCU
    int retry() const { return _retry; } // failed attempts of the update in progress

    // The page's controls' handlers, the ID read and write, and one engine run with the page's console,
    // log and HID access (refused, a failed result, while one runs).
    void comboBox1_SelectedIndexChanged();
    void button2_Click_1();
    void button16_Click();
    void button4_Click();
    void button15_Click();
    void button20_Click();
    void button27_Click();
    // "Service Record...": the record's rows in a dialog (maintenance/service_record_dialog.h).
    void serviceRecordButton_Click();
    void Read_Device_ID();
    void write_serial();
    fwu::RunResult run_fw_update(const QStringList& arguments);

    // What the page needs of the world, replaceable by tests and simulate mode.

    // The engine: fwu::run unless replaced. Each run gets a session of its own: the console's streams, the
    // log beside the working files, and hidBackend.
    std::function<fwu::RunResult(fwu::Session& session, int argc, const char* const* argv)> engine;
    // The bootloaders' HID access: the platform's when none is set (simulate mode sets its own).
    std::shared_ptr<fwu::HidBackend> hidBackend;
    // The open-file dialog: the chosen file's full path, or an empty text when the user cancels.
    std::function<QString(QWidget* parent, const QString& folder)> chooseFile;
    // A fixed wait on the window thread: nothing else runs meanwhile.
    std::function<void(int ms)> wait;
    // The folder the file dialog opens in: the one of the last file chosen (maintenance/file_locations.h).
    QString firmwareFolder;
    // Whether that folder is kept in the user's settings for the next runs.
    bool rememberFolder = true;
    // Where the working files and the ID file go; when empty, the first usable of workingFolderCandidates
    // is chosen at first use.
    QString workingFolder;
    // The executable's folder (unless it is a system location), then the per-user application data folder.
    QStringList workingFolderCandidates;

    // The service record every engine run of the page appends to (maintenance/service_record.h), and the
    // tool's version it names.
    QString serviceRecordFile;
    QString toolVersion;
    // Shows the service record's dialog modally (tests look at it instead).
    std::function<void(QDialog& dialog)> showDialog;
    // The engine's console, created with the first run; owned by the window.
    ConsoleWindow* console = nullptr;
    // An engine run is on the call stack (the engine is not re-entrant).
    bool engineRunning = false;

private:
    void connect_handlers();
    void browse(bool supervisory);
    void show_check(bool supervisory, const std::optional<FirmwareCheck>& check);
    // Before an update, the working file is checked again, whoever put it there: when something is wrong,
    // whether the user wants it flashed all the same (No is the default). True for a sound file, and for
    // one that cannot be read, which the engine then reports as always.
    bool flash_anyway(bool supervisory, const QString& workingFile);
    void update_mcu(bool supervisory);
    // An engine run that the service record keeps: `action` on the MCU, with `file` (empty for none).
    fwu::RunResult run_recorded(const QStringList& arguments, const QString& action, bool supervisory,
                                const QString& file);

    PageContext _context;
    Ui::Form1& ui;
    AttachmentMonitor& _monitor;
    int _type = 0;
    bool _MCU = false;
    int _retry = 0;
    QString _lastUnitId; // the last ID read this run of the tool
};

// The first of the folders in which files can be created (each created when missing). Empty when none
// can be used.
QString choose_working_folder(const QStringList& candidates);

// Product ID ("0xff01") and working file name ("q5_mainV2.vmk") of an MCU for a controller type.
QString product_id(int controllerType, bool supervisory);
QString working_file_name(int controllerType, bool supervisory);
// Whether a firmware file's bare name fits the controller type and MCU, and the text when it does not.
bool file_name_accepted(int controllerType, bool supervisory, const QString& bareName);
QString rejection_message(int controllerType, bool supervisory);

// Argument vectors of the engine.
QStringList update_arguments(int controllerType, bool supervisory, bool verify, const QString& workingFile);
QStringList id_read_arguments(int controllerType);
QStringList id_write_arguments(const QString& idFile);

// The data record of the ID file for an eight-digit ID (":08000000" ... checksum), or nothing when the
// text is not eight decimal digits.
std::optional<QString> id_data_record(const QString& digits);

} // namespace DADOV
