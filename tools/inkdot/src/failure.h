// What the command reports when it cannot go on: a message a user can act
// on and the exit status that says which kind of thing went wrong.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace inkdot::cli {

// Exit statuses, documented in `inkdot --help`.
enum ExitStatus : int {
    kExitOk = 0,
    kExitUsage = 2,     // an option or argument the command cannot use
    kExitImage = 3,     // the image is missing, unreadable or not an image
    kExitPack = 4,      // the resource pack is missing a resource or has a damaged one
    kExitLibrary = 5,   // a library call answered with a result code other than 0
    kExitOutput = 6,    // an output file could not be written
};

class Failure : public std::runtime_error {
public:
    Failure(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

// The meaning of a library result code, in words ("a memory block could not
// be allocated"), or "unknown result code".
const char* resultMeaning(int32_t code);

// "0x300 (the resource sequence cannot go on)".
std::string resultText(int32_t code);

} // namespace inkdot::cli
