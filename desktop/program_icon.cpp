#include "desktop/program_icon.h"

#include <QString>

namespace corvane::desktop {

QIcon ProgramIcon() {
  QIcon icon;
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    icon.addFile(QString(":/icons/%1/corvane.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace corvane::desktop
