#include "RecordingOutput.h"

#include "HttpIntf.h"
#include "ProgramFolder.h"
#include "RecordingsStore.h"
#include "Utils.h"
#include "zelmicro.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
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
    constexpr std::int64_t kEarlyStopSeconds = 2;

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

    // Sleeps on the calling (user-interface) thread: the stop runs to its end
    // inside one event, and socket events wait in the queue meanwhile.
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
        zms32StopDispatchStreamRecord };
}

QString BuildRtspUrl(const QString &address, int port, const QString &loginKey)
{
    return QStringLiteral("rtsp://%1:%2/stream/0?config.login=%3").arg(address).arg(port).arg(loginKey);
}

QString RecordingBaseName(const QString &title, const QDateTime &when)
{
    return title + QLatin1Char('_') + when.toString(QStringLiteral("yyyyMMddHHmmss"));
}

QString RecordingsFolder(const QString &savePath)
{
    QString folder = savePath.isEmpty() ? DefaultRecordingsFolder()
                                        : QDir::fromNativeSeparators(savePath);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

QString ElapsedText(std::int64_t seconds)
{
    // A clock set back during a recording shows zero, not negative fields.
    seconds = std::max<std::int64_t>(seconds, 0);
    const std::int64_t h = seconds / 3600;
    const std::int64_t m = seconds / 60 - 60 * h;
    const std::int64_t s = seconds - 3600 * h - 60 * m;
    const auto two = [](std::int64_t v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return two(h) + QLatin1Char(':') + two(m) + QLatin1Char(':') + two(s);
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

RecordingOutput::RecordingOutput(RelayCalls relay, Notify notify)
    : RecordingOutput(std::move(relay), std::move(notify), Options())
{
}

RecordingOutput::RecordingOutput(RelayCalls relay, Notify notify, Options options)
    : m_relay(std::move(relay))
    , m_notify(std::move(notify))
    , m_options(options)
{
}

bool RecordingOutput::StartRecording(
    const QString &title, const RecorderLogin &login, const QString &savePath)
{
    // A second start would ask the library for stream 0 again and lose the
    // running recording's file name.
    if (m_active)
        return false;
    if (!hasRoomToRecord(RecordingsFolder(savePath)))
        return false;
    const RtspUrlResult rtsp = GetRtspUrl(login);
    if (!rtsp.ok)
        return false;
    m_fileName = RecordingBaseName(title, QDateTime::currentDateTime());
    if (!StartRelayRecording(rtsp.url, rtsp.rtpMode, savePath, m_fileName))
        return false;
    m_active = true;
    m_startTime = QDateTime::currentDateTime();
    return true;
}

RecordingOutput::StopOutcome RecordingOutput::StopRecording()
{
    if (!m_active)
        return StopOutcome::NotRecording;
    if (m_startTime.secsTo(QDateTime::currentDateTime()) < kEarlyStopSeconds)
        pause(m_options.earlyStopWaitMs);
    const bool destroyed = StopRelayRecording();
    if (destroyed)
        FinishFiles(m_fileName, m_startTime);
    m_active = false;
    return destroyed ? StopOutcome::Finished : StopOutcome::DestroyFailed;
}

RtspUrlResult RecordingOutput::GetRtspUrl(const RecorderLogin &login)
{
    RtspUrlResult result;
    const RtpModeReply mode = GetRTPMode(login.address, login.httpPort, login.username, login.password);
    if (mode.mode.isEmpty()) {
        m_notify(QString::fromUtf8(kRtpModeFailed));
        return result;
    }
    if (mode.rtspOnlineCount >= kMaxRtspConnections) {
        m_notify(QString::fromUtf8(kTooManyConnections));
        return result;
    }
    const QString key = GetLoginKey(login.address, login.httpPort, login.username, login.password);
    if (key.isEmpty()) {
        m_notify(QString::fromUtf8(kNoLoginKey));
        return result;
    }
    result.ok = true;
    result.url = BuildRtspUrl(login.address, mode.rtspPort, key);
    result.rtpMode = mode.mode;
    return result;
}

bool RecordingOutput::StartRelayRecording(
    const QString &url, const QString &rtpMode, const QString &savePath, QString &fileName)
{
    const QString folder = RecordingsFolder(savePath);
    if (!QFileInfo(folder).isDir() && !QDir().mkdir(folder)) {
        m_notify(QString::fromUtf8(kFolderFailed));
        return false;
    }
    const std::optional<QByteArray> record = MakeRelayStreamConfig(rtpMode.toInt(), url, folder, fileName);
    if (!record || m_relay.create(0, record->constData()) != 0) {
        m_notify(QString::fromUtf8(kCreateFailed));
        return false;
    }
    fileName = folder + fileName + QStringLiteral(".mp4");
    if (m_relay.startRecord(0) != 0) {
        // Left created, stream 0 would refuse the next recording.
        m_relay.destroy(0);
        m_notify(QString::fromUtf8(kStartFailed));
        return false;
    }
    return true;
}

bool RecordingOutput::StopRelayRecording()
{
    const std::int32_t code = m_relay.destroy(0);
    if (code != 0) {
        m_notify(QString::fromUtf8(kDestroyFailed) + QString::number(code));
        return false;
    }
    m_relay.stopRecord(0);
    return true;
}

void RecordingOutput::FinishFiles(const QString &mp4Path, const QDateTime &startTime)
{
    if (!waitForFile(mp4Path, m_options.mp4WaitMs)) {
        m_notify(QString::fromUtf8(kMp4Missing) + QDir::toNativeSeparators(mp4Path));
        return;
    }
    const QString txt = ImageSidePath(mp4Path, QStringLiteral(".txt"));
    const QString jpg = ImageSidePath(mp4Path, QStringLiteral(".jpg"));
    const QString axt = ImageSidePath(mp4Path, QStringLiteral(".axt"));
    if (SaveInfoFile(txt, startTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))))
        QFile::rename(txt, axt); // an existing .axt stays as it is
    else
        m_notify(InfoFileFailedText());
    EnsureFolderOf(jpg);
    RunAndWait(ProgramFolder() + QStringLiteral("makePic"),
        { QStringLiteral("-i"), mp4Path, QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("image2"),
            QStringLiteral("-ss"), QStringLiteral("1"), QStringLiteral("-t"), QStringLiteral("2"),
            QStringLiteral("-s"), QStringLiteral("720x405"), jpg },
        m_options.thumbnailToolMs);
    if (!QFileInfo::exists(jpg))
        CopyNoPicture(jpg);
}

bool RecordingOutput::hasRoomToRecord(const QString &folder)
{
    const std::int64_t free = FreeDiskBytes(folder);
    if (free < 0 || free >= m_options.minFreeBytes)
        return true;
    m_notify(QString::fromUtf8(kDiskFull));
    return false;
}

} // namespace Qurel
