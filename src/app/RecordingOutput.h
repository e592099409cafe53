#pragma once
// RecordingOutput: the local copy of a lesson. Asks the recorder for its RTSP
// address, drives the relay library that records the stream into an MP4 in
// the recordings folder, and at the end writes the information file and the
// thumbnail. The main window calls it and shows what it reports; nothing here
// needs a window.

#include <QDateTime>
#include <QString>

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

// The relay library's per-recording calls (stream 0 only). Library() gives
// the real ones; tests may put in others to reach failure paths.
struct RelayCalls
{
    std::function<std::int32_t(std::int32_t, const void *)> create;
    std::function<std::int32_t(std::int32_t)> startRecord;
    std::function<std::int32_t(std::int32_t)> destroy;
    std::function<std::int32_t(std::int32_t)> stopRecord;

    static RelayCalls Library();
};

struct RtspUrlResult
{
    bool ok = false;
    QString url;
    QString rtpMode; // "0" or "1"
};

// "rtsp://<address>:<port>/stream/0?config.login=<key>"
QString BuildRtspUrl(const QString &address, int port, const QString &loginKey);
// title + "_" + yyyyMMddHHmmss
QString RecordingBaseName(const QString &title, const QDateTime &when);
// savePath, or the program folder + "Resource/" when empty; with a trailing "/".
QString RecordingsFolder(const QString &savePath);
// "hh:mm:ss" of a duration in seconds; the hours keep growing past 99.
QString ElapsedText(std::int64_t seconds);
// The relay library's configuration record; nullopt when a text does not fit.
std::optional<QByteArray> MakeRelayStreamConfig(
    int rtpMode, const QString &url, const QString &folder, const QString &name);

class RecordingOutput
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

    // Shows one message to the user (a modal box in the client).
    using Notify = std::function<void(const QString &)>;

    RecordingOutput(RelayCalls relay, Notify notify);
    RecordingOutput(RelayCalls relay, Notify notify, Options options);

    Options &options() { return m_options; }

    // The whole start: ignored while a recording runs; refused when the disk
    // is nearly full; then GetRtspUrl, the base name, StartRelayRecording.
    // True when the relay now records.
    bool StartRecording(const QString &title, const RecorderLogin &login, const QString &savePath);

    enum class StopOutcome {
        NotRecording, // nothing ran
        Finished, // stream destroyed; information file and thumbnail made where possible
        DestroyFailed // the library kept the stream; no files were made
    };
    // The whole stop: StopRelayRecording, then the information file and the
    // thumbnail. The recording is over afterwards in every case.
    StopOutcome StopRecording();

    bool RecordingActive() const { return m_active; }
    // During a recording: the full path of its MP4; after a failed start the
    // base name reached, if any.
    QString FileName() const { return m_fileName; }
    QDateTime StartTime() const { return m_startTime; }

    // The steps, each telling the user about its own failure.
    RtspUrlResult GetRtspUrl(const RecorderLogin &login);
    // fileName: the base name in, the full MP4 path out.
    bool StartRelayRecording(
        const QString &url, const QString &rtpMode, const QString &savePath, QString &fileName);
    bool StopRelayRecording();
    // Waits for the MP4, writes <Image>/<base>.axt and makes <Image>/<base>.jpg.
    void FinishFiles(const QString &mp4Path, const QDateTime &startTime);

private:
    bool hasRoomToRecord(const QString &folder);

    RelayCalls m_relay;
    Notify m_notify;
    Options m_options;
    bool m_active = false;
    QString m_fileName;
    QDateTime m_startTime;
};

} // namespace Qurel
