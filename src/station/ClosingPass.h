#pragma once

#include "platform/TopLevelWindows.h"

#include <string>
#include <vector>

// The first window of the stack (topmost first) whose title contains name, or 0.
platform::WindowHandle FindWindowByTitlePart(const std::vector<platform::TopLevelWindow>& stack,
                                             const std::string& name);

// One closing pass: every top-level window whose title contains one of the
// names is asked to close, entry by entry in list order, topmost window first.
// The stack is read once; within the pass a window is asked at most once, so
// a window that refuses (or one of our own) cannot make the pass spin.
// Returns the windows asked, in order.
std::vector<platform::WindowHandle> runClosingPass(platform::TopLevelWindows& windows,
                                                   const std::vector<std::string>& names);
