#pragma once
// MD5 of the recorder password: the only form in which the password travels.

#include <QByteArray>
#include <QString>

namespace Qurel {

// The 16 bytes of the MD5 digest (RFC 1321) of data.
QByteArray DigestMD5(const QByteArray &data);

// A digest written as lower-case hexadecimal digits, two per byte.
QString DigestToHex(const QByteArray &digest);

// The lower-case hex MD5 of the password's UTF-8 bytes (an empty password
// gives the digest of zero bytes). Sent instead of the password itself.
QString PasswordDigest(const QString &password);

} // namespace Qurel
