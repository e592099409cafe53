#include "LessonSteps.h"

#include "HttpIntf.h"
#include "ProgramFolder.h"
#include "RecordingsStore.h"
#include "SegmentList.h"
#include "Utils.h"
#include "zelmicro.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QUrl>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace Qurel {

namespace {

    const char *const kRtpModeFailed
        = "获取RTP模式失败，原因可能是：网络不通，录播机设置不正确或者录播机没有开机！";
    const char *const kTooManyConnections = "RTSP连接数超出最大数目";
    const char *const kNoLoginKey
        = "获取登录验证Key失败，原因可能是：录播机IP地址设置不正确，用户名或者密码输入不对！";
    const char *const kFolderFailed = "创建文件夹失败！";
    const char *const kCreateFailed = "创建转播流失败";
    const char *const kStartFailed = "开始录制失败";
    const char *const kDestroyFailed = "销毁录播流失败, ErrorCode=";
    const char *const kDiskFull
        = "录制文件夹所在磁盘的剩余空间不足，无法开始录制！请清理磁盘，或在系统设置中更换视频保存路径。";
    const char *const kMp4Missing = "等待录制的视频文件生成超时，本次录制的视频信息文件和缩略图未能生成：";

    constexpr int kMaxRtspConnections = 9;

    void putLe32(QByteArray &record, int offset, std::int32_t value)
    {
        qToLittleEndian<std::int32_t>(value, record.data() + offset);
    }

    bool putText(QByteArray &record, int offset, int size, const QString &text)
    {
        const QByteArray bytes = text.toUtf8();
        if (bytes.size() >= size || bytes.contains('\0'))
            return false;
        std::memcpy(record.data() + offset, bytes.constData(), size_t(bytes.size()));
        return true;
    }

    // The steps run on LessonRecorder's worker threads, so a pause blocks no window.
    void pause(int ms)
    {
        QThread::msleep(ulong(ms));
    }

    bool waitForFile(const QString &path, int boundMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (!QFileInfo::exists(path)) {
            if (clock.elapsed() >= boundMs)
                return false;
            pause(50);
        }
        return true;
    }

} // namespace

RelayCalls RelayCalls::Library()
{
    return { zms32CreateDispatchStream, zms32StartDispatchStreamRecord, zms32DestroyDispatchStream,
        zms32StopDispatchStreamRecord, [](std::int32_t stream) {
            RelayHealth health;
            Zms32StreamStatus status {};
            if (zms32GetDispatchStreamStatus(stream, &status) != ZMS32_OK)
                return health;
            health.known = true;
            health.writeFailed = status.flags & ZMS32_STATUS_WRITE_FAILED;
            health.writeError = status.writeError;
            health.fileMissing = status.flags & ZMS32_STATUS_FILE_MISSING;
            health.msSincePacket = status.msSincePacket;
            health.soundDropped = status.audio == ZMS32_AUDIO_DROPPED;
            health.refused = status.flags & ZMS32_STATUS_REFUSED;
            health.ended = status.flags & ZMS32_STATUS_ENDED;
            return health;
        },
        zms32SetDispatchStreamUrl };
}

QString BuildRtspUrl(const QString &address, int port, const QString &loginKey)
{
    // A key that is not a plain token must not add parameters or a path to the address.
    const QString key = QString::fromLatin1(QUrl::toPercentEncoding(loginKey));
    return QStringLiteral("rtsp://%1:%2/stream/0?config.login=%3").arg(address).arg(port).arg(key);
}

QString FreeBaseName(const QString &folder, const QString &baseName, const QStringList &taken)
{
    const auto isFree = [&](const QString &base) {
        const QString mp4 = folder + base + QStringLiteral(".mp4");
        if (SameAsAny(mp4, taken))
            return false;
        // A link counts as taken even when it points nowhere.
        for (const QString &path : { mp4, ImageSidePath(mp4, QStringLiteral(".axt")),
                 ImageSidePath(mp4, QStringLiteral(".jpg")) }) {
            if (QFileInfo(path).exists() || QFileInfo(path).isSymLink())
                return false;
        }
        return true;
    };
    if (isFree(baseName))
        return baseName;
    for (int n = 2;; ++n) {
        const QString candidate = baseName + QStringLiteral("_%1").arg(n);
        if (isFree(candidate))
            return candidate;
    }
}

QString FitTitle(const QString &title, int maxBytes)
{
    if (title.toUtf8().size() <= maxBytes)
        return title;
    // Cut whole code points only, so no half character ends up in the name.
    QString fitted;
    int bytes = 0;
    for (const uint codePoint : title.toUcs4()) {
        const QString character = QString::fromUcs4(reinterpret_cast<const char32_t *>(&codePoint), 1);
        bytes += character.toUtf8().size();
        if (bytes > maxBytes)
            break;
        fitted += character;
    }
    return fitted;
}

QString RecordingBaseName(const QString &title, const QDateTime &when)
{
    const QString stamp = QLatin1Char('_') + when.toString(QStringLiteral("yyyyMMddHHmmss"));
    return FitTitle(title, kMaxBaseNameBytes - int(stamp.toUtf8().size())) + stamp;
}

