// Settings profiles: the Tuning and zIdudo controls to and from a .q5profile file.

#include "pages/settings_profile.h"

#include "pages/chart_menu.h"
#include "pages/zidudo_page.h"
#include "ui_form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QSlider>
#include <QSpinBox>
#include <QStringList>

#include <algorithm>
#include <optional>
#include <vector>

namespace DADOV {

namespace {

constexpr int profile_format = 1;
// A profile is under 2 KiB; anything much larger is not one, and is not read into memory.
constexpr qint64 largest_profile = 64 * 1024;

// A check box's states in the file.
const QString on = QStringLiteral("on");
const QString off = QStringLiteral("off");

const QString not_a_profile = QStringLiteral("it is not a q5 settings profile");

// One control a profile holds: where it is in the file, which control, and what the controller is sent
// for it (the comment written beside it). A failsafe box has its bit of the failsafe byte instead.
struct Setting {
    const char* section;
    const char* key;
    QWidget* (*control)(const Ui::Form1& ui);
    QString (*sends)(int position);
    int failsafeMask = 0;
};

QString sends(const char* variable, int value) {
    return QStringLiteral("sends %1 %2").arg(QLatin1String(variable)).arg(value);
}

QString sends_millivolts(const char* variable, int counts) {
    return sends(variable, counts) + QStringLiteral(" (%1 mv)").arg(millivolts_of(counts));
}

QString hex_byte(int byte) {
    return QStringLiteral("0x%1").arg(byte, 2, 16, QLatin1Char('0'));
}

// The settings in the order the file lists them: the pages' top-to-bottom order.
const std::vector<Setting>& settings() {
    static const std::vector<Setting> table{
        {"tuning", "primary_throttle_active_sense",
         [](const Ui::Form1& u) -> QWidget* { return u.numericUpDown2; },
         [](int v) { return sends("sens", v); }},
        {"tuning", "control_loop_hz", [](const Ui::Form1& u) -> QWidget* { return u.trackBar6; },
         [](int v) { return sends("delay", 100 - v); }},
        {"tuning", "proportional_gain", [](const Ui::Form1& u) -> QWidget* { return u.trackBar1; },
         [](int v) { return sends("P", v); }},
        {"tuning", "integral_gain", [](const Ui::Form1& u) -> QWidget* { return u.trackBar2; },
         [](int v) { return sends("I", v / 10); }},
        {"tuning", "derivative_gain", [](const Ui::Form1& u) -> QWidget* { return u.trackBar3; },
         [](int v) { return sends("D", v / 10); }},
        {"tuning", "integral_limit", [](const Ui::Form1& u) -> QWidget* { return u.trackBar7; },
         [](int v) { return sends("Integ", v); }},
        {"tuning", "current_limit", [](const Ui::Form1& u) -> QWidget* { return u.trackBar4; },
         [](int v) { return sends("C", v); }},
        {"tuning", "blade_acceleration", [](const Ui::Form1& u) -> QWidget* { return u.trackBar5; },
         [](int v) { return sends("A", v); }},
        {"failsafes", "b1_b2_correlation", [](const Ui::Form1& u) -> QWidget* { return u.checkBox7; },
         nullptr, 0x01},
        {"failsafes", "primary_out_of_range", [](const Ui::Form1& u) -> QWidget* { return u.checkBox1; },
         nullptr, 0x02},
        {"failsafes", "secondary_out_of_range", [](const Ui::Form1& u) -> QWidget* { return u.checkBox2; },
         nullptr, 0x04},
        {"failsafes", "a_b_correlation", [](const Ui::Form1& u) -> QWidget* { return u.checkBox3; }, nullptr,
         0x08},
        {"failsafes", "overcurrent", [](const Ui::Form1& u) -> QWidget* { return u.checkBox4; }, nullptr,
         0x10},
        {"failsafes", "motor_driver_fault", [](const Ui::Form1& u) -> QWidget* { return u.checkBox5; },
         nullptr, 0x20},
        {"failsafes", "disable_supervisory", [](const Ui::Form1& u) -> QWidget* { return u.checkBox6; },
         nullptr, 0x40},
        {"zidudo", "primary_trigger", [](const Ui::Form1& u) -> QWidget* { return u.trackBar8; },
         [](int v) { return sends_millivolts("bypass_trigger", v); }},
        {"zidudo", "secondary_trigger", [](const Ui::Form1& u) -> QWidget* { return u.trackBar11; },
         [](int v) { return sends_millivolts("secondary_trigger", v); }},
        {"zidudo", "bypass_ramp_in_complete", [](const Ui::Form1& u) -> QWidget* { return u.trackBar10; },
         [](int v) { return sends_millivolts("bypass_ramp_end", v); }},
        {"zidudo", "initial_bypass_position", [](const Ui::Form1& u) -> QWidget* { return u.trackBar9; },
         [](int v) { return sends("boost_limit", 100 - v); }},
        {"zidudo", "swap_inputs", [](const Ui::Form1& u) -> QWidget* { return u.checkBox8; },
         [](int) { return QStringLiteral("on adds 2000 to the primary trigger sent"); }},
        {"zidudo", "filter_sample_size", [](const Ui::Form1& u) -> QWidget* { return u.comboBox2; },
         [](int v) { return sends("samples", v); }},
    };
    return table;
}

// A control's position as the profile keeps it: a slider's or box's value, 1 or 0 for a check box, the
// list index for the filter size (no choice yet sends the first size, so it is kept as the first).
int position_of(const QWidget* control) {
    if (const auto* slider = qobject_cast<const QAbstractSlider*>(control))
        return slider->value();
    if (const auto* box = qobject_cast<const QSpinBox*>(control))
        return box->value();
    if (const auto* check = qobject_cast<const QCheckBox*>(control))
        return check->isChecked() ? 1 : 0;
    const auto* list = qobject_cast<const QComboBox*>(control);
    return list && list->currentIndex() > 0 ? list->currentIndex() : 0;
}

// The failsafe byte the boxes make.
int failsafes_of(const Ui::Form1& ui) {
    int byte = 0;
    for (const Setting& setting : settings())
        if (setting.failsafeMask != 0 && position_of(setting.control(ui)) != 0)
            byte |= setting.failsafeMask;
    return byte;
}

QString text_of(const QWidget* control, int position) {
    if (qobject_cast<const QCheckBox*>(control))
        return position != 0 ? on : off;
    if (const auto* list = qobject_cast<const QComboBox*>(control))
        return list->itemText(position);
    return QString::number(position);
}

void set_position(QWidget* control, int position) {
    if (auto* slider = qobject_cast<QAbstractSlider*>(control))
        slider->setValue(position);
    else if (auto* box = qobject_cast<QSpinBox*>(control))
        box->setValue(position);
    else if (auto* check = qobject_cast<QCheckBox*>(control))
        check->setChecked(position != 0);
    else if (auto* list = qobject_cast<QComboBox*>(control))
        list->setCurrentIndex(position);
}

// Reads a setting's text as the control's position; empty with the reason set when it cannot be.
std::optional<int> read_position(const QWidget* control, const QString& key, const QString& value,
                                 QString& reason) {
    if (qobject_cast<const QCheckBox*>(control)) {
        if (value == on || value == off)
            return value == on ? 1 : 0;
        reason = QStringLiteral("%1 must be on or off, not \"%2\"").arg(key, value);
        return std::nullopt;
    }
    if (const auto* list = qobject_cast<const QComboBox*>(control)) {
        const int index = list->findText(value, Qt::MatchExactly);
        if (index >= 0)
            return index;
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->itemText(i);
        reason =
            QStringLiteral("%1 \"%2\" is not one of %3").arg(key, value, items.join(QStringLiteral(", ")));
        return std::nullopt;
    }
    bool number = false;
    const int position = value.toInt(&number, 10);
    if (!number) {
        reason = QStringLiteral("%1 \"%2\" is not a whole number").arg(key, value);
        return std::nullopt;
    }
    int lowest = 0;
    int highest = 0;
    if (const auto* slider = qobject_cast<const QAbstractSlider*>(control)) {
        lowest = slider->minimum();
        highest = slider->maximum();
    } else if (const auto* box = qobject_cast<const QSpinBox*>(control)) {
        lowest = box->minimum();
        highest = box->maximum();
    }
    if (position < lowest || position > highest) {
        reason = QStringLiteral("%1 %2 is outside %3 to %4").arg(key).arg(position).arg(lowest).arg(highest);
        return std::nullopt;
    }
    return position;
}

// A profile's lines as read: each "section.key" with its value and line number.
struct Entry {
    int line;
    QString key;
    QString value;
};

// Splits the text into its settings. Empty with the reason set when it is not a profile this tool reads.
std::optional<QHash<QString, Entry>> read_entries(const QByteArray& text, QString& reason) {
    QHash<QString, Entry> entries;
    QString section;
    int number = 0;
    // A profile edited in a Windows editor may end its lines with CR LF (trimmed below) and begin with a
    // byte order mark (which QString::fromUtf8 skips).
    for (const QByteArray& raw : text.split('\n')) {
        ++number;
        QString line = QString::fromUtf8(raw);
        const auto comment =
            std::find_if(line.cbegin(), line.cend(), [](QChar c) { return c == u';' || c == u'#'; });
        line = line.left(comment - line.cbegin()).trimmed();
        if (line.isEmpty())
            continue;
        const bool heading = line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'));
        if (section.isEmpty() && line != QStringLiteral("[profile]")) {
            reason = not_a_profile;
            return std::nullopt;
        }
        if (heading) {
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            reason = QStringLiteral("line %1 is not a setting").arg(number);
            return std::nullopt;
        }
        const QString name = line.left(equals).trimmed();
        const QString key = section + QLatin1Char('.') + name;
        if (entries.contains(key)) {
            reason = QStringLiteral("line %1: %2 is given twice").arg(number).arg(name);
            return std::nullopt;
        }
        entries.insert(key, {number, name, line.mid(equals + 1).trimmed()});
    }
    if (section.isEmpty()) {
        reason = not_a_profile;
        return std::nullopt;
    }
    return entries;
}

// The [profile] section: format 1, and any tool version.
bool read_heading(QHash<QString, Entry>& entries, QString& reason) {
    const Entry format = entries.take(QStringLiteral("profile.format"));
    entries.remove(QStringLiteral("profile.tool_version"));
    if (format.line == 0) {
        reason = not_a_profile + QStringLiteral(" (no format in [profile])");
        return false;
    }
    if (format.value != QString::number(profile_format)) {
        reason = QStringLiteral("line %1: format %2 is not one this tool reads (%3)")
                     .arg(format.line)
                     .arg(format.value)
                     .arg(profile_format);
        return false;
    }
    return true;
}

} // namespace

QByteArray settings_profile_text(const Ui::Form1& ui, const QString& toolVersion, const QString& saved) {
    QString text = QStringLiteral("; q5 settings profile, saved by q5tool %1 on %2\n"
                                  "; Each setting is a control's position; beside it is what the controller\n"
                                  "; is sent for it when its Set button is pressed. Loading a profile sets\n"
                                  "; the controls only.\n"
                                  "[profile]\nformat=%3\ntool_version=%1\n")
                       .arg(toolVersion, saved)
                       .arg(profile_format);
    QString section;
    for (const Setting& setting : settings()) {
        const QWidget* control = setting.control(ui);
        const int position = position_of(control);
        if (section != QLatin1String(setting.section)) {
            section = QLatin1String(setting.section);
            text += QStringLiteral("\n[%1]\n").arg(section);
            if (setting.failsafeMask != 0)
                text += QStringLiteral("; sends failsafes %1\n").arg(hex_byte(failsafes_of(ui)));
        }
        const QString sent = setting.sends
                                 ? setting.sends(position)
                                 : QStringLiteral("bit %1 of failsafes").arg(hex_byte(setting.failsafeMask));
        text +=
            QStringLiteral("%1=%2 ; %3\n").arg(QLatin1String(setting.key), text_of(control, position), sent);
    }
    return text.toUtf8();
}

QString apply_settings_profile(Ui::Form1& ui, const QByteArray& text) {
    QString reason;
    std::optional<QHash<QString, Entry>> entries = read_entries(text, reason);
    if (!entries || !read_heading(*entries, reason))
        return reason;
    // Every setting is read and checked before any control moves.
    std::vector<std::pair<QWidget*, int>> positions;
    for (const Setting& setting : settings()) {
        const QString key = QLatin1String(setting.section) + QLatin1Char('.') + QLatin1String(setting.key);
        const auto found = entries->constFind(key);
        if (found == entries->constEnd())
            return QStringLiteral("%1 is missing from [%2]")
                .arg(QLatin1String(setting.key), QLatin1String(setting.section));
        QWidget* control = setting.control(ui);
        const std::optional<int> position = read_position(control, found->key, found->value, reason);
        if (!position)
            return QStringLiteral("line %1: %2").arg(found->line).arg(reason);
        positions.emplace_back(control, *position);
        entries->erase(found);
    }
    if (!entries->isEmpty()) {
        const Entry& unknown =
            *std::min_element(entries->cbegin(), entries->cend(),
                              [](const Entry& a, const Entry& b) { return a.line < b.line; });
        return QStringLiteral("line %1: %2 is not a setting of a profile").arg(unknown.line).arg(unknown.key);
    }
    for (const auto& [control, position] : positions)
        set_position(control, position);
    return {};
}

QString load_settings_profile(Ui::Form1& ui, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("it cannot be read: %1").arg(file.errorString());
    // Read with a limit, also from a file whose size the system does not know.
    const QByteArray text = file.read(largest_profile + 1);
    if (text.size() > largest_profile)
        return QStringLiteral("it is too large to be a q5 settings profile");
    return apply_settings_profile(ui, text);
}

QString save_settings_profile(const Ui::Form1& ui, const QString& path, const QString& toolVersion) {
    const QString saved = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    return write_whole_file(path, settings_profile_text(ui, toolVersion, saved));
}

} // namespace DADOV
