#include "RecordingsStore.h"

#include "ProgramFolder.h"
#include "Utils.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>

#include <algorithm>
#include <memory>
#include <optional>
#include <type_traits>

#include <cstring>

#include <iconv.h>
#ifdef Q_OS_LINUX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace Qurel {

namespace {

    struct IconvClose
    {
        void operator()(std::remove_pointer_t<iconv_t> *cd) const { iconv_close(cd); }
    };
    using IconvHandle = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvClose>;

    // Information files stay readable by clients on Chinese-language Windows,
    // whose ANSI code page is GBK. Nothing is lost silently: a character GBK
    // cannot hold makes the conversion fail.
    std::optional<QByteArray> toGbk(const QString &text)
    {
        IconvHandle cd(iconv_open("GBK", "UTF-8"));
        if (cd.get() == reinterpret_cast<iconv_t>(-1)) {
            cd.release();
            return std::nullopt;
        }
        QByteArray in = text.toUtf8();
        QByteArray out(in.size() * 2 + 8, '\0');
        char *inPtr = in.data();
        size_t inLeft = size_t(in.size());
        char *outPtr = out.data();
        size_t outLeft = size_t(out.size());
        if (iconv(cd.get(), &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1))
            return std::nullopt;
        out.truncate(out.size() - int(outLeft));
        return out;
    }

    QString withSeparator(QString folder)
    {
        folder = QDir::fromNativeSeparators(folder.trimmed());
        if (!folder.endsWith(QLatin1Char('/')))
            folder += QLatin1Char('/');
        return folder;
    }

    // ".MP4" for "a.b.mp4"; empty when the name has no dot.
    QString upperExt(const QString &fileName)
    {
        const int dot = fileName.lastIndexOf(QLatin1Char('.'));
        return dot < 0 ? QString() : fileName.mid(dot).toUpper();
    }

    QDateTime createDateOf(const QFileInfo &info)
    {
        const QDateTime birth = info.birthTime();
        return (birth.isValid() ? birth : info.lastModified()).toUTC();
    }

    // One entry of a folder: its name, whether to list into it, and for a file
    // its creation time (ms since the epoch).
    struct FolderEntry
    {
        QString name;
        bool isFolder = false;
        qint64 createdMs = 0;
    };

#ifdef Q_OS_LINUX
    struct DirClose
    {
        void operator()(DIR *dir) const { closedir(dir); }
    };

    // readdir + statx on the folder's descriptor: the listing runs on every list
    // reload, and QFileInfo's local-time conversions cost more than the disk.
    template <typename Wanted, typename Visit>
    void forEachEntry(const QString &folder, const Wanted &wantTimes, Visit visit)
    {
        std::unique_ptr<DIR, DirClose> dir(opendir(QFile::encodeName(folder).constData()));
        if (!dir)
            return;
        const int fd = dirfd(dir.get());
        while (const dirent *e = readdir(dir.get())) {
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
                continue;
            struct statx sx
            {
            };
            unsigned char type = e->d_type;
            if (type == DT_UNKNOWN) {
                if (statx(fd, e->d_name, AT_SYMLINK_NOFOLLOW, STATX_TYPE, &sx) != 0)
                    continue;
                type = S_ISDIR(sx.stx_mode) ? DT_DIR : S_ISLNK(sx.stx_mode) ? DT_LNK : DT_REG;
            }
            // Links are looked through for files, but a linked folder (maybe a
            // parent) is never listed into.
            if (type == DT_LNK && (statx(fd, e->d_name, 0, STATX_TYPE, &sx) != 0 || S_ISDIR(sx.stx_mode)))
                continue;
            FolderEntry entry;
            entry.name = QFile::decodeName(e->d_name);
            entry.isFolder = type == DT_DIR;
            if (!entry.isFolder && wantTimes(entry.name)) {
                if (statx(fd, e->d_name, 0, STATX_BTIME | STATX_MTIME, &sx) != 0)
                    continue;
                const statx_timestamp &t = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime;
                entry.createdMs = qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
            }
            visit(entry);
        }
    }
#else
    template <typename Wanted, typename Visit>
    void forEachEntry(const QString &folder, const Wanted &wantTimes, Visit visit)
    {
        QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            it.next();
            const QFileInfo info = it.fileInfo();
            if (info.isDir() && info.isSymLink())
                continue;
            FolderEntry entry;
            entry.name = info.fileName();
            entry.isFolder = info.isDir();
            if (!entry.isFolder && wantTimes(entry.name))
                entry.createdMs = createDateOf(info).toMSecsSinceEpoch();
            visit(entry);
        }
    }
