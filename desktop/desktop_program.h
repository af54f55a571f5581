// The desktop program Corvane: one instance per user, the window, and the session's end.
#pragma once

namespace corvane::desktop {

// Runs the program; the return value is the process's exit code. A second instance hands the
// restore request to the first and returns 0 at once, showing nothing.
int RunDesktopProgram(int argc, char** argv);

}  // namespace corvane::desktop
