#pragma once
// The upload window's web page: it goes only where the platform is (its host
// and port, over HTTP) and opens no other windows.

#include <QWebEnginePage>

namespace Qurel {

class PlatformPage final : public QWebEnginePage
{
    Q_OBJECT
public:
    using QWebEnginePage::QWebEnginePage;
    // The platform of the next showings.
    void setPlatform(const QString &host, int port);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;

private:
    QString m_host;
    int m_port = 0;
};

} // namespace Qurel
