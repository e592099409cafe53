#include "UploadAddress.h"

#include <QFileInfo>
#include <QStringList>

namespace Qurel {

QString FormUrlEncode(const QString &text)
{
    // Letters, digits and ! $ ' ( ) * - . @ _ stay; a space becomes "+".
    return QString::fromLatin1(text.toUtf8().toPercentEncoding("!$'()* @", "~").replace(' ', '+'));
}

QString GuidKey(const QString &guid)
{
    QString key = guid.toLower();
    key.remove(QLatin1Char('-')).remove(QLatin1Char('{')).remove(QLatin1Char('}'));
    return key;
}

QString TextBeforeUnderscore(const QString &text)
{
    const qsizetype at = text.indexOf(QLatin1Char('_'));
    return at < 0 ? QString() : text.left(at);
}

QString RecordingName(const QString &videoPath)
{
    const QString fileName = QFileInfo(videoPath).fileName();
    return TextBeforeUnderscore(fileName.left(std::max<qsizetype>(0, fileName.size() - 4)));
}

QString LoginAddress(const QString &host, int port, const TFileInfoList &recordings)
{
    QStringList keys;
    QStringList names;
    for (const TFileInfo &recording : recordings) {
        keys << FormUrlEncode(GuidKey(recording.FGuid));
        names << FormUrlEncode(RecordingName(recording.FVideoName));
    }
    return QStringLiteral("http://%1:%2/Tools/QuRelClient/ClientLogin.aspx?").arg(host, QString::number(port))
        + QStringLiteral("GUID=") + keys.join(QLatin1Char('|')) + QStringLiteral("&NAME=")
        + names.join(QLatin1Char('|'));
}

QString UploadAddress(const QString &host, int port, const QString &guidKey, int fileType)
{
    // One substitution for all: the encoded key holds "%" signs a later arg() would take for its own.
    return QStringLiteral("http://%1:%2/tools/qurelclient/clientuploadfile.aspx?guid=%3&filetype=%4")
        .arg(host, QString::number(port), FormUrlEncode(guidKey), QString::number(fileType));
}

bool IsPlatformAddress(const QUrl &url, const QString &host, int port)
{
    if (url.toString() == QLatin1String("about:blank"))
        return true;
    const QUrl platform(QStringLiteral("http://%1:%2/").arg(host, QString::number(port)));
    return url.isValid() && platform.isValid() && url.scheme() == QLatin1String("http")
        && url.host().compare(platform.host(), Qt::CaseInsensitive) == 0 && url.port(80) == platform.port(80)
        && url.userInfo().isEmpty();
}

bool IsFinishAddress(const QString &address)
{
    return address.toLower().contains(QLatin1String("finish=1"));
}

} // namespace Qurel
