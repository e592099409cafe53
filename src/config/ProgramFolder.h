#pragma once
// The program folder: where the executable lives, with a trailing separator. The pictures and the
// tools are always read from there. The files the client writes beside itself (config.ini,
// log.txt, the slide work files, temp.ppt, the default recordings folder "Resource/") stay there
// while the folder is writable (a portable copy, the build tree); an installed, read-only program
// folder sends them to the per-user data folder instead.

#include <QString>

namespace Qurel {

// The folder of the running executable, ending in "/".
QString ProgramFolder();

// Tests run from their own folders; this points ProgramFolder() elsewhere. An empty text
// restores the executable's folder. readOnly makes the client treat the folder as an installed
// one it may not write into (tests run as root, who may write anywhere).
void SetProgramFolderForTesting(const QString &folder, bool readOnly = false);

// The per-user data folder, $XDG_DATA_HOME/ZEL_Qurel/ (default ~/.local/share/ZEL_Qurel/).
QString UserDataFolder();

// Where the client keeps the files it writes, for one program folder.
class WorkFiles
{
public:
    WorkFiles(const QString &programFolder, bool programFolderWritable, const QString &userDataFolder);
    // The running program's: ProgramFolder(), whether this user may write into it, UserDataFolder().
    static WorkFiles Current();

    // The folder that receives the files the client writes: the program folder while it is
    // writable, else the per-user data folder (created when missing). Ends in "/".
    QString folder() const;
    // Path of the file `name` the client writes (log.txt, Slide1.bmp ...).
    QString writePath(const QString &name) const;
    // Path of the file `name` to read when the client may have written its own copy: that copy
    // when there is one, else the program folder's file.
    QString readPath(const QString &name) const;
    // Path of the file `name` the client opens to change it (temp.ppt, config.ini). Beside a
    // read-only program folder this is the per-user copy, copied from the program folder's file
    // the first time it is asked for; the copy is always writable by its user.
    QString editablePath(const QString &name) const;
    // The recordings folder when none is set: folder() + "Resource/".
    QString defaultRecordingsFolder() const;

private:
    QString m_programFolder;
    QString m_userDataFolder;
    bool m_programFolderWritable;
};

// The same for the running program (WorkFiles::Current()).
QString WorkFolder();
QString WorkFilePath(const QString &name);
QString ReadFilePath(const QString &name);
QString EditableFilePath(const QString &name);
QString DefaultRecordingsFolder();

} // namespace Qurel
