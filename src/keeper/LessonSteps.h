#pragma once
// LessonSteps: the blocking steps of one local lesson copy. Asks the recorder for its RTSP address,
// drives the relay library that records the stream into an MP4 in the recordings folder, and at
// the end writes the information file and the thumbnail. LessonRecorder runs these on its worker
// threads; each step returns what happened, with the user's message when it failed.

#include "OutputWatch.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace Qurel {

// Where and as whom the recorder's HTTP interface is reached.
struct RecorderLogin
{
    QString address;
    int httpPort = 80;
    QString username;
    QString password;
};

// A lesson's MP4 and when its copy began.
struct LessonFile
{
    QString mp4Path;
    QDateTime startTime;
};

// The relay library's per-recording calls (stream 0 only). Library() gives
// the real ones; tests may put in others to reach failure paths.
struct RelayCalls
{
    std::function<std::int32_t(std::int32_t, const void *)> create;
    std::function<std::int32_t(std::int32_t)> startRecord;
    std::function<std::int32_t(std::int32_t)> destroy;
    std::function<std::int32_t(std::int32_t)> stopRecord;
    std::function<RelayHealth(std::int32_t)> status; // optional
    std::function<std::int32_t(std::int32_t, const char *)> setUrl; // optional

    static RelayCalls Library();
};

struct RtspUrlResult
{
    bool ok = false;
    QString url;
    QString rtpMode; // "0" or "1"
    QString message; // the user's text when !ok
};

struct RelayStartResult
{
    bool ok = false;
    bool created = false; // the stream exists (destroy it when giving up)
    QString mp4Path; // folder + base name + ".mp4" once created
    QString message;
};

struct RelayStopResult
{
    std::int32_t code = 0; // the library's destroy result
    QString message; // "销毁录播流失败, ErrorCode=" + code when code != 0
};

// "rtsp://<address>:<port>/stream/0?config.login=<key>", the key percent-encoded where it holds
// anything but letters, digits and "-._~" (a key of the recorder's own is left as it is).
QString BuildRtspUrl(const QString &address, int port, const QString &loginKey);
// baseName, or when a file of that lesson's name is there already (its MP4, information file or
// thumbnail, or one of `taken`) the first free of baseName + "_2", "_3" ...: two lessons never
// share a file.
QString FreeBaseName(const QString &folder, const QString &baseName, const QStringList &taken = {});
// title + "_" + yyyyMMddHHmmss, the title first cut (FitTitle) so every file of the lesson fits
// the file system's 255-byte name limit.
QString RecordingBaseName(const QString &title, const QDateTime &when);
// The longest leading part of title, at a character boundary, whose UTF-8 form takes at most
// maxBytes bytes; a title that fits comes back unchanged.
QString FitTitle(const QString &title, int maxBytes);
// savePath, or the program folder + "Resource/" when empty; with a trailing "/".
QString RecordingsFolder(const QString &savePath);
// The relay library's configuration record; nullopt when a text does not fit.
std::optional<QByteArray> MakeRelayStreamConfig(
    int rtpMode, const QString &url, const QString &folder, const QString &name);

// The byte budget of a recording's base name: 255 less the longest suffix any of its files gets
// (".mp4", ".axt", ".txt", ".jpg", and the temporary names of copies, ".XXXXXX" after those).
inline constexpr int kMaxBaseNameBytes = 255 - 16;

class LessonSteps
{
public:
    struct Options
    {
        // A recording does not start with less free space on the folder's disk.
        std::int64_t minFreeBytes = std::int64_t(1) << 30;
        // A stop less than 2 s after the start first lets the relay settle.
        int earlyStopWaitMs = 5000;
        // Longest wait for the MP4 to exist after the stream is destroyed.
        int mp4WaitMs = 15000;
        // Longest run of the thumbnail tool.
        int thumbnailToolMs = 30000;
    };

    LessonSteps(RelayCalls relay, Options options);

    const Options &options() const { return m_options; }

    // The user's message when the recordings folder's disk is nearly full, else empty.
    QString CheckRoomToRecord(const QString &savePath) const;
    RtspUrlResult GetRtspUrl(const RecorderLogin &login) const;
    // Creates stream 0 for folder + baseName and starts it recording. A stream that was created but
    // could not start is destroyed again, so stream 0 stays free for the next lesson.
    RelayStartResult StartRelayRecording(
        const QString &url, const QString &rtpMode, const QString &savePath, const QString &baseName) const;
    RelayStopResult StopRelayRecording() const;
    // What the relay tells of the running stream (known is false when it cannot tell).
    RelayHealth RelayStatus() const;
    // Hands the running stream a new address (a fresh login key); false when the relay refused it.
    bool SetRelayUrl(const QString &url) const;
    // Writes <Image>/<base>.axt and makes <Image>/<base>.jpg for a written MP4; waits for the MP4 to
    // appear only when waitForMp4. Returns the user's messages (empty when all went well).
    QStringList FinishFiles(const QString &mp4Path, const QDateTime &startTime, bool waitForMp4) const;

private:
    RelayCalls m_relay;
    Options m_options;
};

} // namespace Qurel
