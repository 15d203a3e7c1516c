#include "skin/skin.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTest>
#include <stdexcept>

#include "base/handler_guard.h"
#include "qtext/qt_text.h"
#include "skin/look.h"
#include "skin/pictures.h"
#include "skin/ts_label.h"

namespace zx {
namespace {

TEST(Skin, UnpacksToTheStyleSheet) {
    const std::string qss = UnpackSkin();
    EXPECT_NE(qss.find("QPushButton"), std::string::npos);
    EXPECT_NE(qss.find("QMenu"), std::string::npos);
    const QString filled = WithSkinColours(ToQString(qss));
    EXPECT_FALSE(filled.contains('@')) << "every colour name is known";
    EXPECT_TRUE(filled.contains(kEditFace.name()));
}

TEST(TsLabel, AFailingClickHandlerIsReportedAndTheNextClickStillArrives) {
    std::vector<std::string> reported;
    const ExceptionReporter previous =
        SetExceptionReporter([&](const std::exception& e) { reported.push_back(e.what()); });
    TsLabel label(nullptr, "x");
    int clicks = 0;
    QObject::connect(&label, &TsLabel::clicked, [&] {
        if (++clicks == 1) throw std::runtime_error("first click failed");
    });
    QTest::mouseClick(&label, Qt::LeftButton);
    QTest::mouseClick(&label, Qt::LeftButton);
    SetExceptionReporter(previous);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(reported, std::vector<std::string>{"first click failed"});
}

TEST(Pictures, ShippedPicturesHaveTheirSizes) {
    EXPECT_EQ(LogoPicture().size(), QSize(85, 69));
    EXPECT_EQ(SplashPicture().size(), QSize(196, 356)) << "decoded through libjpeg";
    EXPECT_EQ(AboutPicture().size(), QSize(200, 358));
}

TEST(Jpeg, DamagedDataGivesANullImageInsteadOfEndingTheProgram) {
    QFile f(":/pictures/splash.jpg");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    EXPECT_TRUE(DecodeJpeg("").isNull());
    EXPECT_TRUE(DecodeJpeg("not a jpeg at all").isNull());
    // A cut or garbled picture may decode partly; it must not end the program.
    const QByteArray header = good.left(200);
    (void)DecodeJpeg(std::string_view(header.constData(), static_cast<size_t>(header.size())));
    QByteArray garbled = good;
    for (qsizetype i = 400; i < garbled.size(); i += 7) garbled[i] = static_cast<char>(garbled[i] ^ 0x5A);
    (void)DecodeJpeg(std::string_view(garbled.constData(), static_cast<size_t>(garbled.size())));
}

}  // namespace
}  // namespace zx
