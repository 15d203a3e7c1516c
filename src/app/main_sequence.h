#pragma once
// The program from start to end: single-instance test, splash, windows, the
// GUI loop, and the orderly end.
namespace zx {

struct MainOptions {
    int splashMs = 1500;
};

int RunMainSequence(int argc, char** argv, const MainOptions& options = {});

}  // namespace zx
