#pragma once

#include "fw_update/session.h"
#include "link/device_setup.h"
#include "link/serial_link.h"

#include <QMargins>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <QtGlobal>

#include <functional>
#include <memory>

class QAbstractButton;
class QCloseEvent;
class QLineSeries;
class QScrollArea;
class QValueAxis;

namespace Ui {
class Form1;
}

namespace DADOV {

// The tool's one window. Its five pages, in the tab control's index order: 0 "Controller Tuning"
// (tabPage1), 1 "Diagnostics" (tabPage2), 2 "zIdudo" (tabPage4), 3 "q5 Firmware Update" (tabPage3),
// 4 "Documentation" (tabPage5). The controls of the form (app/form1.ui) are reached through `ui` under their
// own names (ui->button25); tests find them by object name.
//
// The window owns the serial link to the controller, serialPort1, and the 30 ms timer, timer1, whose
// tick watches for the controller: it opens the link when the controller's port appears and closes it
// when the port goes away. Everything runs on the window thread.
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

    // The port name of the present device with this USB identity, or the empty text.
    QString USB_CheckIfPresentAndGetCOMString(quint16 vendorId, quint16 productId, quint32 position,
                                              bool interfaceFlag, quint8 interfaceNumber);

    // A click pressed by the program: runs the button's click handler as a user click would, but only
    // if the user could click it now (visible, enabled, and on the page shown). Returns whether it ran.
    bool performClick(QAbstractButton* button);

    // The chart's two series and its axes (X: sample index, hidden; Y and secondary Y: millivolts).
    QLineSeries* seriesTPS1 = nullptr;
    QLineSeries* seriesTPS2 = nullptr;
    QValueAxis* chartAxisX = nullptr;
    QValueAxis* chartAxisY = nullptr;
    QValueAxis* chartAxisY2 = nullptr;

    std::unique_ptr<Ui::Form1> ui;
    SerialLink serialPort1;
    QTimer timer1;
    // The pause on the window thread after the streaming commands, in ms (replaced by tests).
    std::function<void(int)> streamingPause;

    // The window's content (TabControl1) sits in this scroll area, which shows scroll bars only when the
    // window had to be made smaller than its content.
    QScrollArea* scrollArea = nullptr;
    // Sizes the window to its content, but no larger than `available` (a screen's available area) with a
    // window frame of `frame` around it, and centres the framed window in that area.
    void fit_window(const QRect& available, const QMargins& frame);

public slots:
    // Attachment monitor: the page refresh of the page shown, then presence, attach and detach.
    void timer1_Tick();
    // The page actions, run after every attach attempt.
    void usb_reconnected();
    // The same page actions, run when the user selects a page.
    void TabControl1_SelectedIndexChanged();
    // Receive path: one complete line from the controller, on the window thread.
    void SetText(const QString& text);

public:
    // Handles one line received from the controller (the reply parser, pages/reply_handler.cpp); the line
    // is also in textBox16.
    void GetInstruction(const QString& line);

    // Page refreshes run by the tick while their page is shown, and the entry of the Diagnostics page
    // run by the page actions.
    void tuning_page_refresh();
    void diagnostics_page_refresh();
    void zIdudo_page_refresh();
    void diagnostics_page_entry();

    // Diagnostics page (pages/diagnostics_page.cpp), the chart's collected points (pages/strip_chart.h) and
    // the paint throttle of the stream's displays (pages/paint_throttle.h).
    std::shared_ptr<class StripChart> stripChart;
    std::shared_ptr<class PaintThrottle> paintThrottle;
    // The TPS read-outs blank: labels 3, 4 and 9 empty, their three bars at 0.
    void blank_readouts();
    // The chart emptied, its time back at 0, and the sums' read-outs blank; a frozen chart stays frozen.
    void clear_capture_displays();
    // Recording of the readings to a file (pages/reading_recorder.h), from the chart's menu or --record.
    std::shared_ptr<class ReadingRecorder> readingRecorder;
    void button5_Click();
    void button7_Click();
    void button8_Click();
    void numericUpDown1_ValueChanged();
    void button18_Click();
    void button19_Click();
    void button22_Click();
    void button23_Click();
    void button25_Click();
    void button26_Click();
    void button6_Click();
    void button24_Click();
    void button17_Click();
    void MyTimer();

private:
    // Each page wires its own controls' handlers (pages/, maintenance/).
    void connect_tuning_page();
    void connect_diagnostics_page();
    void connect_zidudo_page();
    void connect_documentation_page();
    void connect_maintenance_page();

public:
    // Tuning, zIdudo and Documentation pages (pages/): their handlers and the desktop shell they open with.
    struct DesktopShell; // pages/desktop_shell.h; the real desktop unless a test puts its own in place
    std::shared_ptr<DesktopShell> desktopShell;
    void button21_Click();
    void button11_Click();
    void button1_Click();
    void button31_Click();
    void button12_Click();
    void button3_Click();
    void button14_Click();
    void button9_Click();
    void button10_Click();
    void button13_Click();
    void checkBox1_CheckedChanged();
    void checkBox2_CheckedChanged();
    void checkBox3_CheckedChanged();
    void checkBox4_CheckedChanged();
    void checkBox5_CheckedChanged();
    void checkBox6_CheckedChanged();
    void checkBox7_CheckedChanged();
    void button28_Click();
    void button29_Click();
    void button32_Click();
    void button30_Click();
    void comboBox2_SelectedIndexChanged();
    void trackBar8_ValueChanged();
    void trackBar10_ValueChanged();
    void trackBar9_ValueChanged();
    void linkLabel1_LinkClicked();
    void linkLabel2_LinkClicked();
    void linkLabel3_LinkClicked();
    void linkLabel4_LinkClicked();

public:
    // Firmware page and device ID (maintenance/): handlers, the engine run with its console, the page's
    // seams.
    struct FirmwarePage; // maintenance/firmware_page.h; tests and simulate mode replace its engine and dialog
    std::shared_ptr<FirmwarePage> firmwarePage;
    void comboBox1_SelectedIndexChanged();
    void button2_Click_1();
    void button16_Click();
    void button4_Click();
    void button15_Click();
    void button20_Click();
    void button27_Click();
    void Read_Device_ID();
    void write_serial();
    // One engine run with the page's console, log and HID access; refused (a failed result) while one runs.
    fwu::RunResult run_fw_update(const QStringList& arguments);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    // The closing handler: refuses to close while the controller is attached.
    void Form1_FormClosing(QCloseEvent* event);

    void InitializeComponent();
    void setup_texts();
    void setup_colours();
    void setup_chart();
    void setup_scrolling();
    void connect_handlers();
    // fit_window() for the screen the window is on and the frame it has now.
    void fit_to_screen();

    void show_status(const QString& text);
    // The status labels' tool tip: why the port could not be opened, when that is known.
    void show_status_hint(const QString& hint);

    // The hint shown when this user may not open the controller's port.
    static QString permission_hint(const QString& portPath);
    void not_attached_reset();
    void run_page_actions();

    std::unique_ptr<DeviceSetup> _setup;
    QMargins _fittedFrame; // the window frame the last fit counted
};

} // namespace DADOV