#endif

    void listInto(const QString &folder, const QString &wantedExt, bool everyFile, TFileInfoList &out)
    {
        const auto wanted = [&](const QString &name) { return everyFile || upperExt(name) == wantedExt; };
        forEachEntry(folder, wanted, [&](const FolderEntry &entry) {
            if (entry.isFolder) {
                listInto(folder + entry.name + QLatin1Char('/'), wantedExt, everyFile, out);
                return;
            }
            if (!wanted(entry.name))
                return;
            TFileInfo file;
            file.FVideoName = folder + entry.name;
            const QString side = folder + QLatin1String(kImageFolderName) + QLatin1Char('/');
            file.FPicName = side + ChangeFileExt(entry.name, QStringLiteral(".jpg"));
            file.FTxtName = side + ChangeFileExt(entry.name, QStringLiteral(".axt"));
            file.FCreateDate = QDateTime::fromMSecsSinceEpoch(entry.createdMs, Qt::UTC);
            out.append(std::move(file));
        });
    }

    // The nearest folder of path (or path itself) that exists.
    QString existingAncestor(const QString &path)
    {
        QString current = QFileInfo(path).absoluteFilePath();
        while (!current.isEmpty() && !QFileInfo::exists(current)) {
            const QString parent = QFileInfo(current).path();
            if (parent == current)
                return QString();
            current = parent;
        }
        return current;
    }

} // namespace

QString ChangeFileExt(const QString &path, const QString &newExt)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    return (dot > slash ? path.left(dot) : path) + newExt;
}

QString ImageSidePath(const QString &recordingPath, const QString &newExt)
{
    const QFileInfo info(recordingPath);
    QString folder = info.path();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + QLatin1String(kImageFolderName) + QLatin1Char('/')
        + ChangeFileExt(info.fileName(), newExt);
}

bool EnsureFolderOf(const QString &sidePath)
{
    const QString folder = QFileInfo(sidePath).path();
    return QFileInfo(folder).isDir() || QDir().mkdir(folder);
}

TFileInfoList FindFiles(const QString &folder, const QString &ext)
{
    TFileInfoList out;
    const QString root = withSeparator(folder);
    if (!QFileInfo(root).isDir())
        return out;
    listInto(root, ext.toUpper(), ext == QLatin1String(".*"), out);
    return out;
}

void SortFilesByDate(TFileInfoList &list)
{
    std::stable_sort(list.begin(), list.end(),
        [](const TFileInfo &a, const TFileInfo &b) { return a.FCreateDate > b.FCreateDate; });
}

QDateTime FileCreateDate(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() ? createDateOf(info) : QDateTime();
}

bool SaveInfoFile(const QString &path, const QString &timeText)
{
    if (!EnsureFolderOf(path))
        return false;
    const std::optional<QByteArray> second = toGbk(QString::fromUtf8(kInfoTimePrefix) + timeText);
    if (!second)
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(NewGuidStr().toLatin1() + "\r\n" + *second + "\r\n");
    return file.commit();
}

QString InfoFileFailedText()
{
    return QStringLiteral("创建视频相关信息axt文件失败！");
}

RecordingList ListRecordings(const QString &folder)
{
    TFileInfoList files = FindFiles(folder, QStringLiteral(".mp4"));
    SortFilesByDate(files);
    RecordingList recordings;
    recordings.reserve(files.size());
    for (const TFileInfo &file : files) {
        Recording recording;
        recording.videoPath = file.FVideoName;
        recording.thumbnailPath = file.FPicName;
        recording.infoPath = file.FTxtName;
        recording.title = QFileInfo(file.FVideoName).completeBaseName();
        recording.startTime = file.FCreateDate;
        recordings << recording;
    }
    return recordings;
}

QString ReadInfoFileGuid(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(file.readLine(256)).trimmed();
}

void CopyNoPicture(const QString &thumbPath)
{
    if (QFileInfo::exists(thumbPath) || !EnsureFolderOf(thumbPath))
        return;
    QFile::copy(ProgramFolder() + QStringLiteral("WithoutPic.jpg"), thumbPath);
}

std::int64_t FreeDiskBytes(const QString &path)
{
    const QString existing = existingAncestor(path);
    if (existing.isEmpty())
        return -1;
    const QStorageInfo storage(existing);
    if (!storage.isValid() || !storage.isReady())
        return -1;
    return storage.bytesAvailable();
}

DiskSpaceCheck CheckDiskSpaceQuiet(const QString &source, const QString &destination)
{
    DiskSpaceCheck check;
    check.fileSize = QFileInfo(source).size();
    check.freeBytes = FreeDiskBytes(destination);
    if (check.freeBytes < 0 || check.fileSize < check.freeBytes)
        return check;
    check.fits = false;
    check.message = QStringLiteral("文件大小") + QString::number(check.fileSize)
        + QStringLiteral("字节，已超过可用磁盘空间大小") + QString::number(check.freeBytes)
        + QStringLiteral("字节，\r\n请选择其他文件路径！");
    return check;
}

} // namespace Qurel
