#pragma once

// Settings profiles: what the technician sets on the Tuning and zIdudo pages, kept in a readable text
// file (.q5profile) so that many units can be set up the same way. A profile holds each control's
// position; beside each, in a comment, is what the controller is sent for it. Loading sets the controls
// only: values still reach the controller through the Set buttons and the controller's requests.
//
// The file, INI-like: "[section]" lines, "key=value" lines, and comments from ";" or "#" to the end of a
// line. It begins with a [profile] section holding format=1 and the version of the tool that wrote it.

#include <QByteArray>
#include <QString>

namespace Ui {
class Form1;
}

namespace DADOV {

inline const QString profile_suffix = QStringLiteral("q5profile");
inline const QString profile_filter = QStringLiteral("q5 settings profiles (*.q5profile);;All files (*)");

// The profile text of the controls as they stand. `saved` is the time shown in its heading.
QByteArray settings_profile_text(const Ui::Form1& ui, const QString& toolVersion, const QString& saved);

// Sets the controls from a profile's text when every setting in it is sound. Empty on success; otherwise
// why not ("line 12: proportional_gain 9000 is outside 1 to 8000"), and no control has changed.
QString apply_settings_profile(Ui::Form1& ui, const QByteArray& text);

// The same from a file: the file is read whole (a profile is small; a large file is refused unread).
QString load_settings_profile(Ui::Form1& ui, const QString& path);

// Writes the controls' profile to `path` whole, or leaves what was there. Empty on success, else why.
QString save_settings_profile(const Ui::Form1& ui, const QString& path, const QString& toolVersion);

} // namespace DADOV
