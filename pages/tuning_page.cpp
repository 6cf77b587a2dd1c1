// The Controller Tuning page.

#include "pages/tuning_page.h"

#include "link/serial_link.h"
#include "logging/guarded.h"
#include "pages/desktop_shell.h"
#include "pages/settings_profile.h"
#include "protocol/commands.h"
#include "protocol/modes.h"
#include "ui_form1.h"
#include "widgets/text_box.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <array>

namespace DADOV {

namespace {

// The failsafe-disable bits, one per check box; bit 7 is never set.
constexpr quint8 mask_b1_b2_correlation = 0x01;      // checkBox7
constexpr quint8 mask_primary_out_of_range = 0x02;   // checkBox1
constexpr quint8 mask_secondary_out_of_range = 0x04; // checkBox2
constexpr quint8 mask_a_b_correlation = 0x08;        // checkBox3
constexpr quint8 mask_overcurrent = 0x10;            // checkBox4
constexpr quint8 mask_motor_driver_fault = 0x20;     // checkBox5
constexpr quint8 mask_disable_supervisory = 0x40;    // checkBox6

} // namespace

TuningPage::TuningPage(const PageContext& context, QObject* parent)
    : QObject(parent), _context(context), ui(context.ui) {
    const auto slot = [](const char* name, auto handler) { return guarded(lcPages(), name, handler); };
    connect_page_handlers<QAbstractButton>(
        this, &QAbstractButton::clicked, slot,
        {{ui.button21, "button21_Click", &TuningPage::button21_Click},
         {ui.button11, "button11_Click", &TuningPage::button11_Click},
         {ui.button1, "button1_Click", &TuningPage::button1_Click},
         {ui.button31, "button31_Click", &TuningPage::button31_Click},
         {ui.button12, "button12_Click", &TuningPage::button12_Click},
         {ui.button3, "button3_Click", &TuningPage::button3_Click},
         {ui.button14, "button14_Click", &TuningPage::button14_Click},
         {ui.button9, "button9_Click", &TuningPage::button9_Click},
         {ui.button10, "button10_Click", &TuningPage::button10_Click},
         {ui.button13, "button13_Click", &TuningPage::button13_Click},
         {ui.saveProfileButton, "saveProfileButton_Click", &TuningPage::saveProfileButton_Click},
         {ui.loadProfileButton, "loadProfileButton_Click", &TuningPage::loadProfileButton_Click}});
    connect_page_handlers<QAbstractButton>(
        this, &QAbstractButton::toggled, slot,
        {{ui.checkBox1, "checkBox1_CheckedChanged", &TuningPage::checkBox1_CheckedChanged},
         {ui.checkBox2, "checkBox2_CheckedChanged", &TuningPage::checkBox2_CheckedChanged},
         {ui.checkBox3, "checkBox3_CheckedChanged", &TuningPage::checkBox3_CheckedChanged},
         {ui.checkBox4, "checkBox4_CheckedChanged", &TuningPage::checkBox4_CheckedChanged},
         {ui.checkBox5, "checkBox5_CheckedChanged", &TuningPage::checkBox5_CheckedChanged},
         {ui.checkBox6, "checkBox6_CheckedChanged", &TuningPage::checkBox6_CheckedChanged},
         {ui.checkBox7, "checkBox7_CheckedChanged", &TuningPage::checkBox7_CheckedChanged}});
}

// Tuning page refresh: the tuning variables and read-outs from the sliders.
void TuningPage::tuning_page_refresh() {
    const int proportional = ui.trackBar1->value();
    const int integral = ui.trackBar2->value();
    const int derivative = ui.trackBar3->value();

    _P = proportional;
    const double p = proportional / 1000.0;
    // The wire carries tenths, truncated: the slider's hundredths divided by ten.
    const double i = integral / 100.0;
    _I = integral / 10;
    const double d = derivative / 100.0;
    _D = derivative / 10;
    _C = ui.trackBar4->value();
    _A = ui.trackBar5->value();
    _delay = 100 - ui.trackBar6->value();
    _Integ = ui.trackBar7->value();

    // The read-outs follow the sliders; while nothing moves there is nothing to write.
    const QLocale locale;
    const std::array<int, 6> shown{proportional, integral, derivative, _C, _A, _Integ};
    if (shown == _shownValues && locale == _shownLocale)
        return;
    _shownValues = shown;
    _shownLocale = locale;
    // The gains read in the user's number format, rounded at the last decimal shown.
    ui.label38->setText(locale.toString(p, 'f', 3));
    ui.label39->setText(locale.toString(i, 'f', 1));
    ui.label40->setText(locale.toString(d, 'f', 1));
    ui.label43->setText(QString::number(ui.trackBar4->value()));
    ui.label44->setText(QString::number(ui.trackBar5->value()));
    ui.label42->setText(QString::number(_Integ * 10));
}

// "Check Settings": the controller answers with its listing, which fills both message boxes.
void TuningPage::button21_Click() {
    _context.link.write(command::check_settings);
}

// "Fault Report": the controller answers with its stored faults.
void TuningPage::button11_Click() {
    _context.link.write(command::fault_report);
}

// "Default Values": the sliders back to the controller's defaults; nothing is sent.
void TuningPage::button1_Click() {
    ui.textBox6->clear();
    ui.trackBar1->setValue(6000);
    ui.trackBar2->setValue(100);
    ui.trackBar3->setValue(200);
    ui.trackBar4->setValue(7);
    ui.trackBar5->setValue(900);
    ui.trackBar6->setValue(100);
    ui.trackBar7->setValue(4200);
    ui.textBox6->AppendText(QStringLiteral("Default values selected \r\n"));
    ui.textBox6->AppendText(QStringLiteral("Click on Set buttons to restore \r\n"));
}

// "Set" of Primary Throttle Active Sense: the controller asks "sens".
void TuningPage::button31_Click() {
    ui.textBox6->clear();
    _context.mode.set_mode(MODE_IDLE);
    _context.link.write(command::set_active_sense);
}

// "Set" of Control Loop Hz: the controller asks "delay".
void TuningPage::button12_Click() {
    ui.textBox6->clear();
    _context.mode.set_mode(MODE_IDLE);
    _context.link.write(command::set_loop_rate);
}

// "Set PID ": the controller asks "4", "5", "6" for the three gains.
void TuningPage::button3_Click() {
    ui.textBox6->clear();
    _context.mode.set_mode(MODE_SETTINGS);
    _context.link.write(command::set_gains);
}

// "Set" of Integral Limit: the controller asks "integ".
void TuningPage::button14_Click() {
    _context.link.write(command::set_integral_limit);
}

// "Set" of Current Limit: the controller asks "curr".
void TuningPage::button9_Click() {
    _context.link.write(command::set_current_limit);
}

// "Set" of Blade Acceleration: the controller asks "accel".
void TuningPage::button10_Click() {
    ui.textBox6->clear();
    _context.mode.set_mode(MODE_SETTINGS);
    _context.link.write(command::set_acceleration);
}

// "Disable Failsafes": the controller asks "fails" and gets the failsafe byte.
void TuningPage::button13_Click() {
    _context.mode.set_mode(MODE_IDLE);
    _context.link.write(command::disable_failsafes);
}

// "Save Profile...": asks where, adding the profile suffix to a name without one.
void TuningPage::saveProfileButton_Click() {
    const DesktopShell& shell = _context.shell;
    if (!shell.chooseSaveFile)
        return;
    QString path = shell.chooseSaveFile(
        &_context.window, QStringLiteral("Save Profile"),
        QDir(profile_folder()).filePath(QStringLiteral("settings.") + profile_suffix), profile_filter);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + profile_suffix;
    _profileFolder = QFileInfo(path).absolutePath();
    saveProfile(path);
}

// "Load Profile...".
void TuningPage::loadProfileButton_Click() {
    const DesktopShell& shell = _context.shell;
    if (!shell.chooseOpenFile)
        return;
    const QString path = shell.chooseOpenFile(&_context.window, QStringLiteral("Load Profile"),
                                              profile_folder(), profile_filter);
    if (path.isEmpty())
        return;
    _profileFolder = QFileInfo(path).absolutePath();
    loadProfile(path);
}

QString TuningPage::loadProfile(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    return show_profile_outcome(
        load_settings_profile(ui, path),
        QStringLiteral("Profile loaded: %1. Click on Set buttons to send the values.").arg(name),
        QStringLiteral("Profile not loaded: %1: ").arg(name));
}

QString TuningPage::saveProfile(const QString& path) {
    const QString shown = QDir::toNativeSeparators(path);
    return show_profile_outcome(save_settings_profile(ui, path, toolVersion),
                                QStringLiteral("Profile saved: %1").arg(shown),
                                QStringLiteral("Profile not saved: %1: ").arg(shown));
}

QString TuningPage::show_profile_outcome(const QString& failure, const QString& done, const QString& failed) {
    const QString message = failure.isEmpty() ? done : failed + failure;
    ui.textBox6->clear();
    ui.textBox6->AppendText(message + QStringLiteral("\r\n"));
    return failure.isEmpty() ? QString() : message;
}

QString TuningPage::profile_folder() const {
    return _profileFolder.isEmpty() ? first_folder(_context.shell) : _profileFolder;
}

int TuningPage::answer_curr() {
    _C = ui.trackBar4->value();
    return _C;
}

int TuningPage::answer_accel() {
    _A = ui.trackBar5->value();
    return _A;
}

int TuningPage::answer_delay() {
    _delay = 100 - ui.trackBar6->value();
    return _delay;
}

int TuningPage::active_sense() const {
    return ui.numericUpDown2->value();
}

void TuningPage::set_failsafe_bit(const QCheckBox* box, quint8 mask) {
    if (box->isChecked())
        _failsafes = quint8(_failsafes | mask);
    else
        _failsafes = quint8(_failsafes & ~mask);
}

void TuningPage::checkBox1_CheckedChanged() {
    set_failsafe_bit(ui.checkBox1, mask_primary_out_of_range);
}

void TuningPage::checkBox2_CheckedChanged() {
    set_failsafe_bit(ui.checkBox2, mask_secondary_out_of_range);
}

void TuningPage::checkBox3_CheckedChanged() {
    set_failsafe_bit(ui.checkBox3, mask_a_b_correlation);
}

void TuningPage::checkBox4_CheckedChanged() {
    set_failsafe_bit(ui.checkBox4, mask_overcurrent);
}

void TuningPage::checkBox5_CheckedChanged() {
    set_failsafe_bit(ui.checkBox5, mask_motor_driver_fault);
}

void TuningPage::checkBox6_CheckedChanged() {
    set_failsafe_bit(ui.checkBox6, mask_disable_supervisory);
}

void TuningPage::checkBox7_CheckedChanged() {
    set_failsafe_bit(ui.checkBox7, mask_b1_b2_correlation);
}

} // namespace DADOV
