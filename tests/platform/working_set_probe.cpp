// A library the working-set test loads and unloads: four pages of constant
// data with a known pattern, and a function.
#include "working_set_probe.h"

#include <array>

namespace {
using zx::test::kProbeSize;
constexpr std::array<unsigned char, kProbeSize> Pattern() {
    std::array<unsigned char, kProbeSize> bytes{};
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = zx::test::ProbeByte(i);
    return bytes;
}
}  // namespace

extern "C" {
alignas(4096) extern const std::array<unsigned char, kProbeSize> zx_probe_pages;
alignas(4096) const std::array<unsigned char, kProbeSize> zx_probe_pages = Pattern();
int zx_probe_sum(int n);
int zx_probe_sum(int n) {
    int sum = 0;
    for (int i = 1; i <= n; ++i) sum += i * zx_probe_pages[static_cast<size_t>(i)];
    return sum;
}
}
