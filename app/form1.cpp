#include "app/form1.h"

#include "fw_update/udev_advice.h"
#include "link/usb_discovery.h"
#include "logging/guarded.h"
#include "pages/crossover.h"
#include "protocol/state.h"
#include "ui_form1.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QBrush>
#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QComboBox>
#include <QFont>
#include <QGuiApplication>
#include <QLineSeries>
#include <QMoveEvent>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QStyle>
#include <QTabBar>
#include <QThread>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWindow>

namespace DADOV {

namespace {

constexpr quint16 controller_vendor_id = 0x12BF;
constexpr quint16 controller_product_id = 0xF010;
constexpr int tick_interval_ms = 30;

const QString status_not_attached = QStringLiteral("Status: Unknown or Not Attached");
const QString status_connected = QStringLiteral("Status: Connected on ");
const QString status_broken = QStringLiteral(
    "Status: Attached but broken.  Please unplug device, wait a few seconds, and re-attach device.");
const QString disconnect_before_exit = QStringLiteral("Disconnect USB Before Exiting");

void set_colour(QWidget* w, QPalette::ColorRole role, const QColor& colour) {
    QPalette p = w->palette();
    p.setColor(role, colour);
    w->setPalette(p);
}

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

} // namespace

Form1::Form1(std::unique_ptr<DeviceSetup> setup, QString deviceRoot, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::Form1>()), serialPort1(std::move(deviceRoot)),
      streamingPause([](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); }),
      _setup(std::move(setup)) {
    if (!_setup)
        _setup = std::make_unique<SysfsDeviceSetup>();
    InitializeComponent();
}

Form1::~Form1() {
    timer1.stop();
    serialPort1.close();
}

void Form1::InitializeComponent() {
    ui->setupUi(this);

    // The receive path and the attachment monitor. The timer's first tick comes once the event loop runs.
    connect(&serialPort1, &SerialLink::lineReceived, this, &Form1::SetText);
    timer1.setTimerType(Qt::PreciseTimer);
    timer1.setInterval(tick_interval_ms);
    connect(&timer1, &QTimer::timeout, this, &Form1::timer1_Tick);
    timer1.start();

    setup_texts();
    setup_colours();
    setup_chart();

    // Lists: nothing selected at start. Adding the items selected the first one.
    ui->comboBox1->setCurrentIndex(-1);
    ui->comboBox1->setEditText(QStringLiteral("V2 Digital/Analog(after 7/23)"));
    ui->comboBox2->setCurrentIndex(-1);
    ui->comboBox2->setEditText(QString());

    ui->TabControl1->setCurrentIndex(0);
    connect_handlers();

    // A window of fixed size, centred on the screen; its frame is known once it is shown.
    setup_scrolling();
    fit_to_screen();
}

// The content keeps the size it was laid out for; the window around it may be smaller.
void Form1::setup_scrolling() {
    const QSize content_size = size();
    auto content = std::make_unique<QWidget>();
    content->setObjectName(QStringLiteral("content"));
    content->setFixedSize(content_size);
    ui->TabControl1->setParent(content.get());
    ui->TabControl1->show();

    scrollArea = new QScrollArea(this);
    scrollArea->setObjectName(QStringLiteral("scrollArea"));
    scrollArea->setFrameShape(QFrame::NoFrame);
    scrollArea->setWidgetResizable(false);
    // No tab stop of its own; Tab still scrolls the control it moves to into view.
    scrollArea->setFocusPolicy(Qt::NoFocus);
    scrollArea->setWidget(content.release());
    // Scroll bars stay light with dark marks, as the text boxes' do.
    for (QWidget* bar : {static_cast<QWidget*>(scrollArea->verticalScrollBar()),
                         static_cast<QWidget*>(scrollArea->horizontalScrollBar())}) {
        set_colour(bar, QPalette::Window, QColor(0xe8, 0xe8, 0xe8));
        set_colour(bar, QPalette::WindowText, Qt::black);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scrollArea);
}

