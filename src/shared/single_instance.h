#pragma once
// The single-instance protocol on the process-shared text "InstanceText":
//   empty          no copy runs
//   "0"            a copy passed the start-up test and is starting
//   decimal digits a copy runs; the digits are its bar window's handle
#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace zx {

class TProcessSharedAnsiString;

// The name of the block that holds the instance text. Fixed by the
// single-instance protocol: every copy of the program opens this name.
inline constexpr char kInstanceTextName[] = "3344408C-3185-4DC3-912C-6BC0E4B4FD8B";

class SingleInstance {
public:
    explicit SingleInstance(std::string name = kInstanceTextName);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Opens the instance text, and under its lock reads it and, when it is
    // empty, writes "0": true means this copy goes on. False means another
    // copy runs or is starting: it has been notified (after the lock was
    // released) and this object's text is freed; the
    // caller ends with exit code 0. Exceptions (the map failure, a published
    // text that is no integer) leave with the lock released and the text freed.
    bool StartupTest();
    // Writes the bar's window handle as unsigned decimal digits.
    void Publish(WindowId window);
    // Writes the empty text and frees the object; safe to call more than once.
    void Withdraw();

private:
    std::string name_;
    std::unique_ptr<TProcessSharedAnsiString> InstanceText;
};

}  // namespace zx
