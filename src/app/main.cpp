#include "app/main_sequence.h"

int main(int argc, char** argv) {
    return zx::RunMainSequence(argc, argv);
}
