#pragma once
// The recordings folder on disk: listing and ordering of recordings, the
// information file beside each one, the thumbnail fallback and the free-space
// check before copying a recording elsewhere.
//
// Layout, for a recording R/<base>.mp4 (R the recordings folder or one of its
// subfolders):  R/Image/<base>.jpg (thumbnail), R/Image/<base>.axt (GUID and
// start time, two CR LF lines in GBK).

#include "Recording.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <cstdint>

class QWidget;

// One recording found in the recordings folder.
struct TFileInfo
{
    QString FGuid; // empty from the listing; filled for the upload
    QString FPicName; // full path of the thumbnail
    QString FVideoName; // full path of the recording
    QString FTxtName; // full path of the information file
    QDateTime FCreateDate; // creation time of the recording file, local time
};

using TFileInfoList = QList<TFileInfo>;

namespace Qurel {

// Name of the subfolder that holds thumbnails and information files.
inline constexpr const char *kImageFolderName = "Image";
// Second line of the information file starts with this text.
inline constexpr const char *kInfoTimePrefix = "视频开始录制时间：";

// <folder of file>/Image/<file name with its extension replaced by newExt>,
// e.g. ("/r/a.b.mp4", ".jpg") -> "/r/Image/a.b.jpg".
QString ImageSidePath(const QString &recordingPath, const QString &newExt);
// Replaces the extension after the last dot of the file name (or appends one).
QString ChangeFileExt(const QString &path, const QString &newExt);
// Creates the folder a thumbnail or information file goes into (the "Image"
// folder) when it is missing; one level only, so a vanished recordings folder
// is not recreated. True when the folder exists afterwards.
bool EnsureFolderOf(const QString &sidePath);

// Recursive listing of folder (blanks trimmed, trailing separator optional).
// ext is compared without regard to case (".mp4" finds .MP4); ".*" takes
// every file. Subfolders' entries appear where the subfolder is met. Folder
// links are not followed. A missing folder gives an empty list.
TFileInfoList FindFiles(const QString &folder, const QString &ext);

// Newest first; recordings with equal times keep their listing order.
void SortFilesByDate(TFileInfoList &list);

// The recordings (".mp4") of folder and its subfolders, newest first. Nothing is read from or
// written to their side files: guid stays empty (CompleteSideFiles reads it).
RecordingList ListRecordings(const QString &folder);

// Gives a recording its missing side files: the fallback thumbnail and an information file
// stamped with the present time; then reads its GUID. Never call it for the lesson being
// recorded: its information file is written when its stop finishes it. On a write failure the user is told
// "创建视频相关信息axt文件失败！". (Defined in qurel_library_ui.)
void CompleteSideFiles(Recording &recording, QWidget *owner = nullptr);

// The creation time of a file (its modification time where the file system
// keeps no creation time). Invalid for a missing file.
QDateTime FileCreateDate(const QString &path);

// Writes the information file without any message: line 1 a fresh GUID,
// line 2 "视频开始录制时间：" + timeText, CR LF ends, GBK. Creates the "Image"
// folder when missing. An existing file is overwritten. False on failure.
bool SaveInfoFile(const QString &path, const QString &timeText);

// The user's text when an information file cannot be written.
QString InfoFileFailedText();

// Same, but on failure tells the user "创建视频相关信息axt文件失败！".
// (Defined in qurel_library_ui, which owns the message boxes.)
bool WriteInfoFile(const QString &path, const QString &timeText, QWidget *owner = nullptr);

// Reads line 1 (the GUID) of an information file; empty when unreadable.
QString ReadInfoFileGuid(const QString &path);

// Copies "WithoutPic.jpg" from the program folder to thumbPath, never over an
// existing file. Silent; the "Image" folder is created when missing.
void CopyNoPicture(const QString &thumbPath);

// Bytes free for this user on the disk holding path (the path itself or its
// nearest existing parent folder); -1 when it cannot be told.
std::int64_t FreeDiskBytes(const QString &path);

struct DiskSpaceCheck
{
    bool fits = true;
    std::int64_t fileSize = 0;
    std::int64_t freeBytes = -1; // -1: unknown (the copy itself then reports)
    QString message; // the user's text when !fits
};

// Whether source fits on destination's disk (size strictly below the free
// bytes). Sizes are 64-bit; any destination path works.
DiskSpaceCheck CheckDiskSpaceQuiet(const QString &source, const QString &destination);

// Same, telling the user the composed "文件大小…请选择其他文件路径！" text when it
// does not fit. (Defined in qurel_library_ui.)
bool CheckDiskSpace(const QString &source, const QString &destination, QWidget *owner = nullptr);

} // namespace Qurel
