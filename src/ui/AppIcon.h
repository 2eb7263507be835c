#pragma once
// The application's icon and its maker's logo, drawn here like the other pictures, so that the
// window, the About dialog and the installed icon files (tools/MakeIcons.cpp) show one drawing.

#include <QIcon>
#include <QImage>

namespace quillon {

// The icon at the sizes desktops ask for, as the windows' icon.
QIcon ApplicationIcon();

// The icon as an image of side x side pixels, transparent around the drawing.
QImage ApplicationIconImage(int side);

// The maker's logo as an image of side x side pixels.
QImage MakerLogoImage(int side);

} // namespace quillon
