#pragma once

#include "fw_update/session.h"
#include "link/attachment_monitor.h"
#include "link/device_setup.h"
#include "link/serial_link.h"
#include "maintenance/firmware_page.h"
#include "pages/diagnostics_page.h"
#include "pages/documentation_page.h"
#include "pages/reply_handler.h"
#include "pages/tuning_page.h"
#include "pages/zidudo_page.h"
#include "protocol/modes.h"

#include <QMargins>
#include <QString>
#include <QWidget>

#include <memory>

class QAbstractButton;
class QCloseEvent;
class QScrollArea;

namespace Ui {
class Form1;
}

namespace DADOV {

struct DesktopShell;

// The tool's one window. Its five pages, in the tab control's index order: 0 "Controller Tuning"
// (tabPage1, TuningPage), 1 "Diagnostics" (tabPage2, DiagnosticsPage), 2 "zIdudo" (tabPage4, ZidudoPage),
// 3 "q5 Firmware Update" (tabPage3, FirmwarePage), 4 "Documentation" (tabPage5, DocumentationPage). The
// window builds the form's controls (widgets/form1.ui) and hands them to the pages, which own their
// state and handle their controls; the handlers below, named after the controls, forward to them. Tests
// find the controls by object name.
//
// The window owns the serial link to the controller, serialPort1, whose lines go to the reply handler,
// and the attachment monitor with its 30 ms timer, timer1. Everything runs on the window thread.
class Form1 : public QWidget {
    Q_OBJECT

public:
    // Finds the controller through the device setup (none: the sysfs tree at /sys; a fake tree in the tests
    // and simulate mode) and opens its port in the device root (empty: /dev).
    explicit Form1(std::unique_ptr<DeviceSetup> setup = nullptr, QString deviceRoot = {},
                   QWidget* parent = nullptr);
    ~Form1() override;

    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // The pages and the window's parts.
    TuningPage& tuning() { return *_tuning; }
    DiagnosticsPage& diagnostics() { return *_diagnostics; }
    ZidudoPage& zidudo() { return *_zidudo; }
    FirmwarePage& firmwarePage() { return *_firmware; }
    DocumentationPage& documentation() { return *_documentation; }
    AttachmentMonitor& monitor() { return *_monitor; }
    const ParserMode& parserMode() const { return _mode; }
    SerialLink& serialPort1() { return _serialPort1; }
    QTimer& timer1() { return _monitor->timer1; }
    // The desktop the pages open files with; tests replace its functions.
    DesktopShell& desktopShell() { return *_shell; }

    QString USB_CheckIfPresentAndGetCOMString(quint16 vendorId, quint16 productId, quint32 position,
                                              bool interfaceFlag, quint8 interfaceNumber) {
        return _monitor->USB_CheckIfPresentAndGetCOMString(vendorId, productId, position, interfaceFlag,
                                                           interfaceNumber);
    }
    // A click pressed by the program, only if the user could click the button now.
    bool performClick(QAbstractButton* button);

    // Sizes the window to its content, but no larger than `available` (a screen's available area) with a
    // window frame of `frame` around it, and centres the framed window in that area. The content sits in a
    // scroll area that shows scroll bars only when the window had to be made smaller than its content.
    void fit_window(const QRect& available, const QMargins& frame);

    // Attachment monitor: the page refresh of the page shown, then presence, attach and detach.
    void timer1_Tick() { _monitor->timer1_Tick(); }
    // The page actions, run after every attach attempt and when the user selects a page.
    void usb_reconnected();
    void TabControl1_SelectedIndexChanged();
    // Receive path: one complete line from the controller, on the window thread; shown in textBox16 and
    // handled by the reply parser.
    void SetText(const QString& text);
    void GetInstruction(const QString& line) { _replies->GetInstruction(line); }

    // Controller Tuning page.
    void button21_Click() { _tuning->button21_Click(); }
    void button11_Click() { _tuning->button11_Click(); }
    void button1_Click() { _tuning->button1_Click(); }
    void button31_Click() { _tuning->button31_Click(); }
    void button12_Click() { _tuning->button12_Click(); }
    void button3_Click() { _tuning->button3_Click(); }
    void button14_Click() { _tuning->button14_Click(); }
    void button9_Click() { _tuning->button9_Click(); }
    void button10_Click() { _tuning->button10_Click(); }
    void button13_Click() { _tuning->button13_Click(); }
    void checkBox1_CheckedChanged() { _tuning->checkBox1_CheckedChanged(); }
    void checkBox2_CheckedChanged() { _tuning->checkBox2_CheckedChanged(); }
    void checkBox3_CheckedChanged() { _tuning->checkBox3_CheckedChanged(); }
    void checkBox4_CheckedChanged() { _tuning->checkBox4_CheckedChanged(); }
    void checkBox5_CheckedChanged() { _tuning->checkBox5_CheckedChanged(); }
    void checkBox6_CheckedChanged() { _tuning->checkBox6_CheckedChanged(); }
    void checkBox7_CheckedChanged() { _tuning->checkBox7_CheckedChanged(); }

