// What the command reports when it cannot go on: a message a user can act
// on and the exit status that says which kind of thing went wrong.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace inkdot::cli {

// Exit statuses, one scheme for `inkdot` and `respack`, documented in the
// help of both and in the README.
enum ExitStatus : int {
    kExitOk = 0,
    kExitUnexpected = 1,  // a fault of the command itself (please report it)
    kExitUsage = 2,       // an option or argument the command cannot use
    kExitImage = 3,       // the image is missing, unreadable or not an image
    kExitPack = 4,        // the resource pack is missing a resource or has a damaged one
    kExitLibrary = 5,     // a library call answered with a result code other than 0
    kExitOutput = 6,      // an output file could not be written
};

// The exit statuses as both commands' help gives them.
constexpr const char* kExitStatusText =
    "Exit status: 0 done; 1 an unexpected fault of the command; 2 an option or argument cannot be "
    "used;\n"
    "3 an input file (image, measurements) is missing or unreadable; 4 the resource pack is "
    "missing, or\n"
    "is missing a resource or holds a damaged one; 5 a library call failed (the message names the "
    "call,\n"
    "its result code and the resource); 6 an output file cannot be written.";

class Failure : public std::runtime_error {
public:
    Failure(int status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

// Up to four numbers in a message, by a printf format.
std::string format(const char* fmt, double a, double b = 0, double c = 0, double d = 0);

// The meaning of a library result code, in words ("a memory block could not
// be allocated"), or "unknown result code".
const char* resultMeaning(int32_t code);

// "0x300 (the resource sequence cannot go on)".
std::string resultText(int32_t code);

}  // namespace inkdot::cli
