#include "ClosingPass.h"

#include "rules/TitleMatch.h"

#include <unordered_set>

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
    std::unordered_set<platform::WindowHandle> done;
    const std::size_t count = names.size();
    for (std::size_t i = 0; i < count; ++i) {
        for (const platform::TopLevelWindow& window : stack) {
            if (window.handle == 0 || done.contains(window.handle) ||
                !titleContains(window.title, names[i]))
                continue;
            done.insert(window.handle);
            asked.push_back(window.handle);
        }
    }
    windows.requestCloseAll(asked);
    return asked;
}
