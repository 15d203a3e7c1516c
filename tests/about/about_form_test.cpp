// The about window: its click areas, the "X" button and the splash.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include "about/form2.h"
#include "skin/ts_label.h"
#include "support/fake_platform.h"

namespace zx {
namespace {

class AboutTest : public ::testing::Test {
protected:
    ScopedFakePlatform fake;
    QWidget splash;
};

TEST_F(AboutTest, EachClickAreaOpensItsPageOnceAndTheWindowStays) {
    TForm2 about(&splash);
    about.show();
    const std::pair<TsLabel*, std::string> links[] = {
        {about.sLabel1, "http://www.brightfold.example/"},
        {about.sLabel6, "http://www.brightfold.example/zeltrix.html"},
        {about.sLabel2, "http://www.brightfold.example/zeltrix-faq.html"},
        {about.sLabel3, "http://www.brightfold.example/zeltrix-help.html"},
    };
    for (const auto& [label, page] : links) {
        fake->opened.clear();
        QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(3, 3));
        // A double-click, as the window system delivers it: one more page.
        QTest::mouseDClick(about.windowHandle(), Qt::LeftButton, {}, label->mapTo(&about, QPoint(3, 3)));
        ASSERT_EQ(fake->opened.size(), 2u) << label->objectName().toStdString();
        EXPECT_EQ(fake->opened[0], page);
        EXPECT_EQ(fake->opened[1], page);
        EXPECT_TRUE(about.isVisible());
    }
}

TEST_F(AboutTest, ClickAreasAreCaptionlessHandCursorTargetsOverThePicture) {
    TForm2 about;
    EXPECT_EQ(about.size(), QSize(195, 356));
    EXPECT_EQ(about.Image1->geometry(), QRect(-4, 0, 235, 379));
    EXPECT_EQ(about.sLabel1->geometry(), QRect(32, 112, 131, 17));
    EXPECT_EQ(about.sLabel6->geometry(), QRect(32, 160, 131, 13));
    EXPECT_EQ(about.sLabel2->geometry(), QRect(8, 310, 36, 13));
    EXPECT_EQ(about.sLabel3->geometry(), QRect(149, 310, 36, 13));
    EXPECT_EQ(about.SpeedButton1->geometry(), QRect(169, 12, 23, 22));
    EXPECT_EQ(about.SpeedButton1->text(), "X");
    for (TsLabel* l : {about.sLabel1, about.sLabel2, about.sLabel3, about.sLabel6}) {
        EXPECT_TRUE(l->text().isEmpty());
        EXPECT_EQ(l->cursor().shape(), Qt::PointingHandCursor);
    }
}

TEST_F(AboutTest, PictureOutsideTheAreasDoesNothing) {
    TForm2 about;
    about.show();
    QTest::mouseClick(about.Image1, Qt::LeftButton, {}, QPoint(100, 60));
    QTest::mouseClick(about.Image1, Qt::LeftButton, {}, QPoint(100, 240));
    EXPECT_TRUE(fake->opened.empty());
    EXPECT_TRUE(about.isVisible());
}

TEST_F(AboutTest, OnlyTheXButtonEndsTheModalShowingWithCancelAndEachShowingClosesTheSplash) {
    TForm2 about(&splash);
    fake->primaryOrigin = Point{100, 50};  // centred on the platform's primary monitor
    for (int showing = 0; showing < 2; ++showing) {
        splash.show();
        bool centred = false;
        bool splashHidden = false;
        bool stillShown = false;
        QTimer::singleShot(0, [&] {
            const QRect screen(100, 50, fake->screenWidth, 768);
            centred = about.geometry().center() == screen.center() ||
                      (about.geometry().center() - screen.center()).manhattanLength() <= 1;
            splashHidden = !splash.isVisible();
            QTest::keyClick(&about, Qt::Key_Escape);  // no cancel key
            stillShown = about.isVisible();
            QTest::mouseClick(about.SpeedButton1, Qt::LeftButton);
        });
        EXPECT_EQ(about.ShowModal(), mrCancel);
        EXPECT_TRUE(centred);
        EXPECT_TRUE(splashHidden);
        EXPECT_TRUE(stillShown) << "Escape closed the window";
        EXPECT_FALSE(about.isVisible());
        EXPECT_TRUE(fake->opened.empty());
    }
}

}  // namespace
}  // namespace zx
