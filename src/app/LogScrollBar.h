#pragma once
// The log's vertical scroll bar. Every line the log gets moves it, so an
// exchange repaints it at every step that logs; two things keep that cheap
// without changing a pixel:
//
// - It fills its background with the window colour first (unless the style
//   draws see-through scroll bars), so Qt counts it as opaque and repaints
//   it alone, not the frame, group box and pages beneath it as well. The
//   style paints the bar over the whole fill.
// - It paints in bands of fewer than 96 pixel rows. Qt's raster engine
//   hands every fill of 96 rows or more to its global thread pool in pieces
//   and waits for them (Qt 6.4 has no setting for this); for a bar a few
//   pixels wide, waking those threads costs the main thread far more than
//   the fill itself. Each band is painted into an image of its own by the
//   scroll bar's own paint code (the painter is redirected to the image),
//   then copied into place.

#include <QScrollBar>

class QImage;

class LogScrollBar final : public QScrollBar {
public:
    explicit LogScrollBar(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    QPaintDevice* redirected(QPoint* offset) const override;

private:
    void UpdateOpaque();

    QImage* band_ = nullptr; // while a band is painted
    QPoint bandOrigin_;
};
