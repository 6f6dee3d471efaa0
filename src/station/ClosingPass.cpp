#include "station/ClosingPass.h"

#include "rules/TitleMatch.h"

#include <string>
#include <vector>

platform::WindowHandle FindWindowByTitlePart(const std::vector<platform::TopLevelWindow>& stack,
                                             const std::string& name)
{
    for (const platform::TopLevelWindow& window : stack) {
        if (titleContains(window.title, name))
            return window.handle;
    }
    return 0;
}

std::vector<platform::WindowHandle> runClosingPass(platform::TopLevelWindows& windows,
                                                   const std::vector<std::string>& names)
{
    std::vector<platform::WindowHandle> asked;
    if (names.empty())
        return asked;

    // One snapshot for the whole pass: a window that has been asked may linger
    // (it asks its user, refuses, or is one of ours and cannot close while we
    // run), and reading the stack again would only find it again.
    const std::vector<platform::TopLevelWindow> stack = windows.stack();
    // A window matching several names is asked once, in the first name's turn.
    std::vector<bool> done(stack.size());
    for (const std::string& name : names) {
        for (std::size_t w = 0; w < stack.size(); ++w) {
            if (done[w] || stack[w].handle == 0 || !titleContains(stack[w].title, name))
                continue;
            done[w] = true;
            asked.push_back(stack[w].handle);
        }
    }
    windows.requestCloseAll(asked);
    return asked;
}
