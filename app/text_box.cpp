#include "app/text_box.h"

#include <QScrollBar>
#include <QTextCursor>

namespace DADOV {

namespace {

// The text as shown: every line end becomes one "\n".
QString shown(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent) {
    connect(this, &QPlainTextEdit::textChanged, this, &TextBox::follow_edit);
}

// Edits that did not come through this class (the user typing in an editable box, or a call of the
// base class) make the shown text the text.
void TextBox::follow_edit() {
    if (!_updating)
        _text = toPlainText();
}

// Hidden on purpose (not merely not shown yet).
bool TextBox::kept_hidden() const {
    return testAttribute(Qt::WA_WState_ExplicitShowHide) && testAttribute(Qt::WA_WState_Hidden);
}

// The change is announced as for a shown box; the document follows when the box is shown.
void TextBox::keep_text(const QString& text) {
    _text = text;
    _stale = true;
    _updating = true;
    emit textChanged();
    _updating = false;
}

void TextBox::setText(const QString& text) {
    if (kept_hidden()) {
        if (text != _text)
            keep_text(text);
        return;
    }
    if (text == _text && toPlainText() == shown(text))
        return;
    // The text is in place before the box announces the change.
    _text = text;
    show_text();
}

void TextBox::show_text() {
    _stale = false;
    _updating = true;
    setPlainText(shown(_text));
    _updating = false;
}

void TextBox::showEvent(QShowEvent* event) {
    if (_stale)
        show_text();
    QPlainTextEdit::showEvent(event);
}

void TextBox::AppendText(const QString& text) {
    if (text.isEmpty())
        return;
    if (kept_hidden()) {
        keep_text(_text + text);
        return;
    }
    QString chunk = shown(text);
    // A "\r" that ended the previous text and a "\n" that starts this one are one line end.
    if (_text.endsWith(QLatin1Char('\r')) && text.startsWith(QLatin1Char('\n')))
        chunk.remove(0, 1);
    _text += text;
    _updating = true;
    moveCursor(QTextCursor::End);
    insertPlainText(chunk);
    moveCursor(QTextCursor::End);
    _updating = false;
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TextBox::clear() {
    setText(QString());
}

} // namespace DADOV
