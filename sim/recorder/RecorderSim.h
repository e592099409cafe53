#pragma once
// A simulated recorder on a loopback address: the HTTP CGI (logon.cgi,
// plat.cgi actions, title/credit image uploads), the control channel on
// TCP 18884 with its start/stop notices, and the RTSP live stream when the
// stream server is built in. It runs on a thread of its own, so a test can
// make blocking HTTP calls against it from its main thread; every method
// here may be called from any thread.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace Qurel {

// One lesson of a script: the recorder starts recording `startSec` seconds
// after the first client connected to the control channel and stops at `stopSec`.
struct LessonStep
{
    double startSec = 0;
    double stopSec = 0;
    QString title;
};

// "START,STOP,TITLE" (seconds, STOP after START; the title may hold commas).
std::optional<LessonStep> ParseLesson(const QString &text);

struct RecorderSimOptions
{
    QHostAddress address = QHostAddress(QStringLiteral("127.0.0.1")); // must be a loopback address
    quint16 httpPort = 0; // 0: any free port
    quint16 controlPort = 18884;
    // While the HTTP or control port is in use (another run of the same test
    // on this machine), start() keeps trying this long before it fails.
    int busyWaitMs = 30000;
    QString username = QStringLiteral("admin");
    QString password = QStringLiteral("admin");
    QString title = QStringLiteral("示范课"); // title of recordings started by the CGI
    QString rtpMode = QStringLiteral("0");
    QList<LessonStep> lessons;
    QString uploadDir; // where received images are kept; empty: a private temporary folder
    bool checkImages = true; // accept only 720x405 24-bit BMP images

    // The RTSP stream (when the stream server is built in).
    bool stream = true;
    quint16 rtspPort = 0; // 0: any free port
    int width = 320;
    int height = 180;
    int fps = 15;
    int bitrateKbps = 300;
    bool movingBars = false; // moving colour bars instead of a ball: the encoder spends the whole bit rate
    bool twoSlices = false; // two slices per frame, SPS/PPS repeated between them
    bool rtspOverTcpOnly = false; // refuse RTP over UDP
    QString audio = QStringLiteral("aac"); // aac, pcma, pcmu or none
    QString video = QStringLiteral("h264"); // h264, h265 or vp8
    double lossPercent = 0; // share of RTP packets dropped before they leave

    // Told of every request, control-channel line, notice and upload, on the
    // simulator's thread; empty: nothing is told.
    std::function<void(const QString &)> log;
};

// A request the simulated recorder received.
struct SimRequest
{
    qint64 atMs = 0; // since the simulator started
    QByteArray method;
    QByteArray target; // path and query exactly as sent
    QString path; // decoded path
    QList<QPair<QString, QString>> query; // decoded items in the order sent
    QList<QPair<QByteArray, QByteArray>> headers;
    qint64 bodySize = 0;

    QString queryValue(const QString &name) const; // null when absent
};

// A line a client sent on the control channel (without its CR LF).
struct ControlLine
{
    int client = 0; // 1 for the first client that connected, then 2, ...
    QByteArray line;
    qint64 atMs = 0;
};

// An image received by uploadtitlefile.cgi or uploadcreditfile.cgi.
struct SimUpload
{
    QString kind; // "title" or "credit"
    QByteArray fieldName;
    QByteArray fileName;
    QByteArray contentType;
    QByteArray transferEncoding; // the part's Content-Transfer-Encoding
    qint64 size = 0;
    QString savedPath; // where the image was kept
    bool accepted = false;
    QString reason; // why it was refused
};

// Reply keys for the shaping methods: "logon", "24685", "24674", "24675",
// "24687", "uploadtitlefile", "uploadcreditfile".
class RecorderSim final
{
public:
    explicit RecorderSim(RecorderSimOptions options = {});
    ~RecorderSim();
    RecorderSim(const RecorderSim &) = delete;
    RecorderSim &operator=(const RecorderSim &) = delete;

    // Binds the HTTP port, the control port and the stream; false with the
    // reason when any of them fails (a non-loopback address always fails).
    bool start(QString *error = nullptr);
    void stop();

    const RecorderSimOptions &options() const;
    QString address() const; // e.g. "127.0.0.2"
    quint16 httpPort() const;
    quint16 controlPort() const;
    quint16 rtspPort() const; // the stream's port, or 554 without a stream
    bool streamAvailable() const; // built with the stream server and started
    // The stream's address with a login key; only the key logon.cgi handed
    // out last opens it.
    QString streamUrl(const QString &key) const;
    QString uploadDir() const;

    // The recorder's own recording: notices go to every control client.
    void startRecording(const QString &title);
    void stopRecording();
    bool recording() const;

    // Sends raw bytes to every control client, for hostile-notice tests.
    void sendControl(const QByteArray &bytes);
    int controlClientCount() const;

    // What arrived.
    QList<SimRequest> requests() const;
    QList<SimRequest> requestsTo(const QString &pathEnd) const; // requests whose path ends so
    QList<ControlLine> controlLines() const;
    QStringList loginKeys() const; // keys logon.cgi handed out since the last clearRecords(), oldest first
    QList<SimUpload> uploads() const;
    void clearRecords(); // requests, control lines, uploads, login keys (handed-out keys stay valid)

    // Reply shaping: override a field (value) or drop it (nullopt); replace the
    // whole body; answer with another HTTP status. resetReplies() undoes all.
    void setReplyField(const QString &key, const QString &name, const std::optional<QString> &value);
    void setRawReply(const QString &key, const QByteArray &body);
    void setReplyStatus(const QString &key, int status);
    void resetReplies();
    // RtspOnlineCount of action 24685; without this the stream's open RTSP
    // connections are counted.
    void setRtspOnlineCount(int count);

    // Failure switches.
    void setRefuseLogins(bool refuse);
    void setRefuseUploads(bool refuse);
    void setReplyDelayMs(int ms); // every CGI answer waits this long
    void setHangUp(bool hangUp); // CGI connections close without an answer
    void setRefuseControl(bool refuse); // new control connections are closed at once
    void closeControlConnections(); // closes the open ones now
    void pauseStream(int seconds); // the stream sends nothing for that long
    // The stream server restarts as after a recorder's reboot: every viewer is dropped, new ones are
    // refused for downSeconds, then only a key logon.cgi hands out afterwards opens the stream.
    void restartStream(double downSeconds = 1.0);
    // logon.cgi answers -1 during the first `seconds` of every lesson (a recorder busy at the top of
    // the hour); 0 switches it off.
    void setRefuseKeySeconds(int seconds);

    // One text command, as typed on the simulator's stdin or sent to
    // /admin/<command>; returns "ok ..." or "error: ...". See CommandHelp().
    QString runCommand(const QString &command, const QStringList &args);
    static QString CommandHelp();

private:
    class Core;
    std::unique_ptr<Core> m_core;
};

} // namespace Qurel
