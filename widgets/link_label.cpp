#include "widgets/link_label.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace DADOV {

namespace {
const QColor link_colour(0x4d, 0xa6, 0xff);
const QColor visited_colour(0xc0, 0x80, 0xff);
} // namespace

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setTextFormat(Qt::PlainText);
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    apply_colour();
}

void LinkLabel::setLinkVisited(bool visited) {
    if (visited == _visited)
        return;
    _visited = visited;
    apply_colour();
}

void LinkLabel::apply_colour() {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, _visited ? visited_colour : link_colour);
    setPalette(p);
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        _pressed = true;
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && _pressed) {
        _pressed = false;
        event->accept();
        if (rect().contains(event->position().toPoint()))
            emit LinkClicked();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) {
        event->accept();
        emit LinkClicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

} // namespace DADOV
