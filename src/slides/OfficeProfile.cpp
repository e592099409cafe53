#include "OfficeProfile.h"

#include "ProgramFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

namespace Qurel {

namespace {
    OfficeProfile &profile()
    {
        static OfficeProfile p;
        return p;
    }

    const char *const kFirstStartSettings = R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="ShowTipOfTheDay" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
</oor:items>
)";
} // namespace

QString PipeNameFor(const QString &folder)
{
    // The folder is the user's own, so its name tells this client's office from
    // every other office of the user (and of a second client data folder).
    const QByteArray digest
        = QCryptographicHash::hash(QDir::cleanPath(folder).toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("qurel_office_") + QString::fromLatin1(digest.left(16));
}

OfficeProfile CurrentOfficeProfile()
{
    OfficeProfile p = profile();
    if (p.userInstallation.isEmpty())
        p.userInstallation = UserDataFolder() + QStringLiteral("office");
    if (p.pipeName.isEmpty())
        p.pipeName = PipeNameFor(p.userInstallation);
    return p;
}

void SetOfficeProfile(const OfficeProfile &p)
{
    profile() = p;
}

void PrepareProfileFolder(const QString &folder)
{
    const QString user = folder + QStringLiteral("/user");
    if (!QDir().mkpath(user))
        return; // the office says so itself when it cannot use the folder
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile settings(user + QStringLiteral("/registrymodifications.xcu"));
    if (!settings.exists() && settings.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        settings.write(kFirstStartSettings);
}

} // namespace Qurel
