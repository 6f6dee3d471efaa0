#pragma once

// Tells assistive technologies what the program's own windows are, where Qt
// cannot know: the main window is a plain widget Qt would call a "filler",
// and the notice a dialog like any other. Idempotent; call before the window
// is first shown.
void installAccessibleRoles();
