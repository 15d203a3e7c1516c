#pragma once
// The one conversion between the program's 8-bit text, UTF-8 where it meets
// Qt, and Qt's strings.
#include <QString>
#include <string>
#include <string_view>

namespace zx {

inline QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string ToStdString(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), static_cast<size_t>(utf8.size()));
}

}  // namespace zx
