// The judge of pictures on arbitrary bytes: no crash, no read past the data,
// and an accepted picture always names its type.
#include <cstddef>
#include <cstdint>

#include "htmlview/image_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const zx::ImageVerdict verdict = zx::CheckImage(bytes);
    if (verdict.accepted == verdict.mimeType.isEmpty()) __builtin_trap();
    if (verdict.accepted != verdict.reason.empty()) __builtin_trap();
    return 0;
}
