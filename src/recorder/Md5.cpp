#include "Md5.h"

#include <QCryptographicHash>

namespace Qurel {

QByteArray DigestMD5(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5);
}

QString DigestToHex(const QByteArray &digest)
{
    return QString::fromLatin1(digest.toHex());
}

QString PasswordDigest(const QString &password)
{
    return DigestToHex(DigestMD5(password.toUtf8()));
}

} // namespace Qurel
