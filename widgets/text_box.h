#pragma once

#include "protocol/text_history.h"

#include <QPlainTextEdit>
#include <QString>

namespace DADOV {

// A text box whose text reads back exactly as it was set or appended, line ends included ("\r\n", "\n"
// or "\r" alone), since the controller's lines and the tool's messages are compared and copied as they
// stand. On screen each of those line ends starts a new line. Appending scrolls to the end.
//
// The text keeps a bounded history (protocol/text_history.h): the last 5,000 lines or 1 MiB, whichever is
// less; the oldest whole lines go from the text and the screen alike. The box keeps no undo history: its
// text is the program's, not the user's.
class TextBox : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit TextBox(QWidget* parent = nullptr);

    QString text() const { return _text.text(); }
    void setText(const QString& text);
    void AppendText(const QString& text);
    // Empties the box (hides QPlainTextEdit::clear, whose edits are followed all the same).
    void clear();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void follow_edit();
    void show_text();
    bool kept_hidden() const;
    void announce_kept();

    TextHistory _text;
    bool _updating = false;
    // A box hidden on purpose (the receive buffer) keeps its text only; the text is laid out when the
    // box is shown. Laying out every received line cost more than all the rest of the receive path.
    bool _stale = false;
};

} // namespace DADOV
