#pragma once

#include <QIcon>
#include <QString>

// The program's icon, as the desktop shows it in the launcher: the window's
// title bar and taskbar entry and the about box use the same images.
namespace AppIcon {

// Every size the build rendered from the icon's drawing.
QIcon icon();

// The name of the program's desktop entry (without ".desktop"), which is
// also the icon's name in the icon theme.
QString desktopId();

} // namespace AppIcon
