#pragma once
// The file work behind the delete and save-as commands of the main window,
// kept apart from the window so it can be tested on a plain folder.

#include "FileCopier.h"

#include <QList>
#include <QString>

namespace Qurel {

// Which file of a recording could not be deleted; the later ones are then kept.
enum class DeleteStep { None, Video, Picture, Info };

// Deletes the video, then its thumbnail, then its information file, stopping
// at the first file that cannot be deleted (a file already gone counts as such).
DeleteStep DeleteRecordingFiles(const QString &video, const QString &picture, const QString &info);

// The user's message for a failed step, naming the recording's number.
QString DeleteFailureText(DeleteStep step, int number);

// The copies of "save as" onto target: the video itself, the thumbnail with
// the extension ".jpg" and the video again with ".mp4" (a second copy when the
// chosen name has another extension). Copies of a file onto itself and
// repeated targets are left out.
QList<CopyPair> SaveAsCopies(const QString &video, const QString &thumbnail, const QString &target);

// The user's message for a save as whose copies failed.
QString SaveAsFailureText(const CopyResult &result);

} // namespace Qurel
