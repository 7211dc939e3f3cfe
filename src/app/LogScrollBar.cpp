#include "app/LogScrollBar.h"

#include <QEvent>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace {
// Qt's raster engine splits a fill of this many pixel rows or more across
// its thread pool.
constexpr int kThreadedFillRows = 96;
} // namespace

LogScrollBar::LogScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent)
{
    UpdateOpaque();
}

void LogScrollBar::UpdateOpaque()
{
    // A see-through bar must let what lies beneath show.
    setAutoFillBackground(!style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, this));
}

void LogScrollBar::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::StyleChange)
        UpdateOpaque();
    QScrollBar::changeEvent(event);
}

QPaintDevice* LogScrollBar::redirected(QPoint* offset) const
{
    if (band_) {
        *offset = bandOrigin_;
        return band_;
    }
    return QScrollBar::redirected(offset);
}

void LogScrollBar::paintEvent(QPaintEvent* event)
{
    const QRect area = event->rect();
    // The device Qt paints the bar on: the window's backing store, or the
    // target of a render or grab.
    QPoint unused;
    const QPaintDevice* target = QScrollBar::redirected(&unused);
    const qreal ratio = (target ? target : this)->devicePixelRatio();
    const QBrush background = palette().brush(backgroundRole());
    // Bands need the plain opaque fill beneath them, whole device pixels at
    // their edges, and a painter of their own (a widget rendered through a
    // shared painter ignores the redirection).
    if (!autoFillBackground() || background.style() != Qt::SolidPattern || !background.isOpaque()
        || ratio != std::floor(ratio) || sharedPainter() || area.height() * ratio < kThreadedFillRows) {
        QScrollBar::paintEvent(event);
        return;
    }
    const int bandRows = int((kThreadedFillRows - 1) / ratio);
    for (int top = area.top(); top <= area.bottom(); top += bandRows) {
        const QRect band(area.left(), top, area.width(), std::min(bandRows, area.bottom() + 1 - top));
        QImage image(band.size() * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(background.color()); // as Qt fills the background beneath
        band_ = &image;
        bandOrigin_ = band.topLeft();
        QScrollBar::paintEvent(event); // its painter paints into `image`
        band_ = nullptr;
        QPainter(this).drawImage(band.topLeft(), image);
    }
}
