#pragma once

#include <QString>

// The texts behind the Help menu: the about box's version line and the two
// links handed to the desktop.
namespace HelpLinks {

// "Varnell Decryptor, version " + major.minor.revision in plain decimal.
QString versionLine(int major, int minor, int revision);
// The line of this build's version.
QString versionLine();

QString productWebPage();
// "mailto:" + address + "?subject=Varnell Support", nothing encoded.
QString supportMail(const QString &address);
QString supportMail();

// The maker's lines in the about box.
QString noticeLine();
QString makerWebAddress();

} // namespace HelpLinks
