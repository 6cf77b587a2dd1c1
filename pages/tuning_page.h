#pragma once

// The Controller Tuning page: the seven tuning sliders with their read-outs, the Set buttons that ask
// the controller to request a value, the failsafe boxes, and the tuning variables the requests are
// answered from. Its messages go to textBox6.

#include "pages/page_context.h"

#include <QLocale>
#include <QObject>
#include <QtGlobal>

#include <array>

class QCheckBox;

namespace DADOV {

class TuningPage : public QObject {
    Q_OBJECT

public:
    explicit TuningPage(const PageContext& context, QObject* parent = nullptr);

    // The tuning variables, as the last refresh (or request) left them.
    int P() const { return _P; }         // proportional gain x 1000
    int I() const { return _I; }         // integral gain x 10, truncated
    int D() const { return _D; }         // derivative gain x 10, truncated
    int C() const { return _C; }         // current limit in amps
    int A() const { return _A; }         // blade acceleration
    int delay() const { return _delay; } // control-loop delay: 100 minus the Control Loop Hz slider
    int Integ() const { return _Integ; } // integral limit
    quint8 failsafes() const { return _failsafes; } // failsafe-disable bit mask, one bit per check box

    // Refresh while the page is shown: the tuning variables and read-outs from the sliders.
    void tuning_page_refresh();

    // The values the controller's requests are answered with; "curr", "accel" and "delay" take the
    // slider's value at the moment of the request.
    int answer_curr();
    int answer_accel();
    int answer_delay();
    int active_sense() const;

    // The page's controls' handlers.
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

    // "Save Profile..." and "Load Profile...": the settings of this page and the zIdudo page to and from
    // a profile file (pages/settings_profile.h).
    void saveProfileButton_Click();
    void loadProfileButton_Click();
    // Sets the controls from the profile at `path` and says so in the text area; nothing is sent. Empty
    // when it loaded, otherwise the message shown ("Profile not loaded: <name>: <why>").
    QString loadProfile(const QString& path);
    // Writes the profile; the message shown says where, or why not. Empty when it was written.
    QString saveProfile(const QString& path);

    // The tool version a saved profile names.
    QString toolVersion;

private:
    void set_failsafe_bit(const QCheckBox* box, quint8 mask);
    // The folder a profile dialog starts in: the last one used, or the documents folder.
    QString profile_folder() const;
    // The text area after a profile was saved or loaded: `done`, or `failed` followed by the failure.
    // Returns the failure's message, empty when there was none.
    QString show_profile_outcome(const QString& failure, const QString& done, const QString& failed);

    PageContext _context;
    Ui::Form1& ui;
    int _P = 0;
    int _I = 0;
    int _D = 0;
    int _C = 0;
    int _A = 0;
    int _delay = 0;
    int _Integ = 0;
    quint8 _failsafes = 0;
    // The slider values and number format the read-outs show.
    std::array<int, 6> _shownValues{-1, -1, -1, -1, -1, -1};
    QLocale _shownLocale;
    QString _profileFolder;
};

} // namespace DADOV