QString RecordingsFolder(const QString &savePath)
{
    QString folder = savePath.isEmpty() ? DefaultRecordingsFolder()
                                        : QDir::fromNativeSeparators(savePath);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

std::optional<QByteArray> MakeRelayStreamConfig(
    int rtpMode, const QString &url, const QString &folder, const QString &name)
{
    QByteArray record(ZMS32_CONFIG_SIZE, '\0');
    putLe32(record, ZMS32_OFS_VERSION, 256);
    putLe32(record, ZMS32_OFS_RTP_MODE, rtpMode);
    putLe32(record, ZMS32_OFS_ENABLE, 1);
    putLe32(record, ZMS32_OFS_FLAGS, 0);
    putLe32(record, ZMS32_OFS_BITRATE, 3000000);
    putLe32(record, ZMS32_OFS_RESERVED, 0);
    if (!putText(record, ZMS32_OFS_URL, ZMS32_LEN_URL, url)
        || !putText(record, ZMS32_OFS_FOLDER, ZMS32_LEN_FOLDER, folder)
        || !putText(record, ZMS32_OFS_NAME, ZMS32_LEN_NAME, name))
        return std::nullopt;
    return record;
}

LessonSteps::LessonSteps(RelayCalls relay, Options options)
    : m_relay(std::move(relay))
    , m_options(options)
{
}

QString LessonSteps::CheckRoomToRecord(const QString &savePath) const
{
    const std::int64_t free = FreeDiskBytes(RecordingsFolder(savePath));
    if (free < 0 || free >= m_options.minFreeBytes)
        return {};
    return QString::fromUtf8(kDiskFull);
}

RtspUrlResult LessonSteps::GetRtspUrl(const RecorderLogin &login) const
{
    RtspUrlResult result;
    const RtpModeReply mode = GetRTPMode(login.address, login.httpPort, login.username, login.password);
    if (mode.mode.isEmpty()) {
        result.message = QString::fromUtf8(kRtpModeFailed);
        return result;
    }
    if (mode.rtspOnlineCount >= kMaxRtspConnections) {
        result.message = QString::fromUtf8(kTooManyConnections);
        return result;
    }
    const QString key = GetLoginKey(login.address, login.httpPort, login.username, login.password);
    if (key.isEmpty()) {
        result.message = QString::fromUtf8(kNoLoginKey);
        return result;
    }
    result.ok = true;
    result.url = BuildRtspUrl(login.address, mode.rtspPort, key);
    result.rtpMode = mode.mode;
    return result;
}

RelayStartResult LessonSteps::StartRelayRecording(
    const QString &url, const QString &rtpMode, const QString &savePath, const QString &baseName) const
{
    RelayStartResult result;
    const QString folder = RecordingsFolder(savePath);
    if (!QFileInfo(folder).isDir() && !QDir().mkdir(folder)) {
        result.message = QString::fromUtf8(kFolderFailed);
        return result;
    }
    const std::optional<QByteArray> record = MakeRelayStreamConfig(rtpMode.toInt(), url, folder, baseName);
    if (!record || m_relay.create(0, record->constData()) != 0) {
        result.message = QString::fromUtf8(kCreateFailed);
        return result;
    }
    result.created = true;
    result.mp4Path = folder + baseName + QStringLiteral(".mp4");
    if (m_relay.startRecord(0) != 0) {
        // Left created, stream 0 would refuse the next recording.
        m_relay.destroy(0);
        m_relay.stopRecord(0);
        result.created = false;
        result.message = QString::fromUtf8(kStartFailed);
        return result;
    }
    result.ok = true;
    return result;
}

RelayStopResult LessonSteps::StopRelayRecording() const
{
    RelayStopResult result;
    result.code = m_relay.destroy(0);
    if (result.code != 0)
        result.message = QString::fromUtf8(kDestroyFailed) + QString::number(result.code);
    m_relay.stopRecord(0);
    return result;
}

RelayHealth LessonSteps::RelayStatus() const
{
    return m_relay.status ? m_relay.status(0) : RelayHealth();
}

bool LessonSteps::SetRelayUrl(const QString &url) const
{
    return m_relay.setUrl && m_relay.setUrl(0, url.toUtf8().constData()) == 0;
}

QStringList LessonSteps::FinishFiles(const QString &mp4Path, const QDateTime &startTime, bool waitForMp4) const
{
    QStringList messages;
    // A relay that failed before any picture leaves an empty file at most: no lesson to finish.
    if (!waitForMp4 && QFileInfo::exists(mp4Path) && QFileInfo(mp4Path).size() == 0) {
        QFile::remove(mp4Path);
        return messages;
    }
    if (!waitForFile(mp4Path, waitForMp4 ? m_options.mp4WaitMs : 0)) {
        if (waitForMp4)
            messages << QString::fromUtf8(kMp4Missing) + QDir::toNativeSeparators(mp4Path);
        return messages;
    }
    const QString txt = ImageSidePath(mp4Path, QStringLiteral(".txt"));
    const QString jpg = ImageSidePath(mp4Path, QStringLiteral(".jpg"));
    const QString axt = ImageSidePath(mp4Path, QStringLiteral(".axt"));
    if (SaveInfoFile(txt, startTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))))
        QFile::rename(txt, axt); // an existing .axt stays as it is
    else
        messages << InfoFileFailedText();
    EnsureFolderOf(jpg);
    RunAndWait(ProgramFolder() + QStringLiteral("makePic"),
        { QStringLiteral("-i"), mp4Path, QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("image2"),
            QStringLiteral("-ss"), QStringLiteral("1"), QStringLiteral("-t"), QStringLiteral("2"),
            QStringLiteral("-s"), QStringLiteral("720x405"), jpg },
        m_options.thumbnailToolMs);
    if (!QFileInfo::exists(jpg))
        CopyNoPicture(jpg);
    return messages;
}

} // namespace Qurel
