#include "PlatformPage.h"

#include "UploadAddress.h"

namespace Qurel {

void PlatformPage::setPlatform(const QString &host, int port)
{
    m_host = host;
    m_port = port;
}

bool PlatformPage::acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame)
{
    if (IsPlatformAddress(url, m_host, m_port))
        return true;
    qWarning("qurel: the upload page may not go to %s (%s)", qPrintable(url.toDisplayString()),
        isMainFrame ? "page" : "frame");
    return false;
}

} // namespace Qurel
