#include "FileDialogs.h"

#include <QDir>
#include <QFileDialog>

namespace Qurel {

namespace {
    FileDialogHandler &handler()
    {
        static FileDialogHandler h;
        return h;
    }

    QString runFolderDialog(QWidget *owner, const FileDialogRequest &request)
    {
        QFileDialog dialog(owner, request.title);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        dialog.setOption(QFileDialog::ReadOnly, true); // choosing only: no new, renamed or deleted folders
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
    }

    QString runSaveDialog(QWidget *owner, const FileDialogRequest &request)
    {
        QFileDialog dialog(owner, request.title);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(request.filter);
        dialog.setOption(QFileDialog::HideNameFilterDetails, true);
        dialog.setDefaultSuffix(request.defaultSuffix);
        dialog.selectFile(request.presetName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
    }

    QString present(QWidget *owner, const FileDialogRequest &request)
    {
        if (handler())
            return handler()(request);
        return request.kind == FileDialogKind::Folder ? runFolderDialog(owner, request)
                                                      : runSaveDialog(owner, request);
    }
} // namespace

QString ChooseFolder(QWidget *owner, const QString &prompt)
{
    FileDialogRequest request;
    request.kind = FileDialogKind::Folder;
    request.title = prompt;
    return present(owner, request);
}

QString ChooseSaveFile(
    QWidget *owner, const QString &presetName, const QString &filter, const QString &defaultSuffix)
{
    FileDialogRequest request;
    request.kind = FileDialogKind::SaveFile;
    request.presetName = presetName;
    request.filter = filter;
    request.defaultSuffix = defaultSuffix;
    return present(owner, request);
}

void SetFileDialogHandler(FileDialogHandler h)
{
    handler() = std::move(h);
}

} // namespace Qurel
