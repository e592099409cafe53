#include "RecordingFiles.h"

#include "RecordingsStore.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace Qurel {

DeleteStep DeleteRecordingFiles(const QString &video, const QString &picture, const QString &info)
{
    if (!QFile::remove(video))
        return DeleteStep::Video;
    if (!QFile::remove(picture))
        return DeleteStep::Picture;
    if (!QFile::remove(info))
        return DeleteStep::Info;
    return DeleteStep::None;
}

QString DeleteFailureText(DeleteStep step, int number)
{
    const QString n = QString::number(number);
    switch (step) {
    case DeleteStep::Video:
        return QStringLiteral("删除编号为'") + n + QStringLiteral("'的视频文件失败！");
    case DeleteStep::Picture:
        return QStringLiteral("删除编号为'") + n + QStringLiteral("'的图片文件失败！");
    case DeleteStep::Info:
        return QStringLiteral("删除编号为'") + n + QStringLiteral("'的axt文件失败！");
    case DeleteStep::None:
        break;
    }
    return {};
}

QList<CopyPair> SaveAsCopies(const QString &video, const QString &thumbnail, const QString &target)
{
    const CopyPair all[] = {
        { video, target },
        { thumbnail, ChangeFileExt(target, QStringLiteral(".jpg")) },
        { video, ChangeFileExt(target, QStringLiteral(".mp4")) },
    };
    QList<CopyPair> copies;
    for (const CopyPair &pair : all) {
        if (IsSameFile(pair.source, pair.target))
            continue;
        const bool repeated = std::any_of(copies.cbegin(), copies.cend(),
            [&](const CopyPair &earlier) { return IsSameFile(earlier.target, pair.target); });
        if (!repeated)
            copies << pair;
    }
    return copies;
}

QString SaveAsFailureText(const CopyResult &result)
{
    QStringList names;
    for (const QString &target : result.failedTargets)
        names << QDir::toNativeSeparators(target);
    return QStringLiteral("另存为失败，以下文件未能保存：\r\n") + names.join(QStringLiteral("\r\n"))
        + QStringLiteral("\r\n请检查目标文件夹的写入权限和磁盘空间！");
}

} // namespace Qurel
