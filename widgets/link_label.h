#pragma once

#include <QLabel>

namespace DADOV {

// A label drawn as a hyperlink that reports a click (left mouse button released over it, or Enter or
// Space while it has the focus) through LinkClicked. Whether it shows as visited is up to its owner.
class LinkLabel : public QLabel {
    Q_OBJECT

public:
    explicit LinkLabel(QWidget* parent = nullptr);

    bool LinkVisited() const { return _visited; }
    void setLinkVisited(bool visited);

signals:
    void LinkClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void apply_colour();

    bool _visited = false;
    bool _pressed = false;
};

} // namespace DADOV
