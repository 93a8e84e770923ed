#include "shell/DesktopLinks.h"

#include "shell/HelpLinks.h"

#include <QDesktopServices>
#include <QUrl>

namespace modPublic {

void OpenProductWebPage()
{
    QDesktopServices::openUrl(QUrl(HelpLinks::productWebPage(), QUrl::TolerantMode));
}

void OpenSupportMail()
{
    QDesktopServices::openUrl(QUrl(HelpLinks::supportMail(), QUrl::TolerantMode));
}

} // namespace modPublic
