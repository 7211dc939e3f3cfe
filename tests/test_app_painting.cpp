// What a read repaints, and that the window still looks exactly as when it
// is painted whole: ConfigToForm leaves controls that already show the
// record alone, and the log's scroll bar repaints alone.

#include "support/UnitHarness.h"

#include <QPaintEvent>
#include <QPixmap>
#include <QScreen>

namespace {

// Counts the paint events of every widget below a window, by class.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* root)
    {
        for (QWidget* w : root->findChildren<QWidget*>())
            w->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            Painted << QString::fromLatin1(watched->metaObject()->className()) + QLatin1Char(' ') + watched->objectName();
        return false;
    }
    QStringList Painted;
};

struct ShownWindow {
    ShownWindow()
    {
        unit = h.AddUnit();
        unit->StoreConfig(SampleUnitConfig());
        h.Create().show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(h.Form.get()));
    }
    void Read()
    {
        h.Dialogs.Boxes.clear();
        h.Get<QPushButton>(S("ReadButton"))->click(); // a press that paints nothing itself
        ASSERT_TRUE(h.WaitForBox(S("Read Complete")));
        ASSERT_TRUE(h.WaitForState(Awaiting::Nothing));
        QCoreApplication::processEvents(); // the repaints
    }
    // The window's pixels as they are on the screen.
    QImage OnScreen() const { return h.Form->screen()->grabWindow(h.Form->winId()).toImage(); }

    UnitHarness h;
    std::shared_ptr<vantrel::SimulatedUnit> unit;
};

TEST(Painting, ReadBringingWhatTheWindowShowsRepaintsOnlyTheLog)
{
    ShownWindow w;
    w.Read(); // the unit's values replace the defaults
    PaintCounter counter(w.h.Form.get());
    w.Read();
    EXPECT_EQ(w.h.Edit(S("IPAddr1Edit"))->text(), S("10"));
    EXPECT_EQ(w.h.Spin(S("ClientPortCSpinEdit"))->value(), 502);
    // Two lines, then one: the log and its scroll bar twice, nothing else.
    EXPECT_EQ(counter.Painted, (QStringList{S("QWidget qt_scrollarea_viewport"), S("QScrollBar "),
                                            S("QWidget qt_scrollarea_viewport"), S("QScrollBar ")}));
    EXPECT_EQ(w.h.LogLines().mid(3), (QStringList{S("Appware Version:1.05"), S("Serial Number: 4711"), S("Data read")}));
}

// A spin box's text that the operator changed but that does not show the
// value in its own form is replaced by the record's value, as before.
TEST(Painting, ConfigToFormStillReplacesASpinBoxTextNotInItsOwnForm)
{
    for (const char* typed : {"", "0502", "50"}) {
        SCOPED_TRACE(typed);
        ShownWindow w;
        w.Read();
        QSpinBox* port = w.h.Spin(S("ClientPortCSpinEdit"));
        port->setFocus();
        port->selectAll();
        QTest::keyClick(port, Qt::Key_Delete);
        QTest::keyClicks(port, S(typed));
        w.h.Form->ConfigToForm();
        EXPECT_EQ(port->text(), S("502"));
        EXPECT_EQ(port->value(), 502);
    }
}

TEST(Painting, WindowAfterReadsLooksAsWhenPaintedWhole)
{
    ShownWindow w;
    for (int reads = 1; reads <= 40; ++reads) {
        w.Read();
        if (reads != 1 && reads != 3 && reads != 9 && reads != 40)
            continue;
        SCOPED_TRACE(reads);
        const QImage painted = w.OnScreen();
        w.h.Form->repaint();
        EXPECT_TRUE(painted == w.OnScreen());
    }
}

} // namespace
