#pragma once
// The pictures the program ships: the bar's logo, the splash and the about
// picture. The splash is a JPEG, decoded with libjpeg.
#include <QImage>
#include <QPixmap>
#include <string_view>

namespace zx {

QPixmap LogoPicture();    // 85 x 69
QPixmap SplashPicture();  // 196 x 356
QPixmap AboutPicture();   // 200 x 358
QPixmap IconPicture();

// Decodes a JPEG; a null image when the data is not a readable JPEG.
QImage DecodeJpeg(std::string_view data);

}  // namespace zx
