#pragma once

#include <QIcon>
#include <QString>

// The toolbar's images, drawn as vector shapes at whatever size and scale
// they are asked for, so they stay sharp on any screen.
namespace ToolbarIcons {

// "btOpen", "btSaveEncrypt", "btSaveDecrypt", "btPrint", "btSetting";
// another key gives a null icon.
QIcon icon(const QString &key);

// The about box's logo, drawn the same way.
QIcon logo();

} // namespace ToolbarIcons
