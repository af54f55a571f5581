// Corvane: the desktop program that configures, runs and watches the proxy servers.
#include "desktop/desktop_program.h"

int main(int argc, char** argv) { return corvane::desktop::RunDesktopProgram(argc, argv); }
