#pragma once

#include <QIcon>
#include <QString>

// The images of the toolbar and of the product picker's buttons, drawn as
// vector shapes at whatever size and scale they are asked for, so they stay
// sharp on any screen.
namespace ToolbarIcons {

// "btOpen", "btSaveEncrypt", "btSaveDecrypt", "btPrint", "btSetting", and
// "cmdPrevProduct" and "cmdNextProduct" (arrows pointing left and right);
// another key gives a null icon.
QIcon icon(const QString &key);

} // namespace ToolbarIcons
