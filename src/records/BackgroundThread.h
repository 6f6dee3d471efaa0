#pragma once

// Lowers the calling thread's scheduling priority (Linux gives each thread its
// own nice value): a thread that writes records in the background never takes
// a CPU that the window's thread wants. Not for work someone waits on: on a
// busy machine a lowered thread runs many times slower.
void yieldToTheWindow();
