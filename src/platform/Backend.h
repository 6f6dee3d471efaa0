#pragma once

#include <memory>
#include <string>

namespace platform {

struct SessionFacts;
struct WindowSourceChoice;

// Owns the implementations behind services().
class Backend
{
public:
    virtual ~Backend() = default;
    // What the session offered at start, and which source the closing pass
    // uses for other programs' windows, and why.
    virtual const SessionFacts& sessionFacts() const = 0;
    virtual const WindowSourceChoice& windowSourceChoice() const = 0;
};

// Creates the backend this build was made for and points services() at it.
// Needs a running QApplication. Throws std::runtime_error when the windowing
// system cannot be reached.
std::unique_ptr<Backend> installBackend();

// Before the QApplication exists: points Qt at the windowing system this
// build was made for (unless a -platform argument chooses) and checks that it
// can be reached. On failure, returns false with a one-line reason in why.
bool prepareToStart(int argc, char** argv, std::string& why);

} // namespace platform
