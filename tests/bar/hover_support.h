#pragma once
// Driving the bar's tick through the fake platform's pointer.
#include <gtest/gtest.h>

#include <QEvent>
#include <QObject>

#include "support/bar_fixture.h"

namespace zx::test {

// Counts the moves and resizes a window goes through.
class GeometryCounter : public QObject {
public:
    explicit GeometryCounter(QWidget* w) { w->installEventFilter(this); }
    int changes = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Move || e->type() == QEvent::Resize) ++changes;
        return false;
    }
};

class HoverTest : public ::testing::Test {
protected:
    explicit HoverTest(int screenWidth = 1024) : bar(screenWidth) {}

    FakePlatform& fake() { return bar.fake.get(); }
    TForm1& form() { return *bar.form1; }
    TfrmPopupForm& popup() { return *bar.popup; }

    void tick() { form().Timer1Timer(); }
    // Points are given in the primary monitor's frame.
    void at(int x, int y) { fake().pointer = Point{fake().primaryOrigin.X + x, fake().primaryOrigin.Y + y}; }
    void tickAt(int x, int y) {
        at(x, y);
        tick();
    }
    void restTicks(int n) {
        for (int i = 0; i < n; ++i) tick();
    }
    // A point well inside cell i's hit rectangle.
    static int CellX(int i) { return CellLeft(i) + 30; }

    // As at start-up: the bar shown off screen, hidden by the first tick
    // that finds the pointer below it.
    void StartUp() {
        form().show();
        tickAt(500, 500);
    }
    void Reveal(int x = 300) { tickAt(x, 0); }
    // Reveals the bar and rests on cell i until the preview opens.
    void OpenPreview(int i) {
        StartUp();
        Reveal();
        tickAt(CellX(i), 30);
        restTicks(3);
    }

    BarFixture bar;
};

}  // namespace zx::test
