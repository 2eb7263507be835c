// Writes the application icon as PNG files in the freedesktop icon theme layout
// (DIR/hicolor/NxN/apps/quillon.png), for installation; the window draws the same icon itself.

#include "ui/AppIcon.h"

#include <QDir>
#include <QImage>
#include <QString>

#include <iostream>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: quillon-make-icons DIR\n";
    return 2;
  }
  const QString root = QString::fromLocal8Bit(argv[1]);
  for (const int side : {16, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(root).arg(side);
    const QString file = folder + QStringLiteral("/quillon.png");
    if (!QDir().mkpath(folder) || !quillon::ApplicationIconImage(side).save(file, "PNG")) {
      std::cerr << "quillon-make-icons: cannot write " << file.toStdString() << '\n';
      return 1;
    }
  }
  return 0;
}
