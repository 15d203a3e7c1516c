#include "skin/skin.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTest>
#include <algorithm>
#include <cstdlib>
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

QImage Decode(const QByteArray& bytes) {
    return DecodeJpeg(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

// The largest difference of any colour channel between the first `rows`
// rows of two images of one width.
int LargestDifference(const QImage& a, const QImage& b, int rows) {
    int most = 0;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            most = std::max(
                {most, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return most;
}

TEST(Jpeg, DamagedDataGivesANullImageInsteadOfEndingTheProgram) {
    QFile f(":/pictures/splash.jpg");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    // The whole picture gives the pixels the toolkit's own reader gives.
    const QImage whole = Decode(good);
    ASSERT_EQ(whole.size(), QSize(196, 356));
    const QImage reference = QImage::fromData(good, "JPG");
    ASSERT_EQ(reference.size(), whole.size()) << "the toolkit's reader";
    EXPECT_LE(LargestDifference(whole, reference, whole.height()), 2);

    EXPECT_TRUE(Decode("").isNull());
    EXPECT_TRUE(Decode("not a jpeg at all").isNull());
    // Cut inside its tables it gives nothing; cut inside its data it gives a
    // picture of full size whose rows that arrived are whole.
    EXPECT_TRUE(Decode(good.left(200)).isNull());
    const QImage half = Decode(good.left(good.size() / 2));
    ASSERT_EQ(half.size(), whole.size());
    EXPECT_EQ(LargestDifference(half, whole, 50), 0);
    // Garbled data gives a picture of full size or nothing.
    QByteArray garbled = good;
    for (qsizetype i = 400; i < garbled.size(); i += 7) garbled[i] = static_cast<char>(garbled[i] ^ 0x5A);
    const QImage damaged = Decode(garbled);
    EXPECT_TRUE(damaged.isNull() || damaged.size() == whole.size()) << damaged.width() << "x" << damaged.height();
}

}  // namespace
}  // namespace zx