void Form1::fit_window(const QRect& available, const QMargins& frame) {
    const QSize content = scrollArea->widget()->size();
    const QSize room = available.size().shrunkBy(frame);
    // What a scroll bar takes from the view, as the scroll area lays it out.
    const int spacing =
        style()->styleHint(QStyle::SH_ScrollView_FrameOnlyAroundContents, nullptr, scrollArea)
            ? style()->pixelMetric(QStyle::PM_ScrollView_ScrollBarSpacing, nullptr, scrollArea)
            : 0;
    const int vertical_bar = scrollArea->verticalScrollBar()->sizeHint().width() + spacing;
    const int horizontal_bar = scrollArea->horizontalScrollBar()->sizeHint().height() + spacing;
    // A scroll bar takes room beside the content, which may call for the other bar.
    bool vertical = content.height() > room.height();
    bool horizontal = content.width() > room.width();
    for (int pass = 0; pass < 2; ++pass) {
        horizontal = horizontal || content.width() + (vertical ? vertical_bar : 0) > room.width();
        vertical = vertical || content.height() + (horizontal ? horizontal_bar : 0) > room.height();
    }
    scrollArea->setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    scrollArea->setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    const QSize wanted(content.width() + (vertical ? vertical_bar : 0),
                       content.height() + (horizontal ? horizontal_bar : 0));
    const QSize inner = wanted.boundedTo(room).expandedTo(QSize(1, 1));
    if (minimumSize() != inner || maximumSize() != inner)
        setFixedSize(inner);
    const QSize outer = inner.grownBy(frame);
    // For a window, the position is that of its frame.
    move(available.x() + (available.width() - outer.width()) / 2,
         available.y() + (available.height() - outer.height()) / 2);
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

// Texts of more than one line.
void Form1::setup_texts() {
    ui->checkBox8->setToolTip(
        QStringLiteral("Unchecked: 3A is the Primary Trigger, 2C is the Secondary Trigger"
                       "\r\n\r\nChecked: 2C is the Primary Trigger, 3A is the Secondary "
                       "Trigger"));
    ui->trackBar11->setToolTip(
        QStringLiteral("Set trigger input mv value at which bypass will begin to close. "
                       "\r\nBoth triggers must be met for bypass to close."));
    ui->trackBar10->setToolTip(QStringLiteral(
        "Set mv value at which the bypass will be full closed.\r\nIf boost reduction is desired, set this "
        "value "
        "to less than the \r\ntrigger value. In that case, the bypass will not close any further\r\nthan the "
        "initial position."));
    ui->trackBar9->setToolTip(QStringLiteral("Set initial position when bypass closure is commanded. Full "
                                             "closed is 0%.\r\nIf Bypass Ramp In Complete "
                                             "is set to less than Bypass Trigger Voltage,\r\nthe bypass will "
                                             "not close any further and will act as a "
                                             "boost limiter."));
    ui->button20->setToolTip(QStringLiteral("Connect USB cable and click this button if you simply wish  to "
                                            "retrieve Device ID.\r\nID is retrieved automatically during a "
                                            "reflash procedure."));
    ui->label26->setText(
        QStringLiteral("For units built prior to 9/19 you must depress and hold the Calibration "
                       "Switch untril reflashing is complete.\r\nFor later units, depress the "
                       "switch while making the USB connection. Then you may release it."));
    // Blank value displays (blank-only texts do not survive the form file).
    ui->label16->setText(QStringLiteral("    "));
    ui->label17->setText(QStringLiteral("    "));
    QStringList paragraphs;
    for (const char* paragraph : update_instructions)
        paragraphs << QString::fromUtf8(paragraph);
    ui->textBox11->setText(paragraphs.join(QStringLiteral("\r\n\r\n")));
}

// Black window, white texts; the named colours of single controls.
void Form1::setup_colours() {
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    p.setColor(QPalette::WindowText, Qt::white);
    setPalette(p);
    setAutoFillBackground(true);
    for (int page = 0; page < ui->TabControl1->count(); ++page)
        ui->TabControl1->widget(page)->setAutoFillBackground(true);
    // Controls drawn on the window's colour (spin box and list arrows, scroll bars) stay light, with
    // dark marks.
    for (QWidget* w : findChildren<QWidget*>()) {
        if (qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QComboBox*>(w) ||
            qobject_cast<QAbstractScrollArea*>(w)) {
            set_colour(w, QPalette::Window, QColor(0xe8, 0xe8, 0xe8));
            set_colour(w, QPalette::WindowText, Qt::black);
        }
    }
    // The page buttons are light, with dark text.
    set_colour(ui->TabControl1->tabBar(), QPalette::WindowText, Qt::black);

    const QColor read_only_back(0xf0, 0xf0, 0xf0);
    for (TextBox* box : {ui->textBox6, ui->textBox1, ui->textBox2})
        set_colour(box, QPalette::Base, read_only_back);
    set_colour(ui->textBox6, QPalette::Text, Qt::red);
    set_colour(ui->textBox1, QPalette::Text, Qt::red);

    set_colour(ui->button13, QPalette::Button, Qt::red);
    set_colour(ui->button6, QPalette::Button, Qt::green);
    set_colour(ui->button24, QPalette::Button, QColor(0x6a, 0x5a, 0xcd)); // slate blue
    set_colour(ui->button24, QPalette::ButtonText, Qt::yellow);
    set_colour(ui->progressBar4, QPalette::Highlight, Qt::red);
    set_colour(ui->label26, QPalette::WindowText, Qt::cyan); // aqua

    for (QLabel* value : {ui->label16, ui->label17}) {
        value->setAutoFillBackground(true);
        set_colour(value, QPalette::Window, QColor(0xf5, 0xf5, 0xf5));
        set_colour(value, QPalette::WindowText, Qt::black);
    }
    set_colour(ui->label17, QPalette::WindowText, Qt::magenta);
}

// The strip chart: two series plotted by sample index, 0 to 500 across, 0 to 5000 mV up.
void Form1::setup_chart() {
    auto chart = std::make_unique<QChart>();
    chart->setBackgroundBrush(QColor(0xf5, 0xf5, 0xf5));
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->legend()->setAlignment(Qt::AlignTop);

    // "ChartArea1": gainsboro with a dark vertical hatch.
    QPixmap hatch(4, 4);
    hatch.fill(QColor(0xdc, 0xdc, 0xdc));
    {
        QPainter painter(&hatch);
        painter.fillRect(0, 0, 2, 4, QColor(0xc8, 0xc8, 0xc8));
    }
    chart->setPlotAreaBackgroundBrush(QBrush(hatch));
    chart->setPlotAreaBackgroundPen(QPen(QColor(0x80, 0x80, 0x80), 2));
    chart->setPlotAreaBackgroundVisible(true);

    // The chart takes ownership of the series and axes it is given.
    seriesTPS1 = new QLineSeries(chart.get());
    seriesTPS1->setName(QStringLiteral("TPS1"));
    seriesTPS1->setPen(QPen(QColor(Qt::black), 2));
    seriesTPS1->append(0, 0);
    seriesTPS2 = new QLineSeries(chart.get());
    seriesTPS2->setName(QStringLiteral("TPS2"));
    seriesTPS2->setPen(QPen(QColor(Qt::magenta), 2));
    seriesTPS2->append(0, 0);
    chart->addSeries(seriesTPS1);
    chart->addSeries(seriesTPS2);

    chartAxisX = new QValueAxis(chart.get());
    chartAxisX->setRange(0, s);
    chartAxisX->setVisible(false);
    chartAxisY = new QValueAxis(chart.get());
    chartAxisY->setRange(0, 5000);
    chartAxisY->setLabelFormat(QStringLiteral("%d"));
    chartAxisY->setTickCount(6);
    chartAxisY->setTitleText(QStringLiteral("mV"));
    QFont title_font(QStringLiteral("Microsoft Sans Serif"), 12);
    title_font.setStyleHint(QFont::SansSerif);
    chartAxisY->setTitleFont(title_font);
    chartAxisY2 = new QValueAxis(chart.get());
    chartAxisY2->setRange(0, 5000);
    chartAxisY2->setLabelFormat(QStringLiteral("%d"));
    chartAxisY2->setTickCount(6);
    chart->addAxis(chartAxisX, Qt::AlignBottom);
    chart->addAxis(chartAxisY, Qt::AlignLeft);
    chart->addAxis(chartAxisY2, Qt::AlignRight);
    for (QLineSeries* series : {seriesTPS1, seriesTPS2}) {
        series->attachAxis(chartAxisX);
        series->attachAxis(chartAxisY);
    }

    ui->chart1->setChart(chart.release());
    ui->chart1->setBackgroundBrush(QColor(0xf5, 0xf5, 0xf5));
}

void Form1::connect_handlers() {
    connect(ui->TabControl1, &QTabWidget::currentChanged, this, &Form1::TabControl1_SelectedIndexChanged);
    connect_tuning_page();
    connect_diagnostics_page();
    connect_zidudo_page();
    connect_documentation_page();
    connect_maintenance_page();
}

QString Form1::USB_CheckIfPresentAndGetCOMString(quint16 vendorId, quint16 productId, quint32 position,
                                                 bool interfaceFlag, quint8 interfaceNumber) {
    return usb_check_if_present_and_get_com_string(*_setup, vendorId, productId, position, interfaceFlag,
                                                   interfaceNumber);
}

bool Form1::performClick(QAbstractButton* button) {
    if (button == nullptr || !button->isVisible() || !button->isEnabled())
        return false;
    for (const QWidget* w = button; w != nullptr; w = w->parentWidget()) {
        const int page = ui->TabControl1->indexOf(const_cast<QWidget*>(w));
        if (page >= 0) {
            if (page != ui->TabControl1->currentIndex())
                return false;
            break;
        }
    }
    button->click();
    return true;
}

void Form1::show_status(const QString& text) {
    ui->label18->setText(text);
    ui->COMStatus_lbl->setText(text);
}

void Form1::show_status_hint(const QString& hint) {
    ui->label18->setToolTip(hint);
    ui->COMStatus_lbl->setToolTip(hint);
}

QString Form1::permission_hint(const QString& portPath) {
    return QStringLiteral("This user may not open %1. ").arg(portPath) +
           QString::fromStdString(fwu::udev_rules_advice("controller"));
}

// A failing refresh or query must not end the program; the next tick starts afresh.
void Form1::timer1_Tick() {
    run_guarded(lcLink(), "timer1_Tick", [this] {
        // 1. The refresh of the page shown.
        if (ui->TabControl1->currentIndex() == 0)
            tuning_page_refresh();
        if (ui->TabControl1->currentIndex() == 1)
            diagnostics_page_refresh();
        if (ui->TabControl1->currentIndex() == 2)
            zIdudo_page_refresh();

        // 2, 3. Is the controller's port there?
        const QString port =
            USB_CheckIfPresentAndGetCOMString(controller_vendor_id, controller_product_id, 0, false, 0);
        if (port.isEmpty()) {
            DeviceAttachedState = 0;
            not_attached_reset();
        } else {
            DeviceAttachedState = 1;
            // A controller that was unplugged and came back between two ticks hung up the link,
            // which closed itself: it is attached anew, as after a tick that missed it.
            if (OldDeviceAttachedState == 1 && !serialPort1.isOpen())
                OldDeviceAttachedState = 0;
        }

        // 4. Attach: open the link on the port found; a port that will not open is "broken" and is tried
        // again at the next tick.
        if (DeviceAttachedState != OldDeviceAttachedState && DeviceAttachedState == 1) {
            if (serialPort1.setPortName(port) && serialPort1.open()) {
                show_status(status_connected + port);
                show_status_hint(QString());
            } else {
                OldDeviceAttachedState = 1;
                DeviceAttachedState = 0;
                const bool denied = serialPort1.openDeniedPermission();
                const QString path = serialPort1.portPath();
                serialPort1.close();
                show_status(status_broken);
                show_status_hint(denied ? permission_hint(path) : QString());
            }
            usb_reconnected();
        }

        // 5. Detach (also right after a failed open).
        if (DeviceAttachedState != OldDeviceAttachedState && DeviceAttachedState == 0) {
            serialPort1.discardBuffers();
            serialPort1.close();
        }

        // 6.
        OldDeviceAttachedState = DeviceAttachedState;
    });
}

// While no controller is found: the displays that show its data are reset at every tick.
void Form1::not_attached_reset() {
    show_status(status_not_attached);
    blank_readouts();
    ui->textBox2->clear();
    ui->textBox6->clear();
    ui->textBox1->clear();
    ui->label45->clear();
    ui->label41->clear();
    seriesTPS1->clear();
    seriesTPS2->clear();
    ui->label15->setText(no_convergence);
    DADOV::x = 0;
    peak_curr = 0;
    current = 0;
    current_volts = 0;
    ui->label46->clear();
    ui->radioButton1->setChecked(true);
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
    DADOV::x = 0;
    if (ui->TabControl1->currentIndex() == 1)
        diagnostics_page_entry();
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
    if (DeviceAttachedState == 1) {
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
