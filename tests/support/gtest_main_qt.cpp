// Runs the tests inside the program's guarded application, so that widgets,
// timers and views work and an exception in a handler is reported as in the program.
#include <gtest/gtest.h>

#include "app/guarded_application.h"

int main(int argc, char** argv) {
    zx::GuardedApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
