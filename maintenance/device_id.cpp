// The device ID: reading it from the main MCU's id memory and assigning a new one.

#include "maintenance/firmware_page.h"

#include "logging/guarded.h"
#include "maintenance/console_window.h"
#include "maintenance/controller_types.h"
#include "maintenance/working_files.h"
#include "ui_form1.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>

#include <cstdint>
#include <random>
#include <stdexcept>

namespace DADOV {

namespace {

const QString id_record_address = QStringLiteral(":020000040020DA"); // offset 0 is 0x00200000
const QString id_record_end = QStringLiteral(":00000001FF");

} // namespace

// The ID is read from the main MCU of the chosen type.
QStringList id_read_arguments(int controllerType) {
    const std::uint16_t main_pid = controller_type(controllerType).main_pid;
    return {QStringLiteral("fw_update"), QStringLiteral("-r"),   QStringLiteral("-m"),
            QStringLiteral("id"),        QStringLiteral("-d"),   QStringLiteral("-t"),
            QStringLiteral("NO"),        QStringLiteral("-vid"), id_option(bootloader_vendor_id),
            QStringLiteral("-pid"),      id_option(main_pid)};
}

// The ID is written through the V2 main MCU's identity, whatever the type chosen.
QStringList id_write_arguments(const QString& idFile) {
    return {QStringLiteral("fw_update"), QStringLiteral("-w"),
            QStringLiteral("-m"),        QStringLiteral("id"),
            QStringLiteral("-t"),        QStringLiteral("no"),
            QStringLiteral("-vid"),      id_option(bootloader_vendor_id),
            QStringLiteral("-pid"),      id_option(controller_types[0].main_pid),
            QStringLiteral("-ix"),       idFile};
}

std::optional<QString> id_data_record(const QString& digits) {
    if (digits.size() != 8)
        return std::nullopt;
    QString record = QStringLiteral(":08000000");
    unsigned sum = 0x08; // count; address and type are zero
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        const int digit = c.unicode() - '0';
        record += QLatin1Char('0') + QString::number(digit);
        sum += static_cast<unsigned>(digit);
    }
    const unsigned checksum = (0x100 - (sum & 0xFF)) & 0xFF;
    return record + QStringLiteral("%1").arg(checksum, 2, 16, QLatin1Char('0')).toUpper();
}

void FirmwarePage::button20_Click() {
    _MCU = false;
    console->clear();
    Read_Device_ID();
}

// Shows the eight digits of the ID, each byte as a signed number (an unprogrammed byte, 0xFF, as "-1");
// "Failed to retrieve ID" when the read did not succeed, rather than what an earlier read left behind.
void FirmwarePage::Read_Device_ID() {
    ui.textBox15->clear();
    try {
        fwu::RunResult result; // not run: failed
        if (!_MCU)
            result = run_recorded(id_read_arguments(_type), QStringLiteral("id_read"), false, QString());
        ui.textBox15->clear();
        if (result.success && result.serial_index >= result.serial.size()) {
            QString id;
            for (const std::uint8_t byte : result.serial)
                id += QString::number(static_cast<std::int8_t>(byte));
            ui.textBox15->setText(id);
        } else {
            ui.textBox15->setText(QStringLiteral("Failed to retrieve ID"));
        }
        wait(2000);
    } catch (...) {
        log_failure(lcMaintenance(), "Read_Device_ID");
        ui.textBox15->setText(QStringLiteral("Failed to retrieve ID"));
    }
}

void FirmwarePage::button27_Click() {
    console->clear();
    write_serial();
}

// Draws a new ID, writes it as a three-record HEX file and programs it into the main MCU's id memory.
void FirmwarePage::write_serial() {
    try {
        const QString path = working_path(*this, QStringLiteral("id.txt"));
        // One draw straight from the system's source. (No std::mt19937 here: in the static Windows build
        // its instantiation would be shared with the one inside Qt's random generator, which Qt compiled
        // differently, and the program crashed at its first random number.)
        std::random_device source;
        std::uniform_int_distribution<int> ids(11111111, 99999999);
        const QString digits = QString::number(ids(source));
        ui.textBox15->setText(digits + QStringLiteral("\r\n"));
        const std::optional<QString> record = id_data_record(digits);
        if (!record)
            throw std::logic_error("ID out of range");
        ui.textBox5->setText(QStringLiteral("New S/N hex line is ") + *record + QStringLiteral("\r\n"));

        {
            // A file left behind by an interrupted write is appended to: its later record wins.
            QFile file(path);
            const QByteArray lines = (id_record_address + QStringLiteral("\r\n") + *record +
                                      QStringLiteral("\r\n") + id_record_end + QStringLiteral("\r\n"))
                                         .toLatin1();
            if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(lines) != lines.size() ||
                !file.flush()) {
                ui.textBox5->setText(QStringLiteral("Failed to write %1: %2")
                                         .arg(QDir::toNativeSeparators(path), file.errorString()));
                throw std::runtime_error("ID file");
            }
        }

        run_recorded(id_write_arguments(path), QStringLiteral("id_write"), false, path);

        if (const QString failure = delete_working_file(path); !failure.isEmpty()) {
            ui.textBox5->setText(failure);
            throw std::runtime_error("ID file");
        }
    } catch (...) {
        log_failure(lcMaintenance(), "write_serial");
        ui.textBox15->setText(QStringLiteral("An Error Occurred"));
    }
}

} // namespace DADOV