    // Diagnostics page.
    void button5_Click() { _diagnostics->button5_Click(); }
    void button7_Click() { _diagnostics->button7_Click(); }
    void button8_Click() { _diagnostics->button8_Click(); }
    void numericUpDown1_ValueChanged() { _diagnostics->numericUpDown1_ValueChanged(); }
    void button18_Click() { _diagnostics->button18_Click(); }
    void button19_Click() { _diagnostics->button19_Click(); }
    void button22_Click() { _diagnostics->button22_Click(); }
    void button23_Click() { _diagnostics->button23_Click(); }
    void button25_Click() { _diagnostics->button25_Click(); }
    void button26_Click() { _diagnostics->button26_Click(); }
    void button6_Click() { _diagnostics->button6_Click(); }
    void button24_Click() { _diagnostics->button24_Click(); }
    void button17_Click() { _diagnostics->button17_Click(); }
    void MyTimer() { _diagnostics->MyTimer(); }

    // zIdudo page.
    void button28_Click() { _zidudo->button28_Click(); }
    void button29_Click() { _zidudo->button29_Click(); }
    void button32_Click() { _zidudo->button32_Click(); }
    void button30_Click() { _zidudo->button30_Click(); }
    void comboBox2_SelectedIndexChanged() { _zidudo->comboBox2_SelectedIndexChanged(); }
    void trackBar8_ValueChanged() { _zidudo->trackBar8_ValueChanged(); }
    void trackBar10_ValueChanged() { _zidudo->trackBar10_ValueChanged(); }
    void trackBar9_ValueChanged() { _zidudo->trackBar9_ValueChanged(); }

    // q5 Firmware Update page.
    void comboBox1_SelectedIndexChanged() { _firmware->comboBox1_SelectedIndexChanged(); }
    void button2_Click_1() { _firmware->button2_Click_1(); }
    void button16_Click() { _firmware->button16_Click(); }
    void button4_Click() { _firmware->button4_Click(); }
    void button15_Click() { _firmware->button15_Click(); }
    void button20_Click() { _firmware->button20_Click(); }
    void button27_Click() { _firmware->button27_Click(); }
    void Read_Device_ID() { _firmware->Read_Device_ID(); }
    void write_serial() { _firmware->write_serial(); }

    // Documentation page.
    void linkLabel1_LinkClicked() { _documentation->linkLabel1_LinkClicked(); }
    void linkLabel2_LinkClicked() { _documentation->linkLabel2_LinkClicked(); }
    void linkLabel3_LinkClicked() { _documentation->linkLabel3_LinkClicked(); }
    void linkLabel4_LinkClicked() { _documentation->linkLabel4_LinkClicked(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    // The closing handler: refuses to close while the controller is attached.
    void Form1_FormClosing(QCloseEvent* event);

    void InitializeComponent();
    // fit_window() for the screen the window is on and the frame it has now.
    void fit_to_screen();
    AttachmentMonitor::Hooks monitor_hooks();
    void run_page_actions();

    std::unique_ptr<Ui::Form1> ui;
    std::unique_ptr<DeviceSetup> _setup;
    SerialLink _serialPort1;
    ParserMode _mode;
    std::shared_ptr<DesktopShell> _shell;
    std::unique_ptr<AttachmentMonitor> _monitor;
    std::unique_ptr<TuningPage> _tuning;
    std::unique_ptr<DiagnosticsPage> _diagnostics;
    std::unique_ptr<ZidudoPage> _zidudo;
    std::unique_ptr<DocumentationPage> _documentation;
    std::unique_ptr<FirmwarePage> _firmware;
    std::unique_ptr<ReplyHandler> _replies;
    QScrollArea* _scrollArea = nullptr;
    QMargins _fittedFrame; // the window frame the last fit counted
};

} // namespace DADOV
