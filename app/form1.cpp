#include "app/form1.h"

#include "app/window_layout.h"
#include "fw_update/udev_advice.h"
#include "logging/guarded.h"
#include "pages/desktop_shell.h"
#include "ui_form1.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QMoveEvent>
#include <QPalette>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QStyle>
#include <QTabBar>
#include <QVBoxLayout>
#include <QWindow>

namespace DADOV {

namespace {

const QString disconnect_before_exit = QStringLiteral("Disconnect USB Before Exiting");

} // namespace

Form1::Form1(std::unique_ptr<DeviceSetup> setup, QString deviceRoot, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::Form1>()), _setup(std::move(setup)),
      _serialPort1(std::move(deviceRoot)), _shell(DesktopShell::system()) {
    if (!_setup)
#ifdef Q_OS_WIN
        _setup = std::make_unique<SetupApiDeviceSetup>();
#else
        _setup = std::make_unique<SysfsDeviceSetup>(QString(), SysfsDeviceSetup::Reuse::WhileUnchanged);
#endif
    InitializeComponent();
}

Form1::~Form1() {
    _monitor->timer1.stop();
    _serialPort1.close();
}

void Form1::InitializeComponent() {
    ui->setupUi(this);

    // The receive path and the attachment monitor. The timer's first tick comes once the event loop runs.
    connect(&_serialPort1, &SerialLink::lineReceived, this, &Form1::SetText);
    _monitor = std::make_unique<AttachmentMonitor>(*_setup, _serialPort1, monitor_hooks());

    setup_colours(*this, *ui);
    sliders_take_the_wheel_only_with_focus(*this);

    // Lists: nothing selected at start. Adding the items selected the first one.
    ui->comboBox1->setCurrentIndex(-1);
    ui->comboBox1->setEditText(QStringLiteral("V2 Digital/Analog(after 7/23)"));
    ui->comboBox2->setCurrentIndex(-1);
    ui->comboBox2->setEditText(QString());

    ui->TabControl1->setCurrentIndex(0);
    connect(ui->TabControl1, &QTabWidget::currentChanged, this, &Form1::TabControl1_SelectedIndexChanged);
    // Each page takes its controls and wires their handlers.
    const PageContext context{*ui, *this, _serialPort1, _mode, *_shell};
    _tuning = std::make_unique<TuningPage>(context);
    _diagnostics = std::make_unique<DiagnosticsPage>(context);
    _zidudo = std::make_unique<ZidudoPage>(context);
    _documentation = std::make_unique<DocumentationPage>(context);
    _firmware = std::make_unique<FirmwarePage>(context, *_monitor);
    _firmware->toolVersion = QStringLiteral(Q5_VERSION);
    _tuning->toolVersion = QStringLiteral(Q5_VERSION);
    _replies = std::make_unique<ReplyHandler>(context, *_tuning, *_zidudo, *_diagnostics);

    // A window of fixed size, centred on the screen; its frame is known once it is shown.
    _scrollArea = put_content_in_scroll_area(*this, *ui->TabControl1);
    fit_to_screen();
}

void Form1::fit_window(const QRect& available, const QMargins& frame) {
    fit_scrolled_window(*this, *_scrollArea, available, frame);
}

void Form1::fit_to_screen() {
    const QScreen* on = screen();
    if (on == nullptr)
        on = QGuiApplication::primaryScreen();
    if (on == nullptr)
        return;
    _fittedFrame = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
    fit_window(on->availableGeometry(), _fittedFrame);
}

void Form1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        fit_to_screen();
}

// The window manager adds the frame after the window appears; the first move that shows it fits the
// window again, counting the frame. A move by the user keeps the frame and fits nothing.
void Form1::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (isVisible() && windowHandle() != nullptr && windowHandle()->frameMargins() != _fittedFrame)
        fit_to_screen();
}

bool Form1::performClick(QAbstractButton* button) {
    return ui->TabControl1->performClick(button);
}

// What the attachment monitor's ticks do to the window: the refresh of the page shown, the status labels
// and their tool tip, and while no controller is found the displays of its data reset at every tick.
AttachmentMonitor::Hooks Form1::monitor_hooks() {
    AttachmentMonitor::Hooks hooks;
    hooks.refreshPage = [this] {
        if (ui->TabControl1->currentIndex() == 0)
            _tuning->tuning_page_refresh();
        if (ui->TabControl1->currentIndex() == 1)
            _diagnostics->diagnostics_page_refresh();
        if (ui->TabControl1->currentIndex() == 2)
            _zidudo->zIdudo_page_refresh();
    };
    hooks.showStatus = [this](const QString& text) {
        ui->label18->setText(text);
        ui->COMStatus_lbl->setText(text);
    };
    hooks.showStatusHint = [this](const QString& hint) {
        ui->label18->setToolTip(hint);
        ui->COMStatus_lbl->setToolTip(hint);
    };
    hooks.permissionHint = [](const QString& portPath) {
        return QStringLiteral("This user may not open %1. ").arg(portPath) +
               QString::fromStdString(fwu::udev_rules_advice("controller"));
    };
    hooks.notAttached = [this] {
        _diagnostics->not_attached_reset();
        ui->textBox6->clear();
        ui->textBox1->clear();
        _mode.set_mode(MODE_IDLE);
    };
    hooks.attached = [this] { usb_reconnected(); };
    return hooks;
}

void Form1::usb_reconnected() {
    run_guarded(lcPages(), "usb_reconnected", [this] { run_page_actions(); });
}

void Form1::TabControl1_SelectedIndexChanged() {
    run_guarded(lcPages(), "TabControl1_SelectedIndexChanged", [this] { run_page_actions(); });
}

// The page actions bring a freshly attached controller, or a newly selected page, into the state the
// page expects: the Diagnostics page selects the B signals and starts streaming. Leaving a page stops
// nothing.
void Form1::run_page_actions() {
    _mode.set_mode(MODE_IDLE);
    if (ui->TabControl1->currentIndex() == 1)
        _diagnostics->diagnostics_page_entry();
}

// A line the parser fails on is dropped; the next line is handled normally.
void Form1::SetText(const QString& text) {
    run_guarded(lcProtocol(), "SetText", [this, &text] {
        ui->textBox16->clear();
        ui->textBox16->setText(text);
        GetInstruction(text);
    });
}

// A closing handler that fails keeps the window open.
void Form1::closeEvent(QCloseEvent* event) {
    if (!run_guarded(lcPages(), "Form1_FormClosing", [this, event] { Form1_FormClosing(event); }))
        event->ignore();
}

// The window does not close while the controller's link is attached: the user is asked to unplug it
// first, and the stream is stopped if the Diagnostics page is shown.
void Form1::Form1_FormClosing(QCloseEvent* event) {
    if (_monitor->DeviceAttachedState() == 1) {
        ui->textBox1->setText(disconnect_before_exit);
        ui->textBox2->setText(disconnect_before_exit);
        ui->textBox6->setText(disconnect_before_exit);
        performClick(ui->button25);
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace DADOV
