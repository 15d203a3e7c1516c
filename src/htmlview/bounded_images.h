#pragma once
// Images reach the views through a path of the program's own: the engine has
// no limit of its own on what one image may cost. A request for a picture
// from the web is sent to the scheme "zx-image", whose handler fetches the
// picture itself and hands it over only when it stayed within bounds: at
// most kMostImageBytes, within kImageTimeLimit, a declared size the views can
// afford (image_check.h). Anything else fails like a missing picture, and the
// other views go on as before.
#include <QUrl>
#include <chrono>

class QWebEngineProfile;

namespace zx {

inline constexpr qint64 kMostImageBytes = qint64{32} * 1024 * 1024;
inline constexpr std::chrono::seconds kImageTimeLimit{10};
// A picture's address longer than this is not fetched at all.
inline constexpr qsizetype kLongestImageAddress = qsizetype{64} * 1024;

// Makes the scheme known to the engine; before the first profile exists.
void RegisterBoundedImageScheme();
// Installs the handler on `profile`.
void HandleBoundedImages(QWebEngineProfile* profile);

// The address under the scheme for a picture's web address, and back
// (invalid for anything else).
QUrl BoundedImageUrl(const QUrl& web);
QUrl WebAddressOf(const QUrl& bounded);

}  // namespace zx
