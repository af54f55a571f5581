// The program's own icon, built into the program at the sizes desktops and trays ask for.
#pragma once

#include <QIcon>

namespace corvane::desktop {

// The icon of the window, its message boxes and the tray. Window thread only.
QIcon ProgramIcon();

}  // namespace corvane::desktop
