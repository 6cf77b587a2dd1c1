// The zIdudo bypass-valve page.

#include "pages/zidudo_page.h"

#include "link/serial_link.h"
#include "logging/guarded.h"
#include "pages/desktop_shell.h"
#include "protocol/commands.h"
#include "ui_form1.h"
#include "widgets/text_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QSlider>

namespace DADOV {

namespace {

// Entries of the filter list: sample sizes 1 to 1024, sent as the power of two.
constexpr int filter_sizes = 11;

// A read-out of a trigger or ramp slider.
QString millivolts(int count) {
    return QString::number(millivolts_of(count)) + QStringLiteral(" mv");
}

void set_text_colour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

// Which slider moved: the enabled message is worded after it.
enum class BoostSlider { trigger_or_ramp, position };

// Boost reduction is on when the ramp-in ends below the primary trigger and the bypass is not fully closed
// at its initial position.
void show_boost_reduction(Ui::Form1& ui, BoostSlider moved) {
    const bool enabled = ui.trackBar10->value() < ui.trackBar8->value() && ui.trackBar9->value() < 100;
    if (!enabled) {
        set_text_colour(ui.label59, Qt::white);
        ui.label59->setText(QStringLiteral("Boost Reduction Disabled\r\n"));
        return;
    }
    set_text_colour(ui.label59, Qt::yellow);
    if (moved == BoostSlider::trigger_or_ramp)
        ui.label59->setText(QStringLiteral("Boost Reduction wil be enabled\r\n(if switch is in enable "
                                           "position)\r\nMinimum bypass opening set to ") +
                            ui.label48->text() + QStringLiteral("\n"));
    else
        ui.label59->setText(QStringLiteral("Boost Reduction will be enabled\r\n(if switch is in enable "
                                           "position)\r\nMinimum bypass opening set to ") +
                            QString::number(100 - ui.trackBar9->value()) + QStringLiteral("%\n"));
}

} // namespace

int millivolts_of(int count) {
    return static_cast<int>(count * 4.883);
}

ZidudoPage::ZidudoPage(const PageContext& context, QObject* parent)
    : QObject(parent), _context(context), ui(context.ui) {
    ui.checkBox8->setToolTip(
        QStringLiteral("Unchecked: 3A is the Primary Trigger, 2C is the Secondary Trigger"
                       "\r\n\r\nChecked: 2C is the Primary Trigger, 3A is the Secondary "
                       "Trigger"));
    ui.trackBar11->setToolTip(
        QStringLiteral("Set trigger input mv value at which bypass will begin to close. "
                       "\r\nBoth triggers must be met for bypass to close."));
    ui.trackBar10->setToolTip(QStringLiteral(
        "Set mv value at which the bypass will be full closed.\r\nIf boost reduction is desired, set this "
        "value "
        "to less than the \r\ntrigger value. In that case, the bypass will not close any further\r\nthan the "
        "initial position."));
    ui.trackBar9->setToolTip(QStringLiteral("Set initial position when bypass closure is commanded. Full "
                                            "closed is 0%.\r\nIf Bypass Ramp In Complete "
                                            "is set to less than Bypass Trigger Voltage,\r\nthe bypass will "
                                            "not close any further and will act as a "
                                            "boost limiter."));

    // A size typed into the list chooses nothing: only its eleven sizes can be sent.
    ui.comboBox2->setInsertPolicy(QComboBox::NoInsert);

    const auto slot = [](const char* name, auto handler) { return guarded(lcPages(), name, handler); };
    connect_page_handlers<QAbstractButton>(this, &QAbstractButton::clicked, slot,
                                           {{ui.button28, "button28_Click", &ZidudoPage::button28_Click},
                                            {ui.button29, "button29_Click", &ZidudoPage::button29_Click},
                                            {ui.button32, "button32_Click", &ZidudoPage::button32_Click},
                                            {ui.button30, "button30_Click", &ZidudoPage::button30_Click}});
    connect_page_handlers<QComboBox>(
        this, &QComboBox::currentIndexChanged, slot,
        {{ui.comboBox2, "comboBox2_SelectedIndexChanged", &ZidudoPage::comboBox2_SelectedIndexChanged}});
    connect_page_handlers<QAbstractSlider>(
        this, &QAbstractSlider::valueChanged, slot,
        {{ui.trackBar8, "trackBar8_ValueChanged", &ZidudoPage::trackBar8_ValueChanged},
         {ui.trackBar10, "trackBar10_ValueChanged", &ZidudoPage::trackBar10_ValueChanged},
         {ui.trackBar9, "trackBar9_ValueChanged", &ZidudoPage::trackBar9_ValueChanged}});
}

// zIdudo page refresh: the bypass variables and read-outs from the sliders.
void ZidudoPage::zIdudo_page_refresh() {
    _bypass_trigger = ui.trackBar8->value();
    _secondary_trigger = ui.trackBar11->value();
    _bypass_ramp_end = ui.trackBar10->value();
    _boost_limit = 100 - ui.trackBar9->value();
    ui.label37->setText(millivolts(ui.trackBar8->value()));
    ui.label48->setText(QString::number(_boost_limit) + QStringLiteral(" %"));
    ui.label57->setText(millivolts(ui.trackBar10->value()));
    ui.label63->setText(millivolts(ui.trackBar11->value()));
}

// "Set Triggers": the controller asks "bypas", "sectrig", "ramp" and "filter".
void ZidudoPage::button28_Click() {
    _context.link.write(command::set_bypass);
}

// "Set Position": the controller asks "boost".
void ZidudoPage::button29_Click() {
    _context.link.write(command::set_boost_limit);
}

// "Check Settings": the controller's listing fills both message boxes.
void ZidudoPage::button32_Click() {
    _context.link.write(command::check_settings);
}

// "Help": the PC App document from the user's documents folder (or where the tool installed it).
void ZidudoPage::button30_Click() {
    const DesktopShell& shell = _context.shell;
    QStringList places{shell.documentsFolder + QLatin1Char('/') + document_pc_app};
    places += document_places(shell, document_pc_app);
    if (!open_document(shell, places))
        ui.textBox1->setText(QStringLiteral("File not found"));
}

void ZidudoPage::comboBox2_SelectedIndexChanged() {
    const int index = ui.comboBox2->currentIndex();
    // No selection (the list emptied, or text typed over it) leaves the size last chosen.
    if (index >= 0 && index < filter_sizes)
        _samples = index;
}

int ZidudoPage::answer_bypas() const {
    return ui.checkBox8->isChecked() ? _bypass_trigger + 2000 : _bypass_trigger;
}

void ZidudoPage::trackBar8_ValueChanged() {
    show_boost_reduction(ui, BoostSlider::trigger_or_ramp);
}

void ZidudoPage::trackBar10_ValueChanged() {
    show_boost_reduction(ui, BoostSlider::trigger_or_ramp);
}

void ZidudoPage::trackBar9_ValueChanged() {
    show_boost_reduction(ui, BoostSlider::position);
}

} // namespace DADOV
