#pragma once

// A progress bar that shows a live reading: it looks and behaves exactly as a QProgressBar, and paints
// its partly filled states from two pictures the style drew once, instead of having the style draw the
// groove, the gradient and the rounded ends again for every new value.
//
// A Fusion bar's picture depends on its value only through the filled width in pixels: left of the
// fill's end it is the same as any fuller bar, around the end it is the same as any other end shifted,
// and right of it it is the empty groove. So a value is painted as three strips: the start of a nearly
// full bar, its end shifted to where this value's fill ends, and the rest of the empty bar. Every other
// case (another style, another orientation or direction, visible text, a fill too near either end,
// full, a fractional screen scale) is left to QProgressBar.

#include <QPixmap>
#include <QProgressBar>

class QStyleOptionProgressBar;

namespace DADOV {

class LevelBar : public QProgressBar {
    Q_OBJECT

public:
    explicit LevelBar(QWidget* parent = nullptr);

    // Fills closer than this to either end are drawn by the style.
    static constexpr int kEdge = 12;

    // Whether a paint with the present state is made from the pictures (for tests).
    bool composes() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The filled width of the contents for the option, in the style's own arithmetic; -1 when the bar's
    // picture is not made from the pictures.
    int composedWidth(const QStyleOptionProgressBar& option) const;
    // Draws the pictures for the option's look, unless the ones kept are for it.
    void preparePictures(const QStyleOptionProgressBar& option);

    struct Look {
        QSize size;
        qint64 palette = 0;
        int state = 0;
        const QStyle* style = nullptr;
        bool operator==(const Look&) const = default;
    };
    Look _look;
    QPixmap _nearlyFull; // filled to the contents' width less kEdge
    QPixmap _empty;
};

} // namespace DADOV
