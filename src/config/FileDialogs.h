#pragma once
// The folder chooser and the save dialog of the client's windows, behind one
// seam: tests install a handler that answers them, so no test ever waits on a
// modal file dialog.

#include <QString>

#include <functional>

class QWidget;

namespace Qurel {

enum class FileDialogKind { Folder, SaveFile };

struct FileDialogRequest
{
    FileDialogKind kind = FileDialogKind::Folder;
    QString title; // the prompt or caption shown to the user
    QString presetName; // SaveFile: the file name offered at the start
    QString filter; // SaveFile: one name filter, e.g. ".mp4 (*.mp4)"
    QString defaultSuffix; // SaveFile: added when the user types no extension
};

// Returns the chosen path, or an empty text when the user cancels.
using FileDialogHandler = std::function<QString(const FileDialogRequest &)>;

// The system folder chooser; full path of the chosen folder or empty on cancel.
QString ChooseFolder(QWidget *owner, const QString &prompt);
// The save dialog; full path of the chosen file or empty on cancel.
QString ChooseSaveFile(
    QWidget *owner, const QString &presetName, const QString &filter, const QString &defaultSuffix);

// Replace the dialogs (tests); an empty handler restores the real ones.
void SetFileDialogHandler(FileDialogHandler handler);

} // namespace Qurel
