#include <cstdio>

#include "app/command_line.h"
#include "app/main_sequence.h"

int main(int argc, char** argv) {
    // --help and --version answer before Qt, the engine or the single-instance
    // guard start, so they work without a display and beside a running copy.
    if (const auto code = zx::AnswerCommandLine(argc, argv, stdout)) return *code;
    return zx::RunMainSequence(argc, argv);
}
