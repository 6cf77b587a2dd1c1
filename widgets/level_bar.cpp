#include "widgets/level_bar.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>

#include <cstring>

namespace DADOV {

namespace {

// The columns around the fill's end that differ from both a fuller bar and the empty groove: the fill's
// clipped end, its highlight's rounded corner and the two shadow lines past it, with a pixel of
// antialiasing either side.
constexpr int kEndBefore = 6;
constexpr int kEndAfter = 4;

} // namespace

LevelBar::LevelBar(QWidget* parent) : QProgressBar(parent) {}

bool LevelBar::composes() const {
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    return composedWidth(option) >= 0;
}

int LevelBar::composedWidth(const QStyleOptionProgressBar& option) const {
    if (std::strcmp(style()->metaObject()->className(), "QFusionStyle") != 0 || devicePixelRatioF() != 1.0)
        return -1;
    if (!(option.state & QStyle::State_Horizontal) || option.invertedAppearance ||
        option.direction != Qt::LeftToRight || option.textVisible)
        return -1;
    // Empty, full and busy bars are drawn by the style.
    if (option.minimum >= option.maximum || option.progress <= option.minimum ||
        option.progress >= option.maximum)
        return -1;
    const QRect contents = style()->subElementRect(QStyle::SE_ProgressBarContents, &option, this);
    if (contents != option.rect || contents.width() < 3 * kEdge)
        return -1;
    const qint64 steps = qint64(option.maximum) - option.minimum;
    const auto width = int((qint64(option.progress) - option.minimum) * contents.width() / steps);
    return width < kEdge || width > contents.width() - kEdge ? -1 : width;
}

void LevelBar::preparePictures(const QStyleOptionProgressBar& option) {
    const Look look{size(), palette().cacheKey(), int(option.state), style()};
    if (look == _look && !_nearlyFull.isNull())
        return;
    _look = look;
    // The style's picture depends on the range only through the filled width: a range of one step a
    // pixel gives the wanted width exactly.
    const auto draw = [&](int filled) {
        QStyleOptionProgressBar one = option;
        one.minimum = 0;
        one.maximum = option.rect.width();
        one.progress = filled;
        QPixmap picture(size());
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        style()->drawControl(QStyle::CE_ProgressBar, &one, &painter, this);
        return picture;
    };
    _nearlyFull = draw(option.rect.width() - kEdge);
    _empty = draw(0);
}

void LevelBar::paintEvent(QPaintEvent* event) {
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    const int filled = composedWidth(option);
    if (filled < 0) {
        QProgressBar::paintEvent(event);
        return;
    }
    preparePictures(option);
    const int h = height();
    const int end = option.rect.left() + filled;
    const int reference = option.rect.right() + 1 - kEdge;
    QPainter painter(this);
    painter.drawPixmap(0, 0, _nearlyFull, 0, 0, end - kEndBefore, h);
    painter.drawPixmap(end - kEndBefore, 0, _nearlyFull, reference - kEndBefore, 0, kEndBefore + kEndAfter,
                       h);
    painter.drawPixmap(end + kEndAfter, 0, _empty, end + kEndAfter, 0, width() - end - kEndAfter, h);
}

} // namespace DADOV
