#pragma once
// Points this process's settings, data and runtime folders at a folder of its own, so a test or
// benchmark that makes the client's window never reads or writes the user's settings, the lesson
// journal (which a keeper would act on) or the single-instance lock. Call before QApplication.

#include <QDir>
#include <QFile>
#include <QString>

namespace QurelTest {

inline void UsePrivateFolders(const QString &home)
{
    for (const char *name : { "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR" }) {
        const QString path = home + "/" + name;
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv(name, path.toUtf8());
    }
}

} // namespace QurelTest
