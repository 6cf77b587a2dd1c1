#include "widgets/text_box.h"

#include "widgets/heap_policy.h"

#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

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
    setUndoRedoEnabled(false);
    connect(this, &QPlainTextEdit::textChanged, this, &TextBox::follow_edit);
}

// Edits that did not come through this class (the user typing in an editable box, or a call of the
// base class) make the shown text the text.
void TextBox::follow_edit() {
    if (!_updating)
        _text.set(toPlainText());
}

// Hidden on purpose (not merely not shown yet).
bool TextBox::kept_hidden() const {
    return testAttribute(Qt::WA_WState_ExplicitShowHide) && testAttribute(Qt::WA_WState_Hidden);
}

// The change is announced as for a shown box; the document follows when the box is shown.
void TextBox::announce_kept() {
    _stale = true;
    _updating = true;
    emit textChanged();
    _updating = false;
}

void TextBox::setText(const QString& text) {
    if (kept_hidden()) {
        if (text != _text.text()) {
            _text.set(text);
            announce_kept();
        }
        return;
    }
    // Unchanged: nothing to do. (An empty box is told so cheaply: it is cleared at every tick while no
    // controller is attached.)
    if (!_stale && text == _text.text() &&
        (text.isEmpty() ? document()->isEmpty() : toPlainText() == shown(text)))
        return;
    // The text is in place before the box announces the change.
    _text.set(text);
    show_text();
}

void TextBox::show_text() {
    _stale = false;
    _updating = true;
    setPlainText(shown(_text.text()));
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
    // A "\r" that ended the previous text and a "\n" that starts this one are one line end.
    const bool joins = _text.endsWithCr() && text.startsWith(QLatin1Char('\n'));
    const qsizetype dropped = _text.append(text);
    if (dropped > 0)
        return_freed_memory_now_and_then();
    if (kept_hidden()) {
        announce_kept();
        return;
    }
    if (_stale) {
        show_text();
        return;
    }
    QString chunk = shown(text);
    if (joins)
        chunk.remove(0, 1);
    // One edit: the box announces the change once, with the new text in place.
    _updating = true;
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(chunk);
    if (dropped > 0) {
        // The screen's lines are the text's: each line end starts a block.
        cursor.movePosition(QTextCursor::Start);
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, int(dropped));
        cursor.removeSelectedText();
    }
    cursor.endEditBlock();
    moveCursor(QTextCursor::End);
    _updating = false;
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TextBox::clear() {
    setText(QString());
}

} // namespace DADOV
