#pragma once
// What the working-set test's probe library holds: four pages of constant
// data, byte i being ProbeByte(i).
#include <cstddef>

namespace zx::test {

constexpr size_t kProbePage = 4096, kProbeSize = 4 * kProbePage;

constexpr unsigned char ProbeByte(size_t i) {
    return static_cast<unsigned char>(i * 7 + 1);
}

}  // namespace zx::test
