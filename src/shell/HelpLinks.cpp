#include "shell/HelpLinks.h"

#include "BuildConfig.h"

namespace HelpLinks {

QString versionLine(int major, int minor, int revision)
{
    return QStringLiteral("Varnell Decryptor, version ") + QString::number(major) +
           QLatin1Char('.') + QString::number(minor) + QLatin1Char('.') + QString::number(revision);
}

QString versionLine()
{
    return versionLine(BuildConfig::versionMajor, BuildConfig::versionMinor,
                       BuildConfig::versionPatch);
}

QString productWebPage()
{
    return QString::fromUtf8(BuildConfig::productWebPage);
}

QString supportMail(const QString &address)
{
    return QStringLiteral("mailto:") + address + QStringLiteral("?subject=Varnell Support");
}

QString supportMail()
{
    return supportMail(QString::fromUtf8(BuildConfig::supportEmail));
}

QString noticeLine()
{
    return QStringLiteral("Copyright \u00A9 2026 Ostrand. All rights reserved.");
}

QString makerWebAddress()
{
    return QStringLiteral("www.ostrand.com");
}

} // namespace HelpLinks
