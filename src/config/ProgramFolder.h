#pragma once
// The program folder: where the executable lives, with a trailing separator.
// config.ini, log.txt, the tools and the pictures are looked for there.

#include <QString>

namespace Qurel {

// The folder of the running executable, ending in "/".
QString ProgramFolder();

// Tests run from their own folders; this points ProgramFolder() elsewhere.
// An empty text restores the executable's folder.
void SetProgramFolderForTesting(const QString &folder);

} // namespace Qurel
