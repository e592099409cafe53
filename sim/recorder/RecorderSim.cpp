#include "RecorderSim.h"

#include "Multipart.h"
#include "SimHttpServer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#ifdef QUREL_SIM_HAS_RTSP
#include "RtspTestServer.h"
#endif

#include <atomic>
#include <functional>

namespace Qurel {

namespace {

    constexpr int kMaxKeptRequests = 10000;
    constexpr qsizetype kMaxControlLine = 64 * 1024;
    constexpr int kDefaultRtspPort = 554;

    // How a reply is changed from what the simulated recorder would answer.
    struct ReplyShape
    {
        QList<QPair<QString, std::optional<QString>>> fields; // overrides in the order given
        std::optional<QByteArray> raw;
        int status = 200;
    };

    using Fields = QList<QPair<QString, QString>>;

    void applyOverrides(Fields &fields, const ReplyShape &shape)
    {
        for (const auto &[name, value] : shape.fields) {
            auto it
                = std::find_if(fields.begin(), fields.end(), [&](const auto &f) { return f.first == name; });
            if (!value) {
                if (it != fields.end())
                    fields.erase(it);
            } else if (it != fields.end()) {
                it->second = *value;
            } else {
                fields.append({ name, *value });
            }
        }
    }

    QByteArray renderFields(const Fields &fields)
    {
        QByteArray body;
        for (const auto &f : fields)
            body += f.first.toUtf8() + '=' + f.second.toUtf8() + "\r\n";
        return body;
    }

    QByteArray uploadAnswer(int value)
    {
        return "<html><body><input type='hidden' name='result' value='" + QByteArray::number(value)
            + "'></body></html>\n";
    }

    // Why an image is not one the recorder can show, or empty when it is a
    // 720 x 405 24-bit Windows bitmap.
    QString imageProblem(const QByteArray &data)
    {
        if (data.size() < 54 || !data.startsWith("BM"))
            return QStringLiteral("not a BMP file");
        const auto *p = reinterpret_cast<const uchar *>(data.constData());
        const quint32 offset = qFromLittleEndian<quint32>(p + 10);
        const qint32 width = qFromLittleEndian<qint32>(p + 18);
        const qint32 height = qFromLittleEndian<qint32>(p + 22);
        const quint16 bits = qFromLittleEndian<quint16>(p + 28);
        if (width != 720 || (height != 405 && height != -405))
            return QStringLiteral("size %1x%2, not 720x405").arg(width).arg(height);
        if (bits != 24)
            return QStringLiteral("%1 bits per pixel, not 24").arg(bits);
        const qint64 stride = (720 * 3 + 3) / 4 * 4;
        if (qint64(offset) + stride * 405 > data.size())
            return QStringLiteral("pixel data cut short");
        return {};
    }

    bool onOff(const QString &text, bool *value)
    {
        const QString t = text.toLower();
        if (t == QLatin1String("on") || t == QLatin1String("1") || t == QLatin1String("true"))
            *value = true;
        else if (t == QLatin1String("off") || t == QLatin1String("0") || t == QLatin1String("false"))
            *value = false;
        else
            return false;
        return true;
    }

    // \r, \n, \0, \xHH and \\ in texts typed as commands.
    QByteArray unescape(const QString &text)
    {
        const QByteArray in = text.toUtf8();
        QByteArray out;
        for (qsizetype i = 0; i < in.size(); ++i) {
            if (in.at(i) != '\\' || i + 1 >= in.size()) {
                out.append(in.at(i));
                continue;
            }
            const char c = in.at(++i);
            if (c == 'r')
                out.append('\r');
            else if (c == 'n')
                out.append('\n');
            else if (c == '0')
                out.append('\0');
            else if (c == 'x' && i + 2 < in.size()) {
                bool ok = false;
                const int v = in.mid(i + 1, 2).toInt(&ok, 16);
                if (ok) {
                    out.append(char(v));
                    i += 2;
                } else {
                    out.append("\\x");
                }
            } else {
                out.append(c);
            }
        }
        return out;
    }

} // namespace

std::optional<LessonStep> ParseLesson(const QString &text)
{
    const qsizetype first = text.indexOf(QLatin1Char(','));
    const qsizetype second = first < 0 ? -1 : text.indexOf(QLatin1Char(','), first + 1);
    if (second < 0)
        return std::nullopt;
    bool okStart = false;
    bool okStop = false;
    LessonStep step;
    step.startSec = text.left(first).trimmed().toDouble(&okStart);
    step.stopSec = text.mid(first + 1, second - first - 1).trimmed().toDouble(&okStop);
    step.title = text.mid(second + 1);
    if (!okStart || !okStop || step.startSec < 0 || step.stopSec <= step.startSec)
        return std::nullopt;
    return step;
}

QString SimRequest::queryValue(const QString &name) const
{
    for (const auto &item : query)
        if (item.first == name)
            return item.second.isNull() ? QStringLiteral("") : item.second;
    return {};
}

class RecorderSim::Core
{
public:
    explicit Core(RecorderSimOptions o)
        : opt(std::move(o))
    {
    }

    // Runs f on the simulator's thread and waits for it.
    void inThread(const std::function<void()> &f)
    {
        if (!context || QThread::currentThread() == &thread) {
            f();
            return;
        }
        QMetaObject::invokeMethod(context.get(), f, Qt::BlockingQueuedConnection);
    }

    bool start(QString *error);
    bool listenAll(QString *why, bool *busy); // false with the reason; busy: a port is in use
    void stop();

    Sim::HttpResponse handle(const Sim::HttpRequest &request);
    Sim::HttpResponse handleLogon(const Sim::HttpRequest &request);
    Sim::HttpResponse handlePlat(const Sim::HttpRequest &request);
    Sim::HttpResponse handleUpload(const Sim::HttpRequest &request, const QString &kind);
    ReplyShape shapeOf(const QString &key) const;
    Sim::HttpResponse shaped(const QString &key, Fields fields) const;
    static Sim::HttpResponse respond(const ReplyShape &shape, const QByteArray &type, const QByteArray &body)
    {
        return { shape.status, type, shape.raw ? *shape.raw : body };
    }
    static bool switchOn(const std::atomic_bool &s) { return s.load(); }
    void record(const Sim::HttpRequest &request);
    bool credentialsOk(const QString &user, const QString &digest) const;

    void onControlConnection();
    void onControlRead(QTcpSocket *socket, int id);
    void broadcast(const QByteArray &bytes);
    void startRecording(const QString &title);
    void stopRecording();
    void runLessons();
    void closeControlConnections();
    void sendControl(const QByteArray &bytes);
    void pauseStream(int seconds);
    void restartStream(double downSeconds);
    quint16 rtspPort() const;
    QString runCommand(const QString &command, const QStringList &args);
    QString state() const;
    void log(const QString &text) const
    {
        if (opt.log)
            opt.log(text);
    }

    RecorderSimOptions opt;
    QThread thread;
    std::unique_ptr<QObject> context; // lives on `thread`; parent of every socket object
    Sim::SimHttpServer *http = nullptr;
    QTcpServer *control = nullptr;
    QList<QPointer<QTcpSocket>> clients;
    std::unique_ptr<QTemporaryDir> tempUploads;
#ifdef QUREL_SIM_HAS_RTSP
    std::unique_ptr<RtspTestServer> rtsp;
#endif
    bool startStream(QString *why);
    bool streamRunning() const;
    int streamClients() const;
    void setStreamKey(const QString &key);
    QString uploadDir;
    bool lessonsStarted = false;
    int nextClientId = 1;
    bool running = false;

    mutable QMutex mutex; // guards everything below
    QElapsedTimer clock;
    QList<SimRequest> requests;
    QList<ControlLine> controlLines;
    QStringList loginKeys;
    QList<SimUpload> uploads;
    QMap<QString, ReplyShape> shapes;
    bool recording = false;

    // Switches and counters read without the lock.
    std::atomic_int rtspOnlineCount { 0 };
    std::atomic_bool onlineCountSet { false }; // else the stream's open RTSP connections are reported
    std::atomic_bool refuseLogins { false };
    std::atomic_bool refuseUploads { false };
    std::atomic_bool hangUp { false };
    std::atomic_bool refuseControl { false };
    std::atomic_int delayMs { 0 };
    std::atomic_int refuseKeySeconds { 0 };
    QElapsedTimer lessonClock; // since the last start notice (guarded by mutex)
    std::atomic_int clientCount { 0 };
    std::atomic_int boundHttpPort { 0 };
};

bool RecorderSim::Core::start(QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        stop();
        return false;
    };
    if (running)
        return true;
    if (!opt.address.isLoopback())
        return fail(QStringLiteral("%1 is not a loopback address").arg(opt.address.toString()));
    uploadDir = opt.uploadDir;
    if (uploadDir.isEmpty()) {
        tempUploads = std::make_unique<QTemporaryDir>();
        uploadDir = tempUploads->path();
    }
    if (!QDir().mkpath(uploadDir))
        return fail(QStringLiteral("cannot create %1").arg(uploadDir));
    {
        QMutexLocker lock(&mutex);
        clock.start();
    }
    context = std::make_unique<QObject>();
    context->moveToThread(&thread);
    thread.setObjectName(QStringLiteral("recorder-sim"));
    thread.start();
    // Another run of the same test may still hold the address for a while;
    // wait for it rather than fail at once.
    QString why;
    QElapsedTimer waited;
    waited.start();
    bool busy = false;
    while (!listenAll(&why, &busy)) {
        if (!busy || waited.elapsed() >= opt.busyWaitMs)
            return fail(why);
        QThread::msleep(200);
    }
    if (!why.isEmpty() || !startStream(&why))
        return fail(why);
    running = true;
    return true;
}

bool RecorderSim::Core::listenAll(QString *why, bool *busy)
{
    why->clear();
    inThread([&] {
        http = new Sim::SimHttpServer([this](const Sim::HttpRequest &r) { return handle(r); }, context.get());
        control = new QTcpServer(context.get());
        QObject::connect(
            control, &QTcpServer::newConnection, context.get(), [this] { onControlConnection(); });
        if (!http->listen(opt.address, opt.httpPort)) {
            *why = QStringLiteral("HTTP port %1: %2").arg(opt.httpPort).arg(http->errorString());
            *busy = http->serverError() == QAbstractSocket::AddressInUseError;
        } else if (!control->listen(opt.address, opt.controlPort)) {
            *why = QStringLiteral("control port %1: %2").arg(opt.controlPort).arg(control->errorString());
            *busy = control->serverError() == QAbstractSocket::AddressInUseError;
        } else {
            boundHttpPort = http->port();
            return;
        }
        delete http;
        delete control;
        http = nullptr;
        control = nullptr;
    });
    return why->isEmpty();
}

#ifdef QUREL_SIM_HAS_RTSP
bool RecorderSim::Core::startStream(QString *why)
{
    if (!opt.stream)
        return true;
    RtspTestServerOptions o;
    o.address = opt.address.toString().toStdString();
    o.port = opt.rtspPort;
    // Until logon.cgi hands out a key, no key opens the stream.
    o.key = QString::number(QRandomGenerator::global()->generate64(), 16).toStdString();
    o.width = opt.width;
    o.height = opt.height;
    o.fps = opt.fps;
    o.bitrateKbps = opt.bitrateKbps;
    if (opt.movingBars)
        o.picture = "pattern=smpte horizontal-speed=8";
    o.slicedKeyframes = opt.twoSlices;
    o.udp = !opt.rtspOverTcpOnly;
    o.lossPercent = opt.lossPercent;
    if (!parseStreamAudio(opt.audio.toStdString(), o.audio) || !parseStreamVideo(opt.video.toStdString(), o.video)) {
        *why = QStringLiteral("unknown stream codec %1/%2").arg(opt.video, opt.audio);
        return false;
    }
    rtsp = std::make_unique<RtspTestServer>();
    if (rtsp->start(o))
        return true;
    *why = QStringLiteral("RTSP port %1: the stream server did not start").arg(opt.rtspPort);
    rtsp.reset();
    return false;
}

bool RecorderSim::Core::streamRunning() const
{
    return rtsp && rtsp->isRunning();
}

int RecorderSim::Core::streamClients() const
{
    return streamRunning() ? rtsp->connectedClients() : 0;
}

void RecorderSim::Core::setStreamKey(const QString &key)
{
    if (streamRunning())
        rtsp->setKey(key.toStdString());
}

void RecorderSim::Core::pauseStream(int seconds)
{
    if (streamRunning())
        rtsp->pauseFor(seconds);
}

void RecorderSim::Core::restartStream(double downSeconds)
{
    // A key nobody was handed: every key given out before is refused from now on.
    if (streamRunning())
        rtsp->restartWithKey(downSeconds, QString::number(QRandomGenerator::global()->generate64(), 16).toStdString());
}

quint16 RecorderSim::Core::rtspPort() const
{
    if (streamRunning())
        return rtsp->port();
    return opt.rtspPort ? opt.rtspPort : kDefaultRtspPort;
}
#else
bool RecorderSim::Core::startStream(QString *)
{
    return true;
}

bool RecorderSim::Core::streamRunning() const
{
    return false;
}

int RecorderSim::Core::streamClients() const
{
    return 0;
}

void RecorderSim::Core::setStreamKey(const QString &) { }

void RecorderSim::Core::pauseStream(int) { }

void RecorderSim::Core::restartStream(double) { }

quint16 RecorderSim::Core::rtspPort() const
{
    return opt.rtspPort ? opt.rtspPort : kDefaultRtspPort;
}
#endif

void RecorderSim::Core::stop()
{
    if (context) {
        inThread([&] {
            for (const auto &c : std::as_const(clients))
                if (c)
                    c->abort();
            delete http;
            delete control;
            http = nullptr;
            control = nullptr;
            clients.clear();
            // Objects made on this thread go with it.
            qDeleteAll(context->children());
        });
        thread.quit();
        thread.wait();
        context.reset();
    }
#ifdef QUREL_SIM_HAS_RTSP
    if (rtsp) {
        rtsp->stop();
        // RTSP sessions over UDP report their end on a GStreamer thread after
        // the stream server has stopped, into the server object; it is kept
        // until the process ends so that late report finds it alive.
        static QList<RtspTestServer *> stoppedServers;
        stoppedServers.append(rtsp.release());
    }
#endif
    running = false;
}

void RecorderSim::Core::record(const Sim::HttpRequest &request)
{
    SimRequest r;
    r.method = request.method;
    r.target = request.target;
    r.path = request.path();
    r.query = request.queryItems();
    r.headers = request.headers;
    r.bodySize = request.body.size();
    log(QStringLiteral("http: %1 %2").arg(QString::fromUtf8(r.method), QString::fromUtf8(r.target)));
    QMutexLocker lock(&mutex);
    r.atMs = clock.elapsed();
    requests.append(r);
    if (requests.size() > kMaxKeptRequests)
        requests.removeFirst();
}

Sim::HttpResponse RecorderSim::Core::handle(const Sim::HttpRequest &request)
{
    const QString path = request.path();
    if (path.startsWith(QLatin1String("/admin/"))) {
        QStringList args;
        for (const auto &item : request.queryItems())
            args.append(item.second);
        const QString answer = runCommand(path.mid(7), args);
        return { answer.startsWith(QLatin1String("error")) ? 400 : 200, "text/plain; charset=utf-8",
            answer.toUtf8() + '\n' };
    }
    record(request);
    Sim::HttpResponse response;
    if (path == QLatin1String("/cgi-bin/logon.cgi"))
        response = handleLogon(request);
    else if (path == QLatin1String("/cgi-bin/plat/plat.cgi"))
        response = handlePlat(request);
    else if (path == QLatin1String("/cgi-bin/uploadtitlefile.cgi"))
        response = handleUpload(request, QStringLiteral("title"));
    else if (path == QLatin1String("/cgi-bin/uploadcreditfile.cgi"))
        response = handleUpload(request, QStringLiteral("credit"));
    else
        response = { 404, "text/plain", "not found\n" };
    response.delayMs = delayMs.load();
    response.hangUp = switchOn(hangUp);
    return response;
}

bool RecorderSim::Core::credentialsOk(const QString &user, const QString &digest) const
{
    const QByteArray expected
        = QCryptographicHash::hash(opt.password.toUtf8(), QCryptographicHash::Md5).toHex();
    return user == opt.username && digest.toLatin1() == expected;
}

ReplyShape RecorderSim::Core::shapeOf(const QString &key) const
{
    QMutexLocker lock(&mutex);
    return shapes.value(key);
}

Sim::HttpResponse RecorderSim::Core::shaped(const QString &key, Fields fields) const
{
    const ReplyShape shape = shapeOf(key);
    applyOverrides(fields, shape);
    return respond(shape, "text/plain", renderFields(fields));
}

Sim::HttpResponse RecorderSim::Core::handleLogon(const Sim::HttpRequest &request)
{
    QByteArray body = "-1";
    bool busy = false;
    {
        QMutexLocker lock(&mutex);
        busy = recording && lessonClock.isValid() && lessonClock.elapsed() < refuseKeySeconds.load() * 1000LL;
    }
    if (!busy && !switchOn(refuseLogins)
        && credentialsOk(
            request.queryValue(QStringLiteral("username")), request.queryValue(QStringLiteral("upswd")))) {
        const QString key = QString::number(QRandomGenerator::global()->generate64(), 16)
                                .rightJustified(16, QLatin1Char('0'));
        setStreamKey(key);
        QMutexLocker lock(&mutex);
        loginKeys.append(key);
        body = "0|" + key.toLatin1();
    }
    return respond(shapeOf(QStringLiteral("logon")), "text/plain", body);
}

Sim::HttpResponse RecorderSim::Core::handlePlat(const Sim::HttpRequest &request)
{
    const QString action = request.queryValue(QStringLiteral("action"));
    if (!credentialsOk(
            request.queryValue(QStringLiteral("user")), request.queryValue(QStringLiteral("password"))))
        return shaped(action, { { QStringLiteral("ErrorCode"), QStringLiteral("-1") } });
    const QString zero = QStringLiteral("0");
    if (action == QLatin1String("24685")) {
        const int count = onlineCountSet ? rtspOnlineCount.load() : streamClients();
        return shaped(action,
            { { QStringLiteral("ErrorCode"), zero }, { QStringLiteral("RtpMode"), opt.rtpMode },
                { QStringLiteral("RtspPort"), QString::number(rtspPort()) },
                { QStringLiteral("RtspOnlineCount"), QString::number(count) } });
    }
    if (action == QLatin1String("24674")) {
        startRecording(opt.title);
        return shaped(action,
            { { QStringLiteral("ErrorCode"), zero }, { QStringLiteral("RECActive"), QStringLiteral("2") } });
    }
    if (action == QLatin1String("24675")) {
        stopRecording();
        return shaped(
            action, { { QStringLiteral("ErrorCode"), zero }, { QStringLiteral("RECActive"), zero } });
    }
    if (action == QLatin1String("24687"))
        return shaped(action, { { QStringLiteral("ErrorCode"), zero } });
    return shaped(action, { { QStringLiteral("ErrorCode"), QStringLiteral("-2") } });
}

Sim::HttpResponse RecorderSim::Core::handleUpload(const Sim::HttpRequest &request, const QString &kind)
{
    SimUpload upload;
    upload.kind = kind;
    const auto parts = Sim::ParseMultipart(request.header("Content-Type"), request.body);
    const Sim::MultipartPart *image = nullptr;
    if (request.method != "POST")
        upload.reason = QStringLiteral("not a POST");
    else if (!parts)
        upload.reason = QStringLiteral("not a multipart/form-data body");
    else if (parts->size() != 1)
        upload.reason = QStringLiteral("%1 parts, not one").arg(parts->size());
    else
        image = &parts->first();
    if (image) {
        upload.fieldName = image->header.name;
        upload.fileName = image->header.fileName.toUtf8();
        upload.contentType = image->header.contentType;
        upload.transferEncoding = image->header.transferEncoding;
        upload.size = image->data.size();
        if (upload.fieldName != "image")
            upload.reason = QStringLiteral("field \"%1\", not \"image\"").arg(QString::fromUtf8(upload.fieldName));
        else if (opt.checkImages)
            upload.reason = imageProblem(image->data);
        if (upload.reason.isEmpty()) {
            upload.savedPath = uploadDir + QLatin1Char('/') + kind + QStringLiteral(".bmp");
            QFile file(upload.savedPath);
            if (!file.open(QIODevice::WriteOnly) || file.write(image->data) != image->data.size())
                upload.reason = QStringLiteral("cannot keep the image in %1").arg(upload.savedPath);
        }
    }
    if (upload.reason.isEmpty() && switchOn(refuseUploads))
        upload.reason = QStringLiteral("uploads refused by the switch");
    upload.accepted = upload.reason.isEmpty();
    log(QStringLiteral("upload %1: %2")
            .arg(kind, upload.accepted ? QStringLiteral("accepted") : upload.reason));
    {
        QMutexLocker lock(&mutex);
        uploads.append(upload);
    }
    return respond(shapeOf(QStringLiteral("upload") + kind + QStringLiteral("file")), "text/html",
        uploadAnswer(upload.accepted ? 0 : -1));
}

void RecorderSim::Core::onControlConnection()
{
    while (QTcpSocket *socket = control->nextPendingConnection()) {
        socket->setParent(context.get());
        if (switchOn(refuseControl)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const int id = nextClientId++;
        log(QStringLiteral("control %1: connected").arg(id));
        clients.append(socket);
        clientCount = int(clients.size());
        QObject::connect(
            socket, &QTcpSocket::readyRead, context.get(), [this, socket, id] { onControlRead(socket, id); });
        QObject::connect(socket, &QTcpSocket::disconnected, context.get(), [this, socket, id] {
            log(QStringLiteral("control %1: closed").arg(id));
            clients.removeAll(socket);
            socket->deleteLater();
            clientCount = int(clients.size());
        });
        runLessons();
    }
}

void RecorderSim::Core::onControlRead(QTcpSocket *socket, int id)
{
    QByteArray buffer = socket->property("qurelLine").toByteArray() + socket->readAll();
    qsizetype end;
    while ((end = buffer.indexOf('\n')) >= 0) {
        QByteArray line = buffer.left(end);
        buffer.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        log(QStringLiteral("control %1: %2").arg(id).arg(QString::fromUtf8(line)));
        QMutexLocker lock(&mutex);
        controlLines.append({ id, line, clock.elapsed() });
    }
    if (buffer.size() > kMaxControlLine)
        buffer.clear(); // a client that never ends its line is not kept in memory
    socket->setProperty("qurelLine", buffer);
}

void RecorderSim::Core::broadcast(const QByteArray &bytes)
{
    log(QStringLiteral("to %1 control client(s): %2")
            .arg(clients.size())
            .arg(QString::fromUtf8(bytes.trimmed())));
    for (const auto &c : std::as_const(clients)) {
        if (c && c->state() == QAbstractSocket::ConnectedState) {
            c->write(bytes);
            c->flush();
        }
    }
}

void RecorderSim::Core::startRecording(const QString &title)
{
    {
        QMutexLocker lock(&mutex);
        if (recording)
            return;
        recording = true;
        lessonClock.start();
    }
    broadcast("mark=start_record,Title=" + title.toUtf8().toHex().toUpper() + "\r\n");
}

void RecorderSim::Core::stopRecording()
{
    {
        QMutexLocker lock(&mutex);
        if (!recording)
            return;
        recording = false;
    }
    broadcast("mark=stop_record\r\n");
}

void RecorderSim::Core::runLessons()
{
    if (lessonsStarted)
        return;
    lessonsStarted = true;
    for (const LessonStep &step : std::as_const(opt.lessons)) {
        QTimer::singleShot(
            int(step.startSec * 1000), context.get(), [this, step] { startRecording(step.title); });
        QTimer::singleShot(int(step.stopSec * 1000), context.get(), [this] { stopRecording(); });
    }
}

void RecorderSim::Core::closeControlConnections()
{
    for (const auto &c : std::as_const(clients))
        if (c)
            c->disconnectFromHost();
}

void RecorderSim::Core::sendControl(const QByteArray &bytes)
{
    broadcast(bytes);
}

QString RecorderSim::Core::state() const
{
    const QString stream = streamRunning()
        ? QStringLiteral("rtsp-port=%1 stream-clients=%2").arg(rtspPort()).arg(streamClients())
        : QStringLiteral("rtsp-port=%1 stream=off").arg(rtspPort());
    QMutexLocker lock(&mutex);
    return QStringLiteral(
        "recording=%1 control-clients=%2 login-keys=%3 requests=%4 uploads=%5 http-port=%6 %7")
        .arg(recording ? 1 : 0)
        .arg(clientCount.load())
        .arg(loginKeys.size())
        .arg(requests.size())
        .arg(uploads.size())
        .arg(boundHttpPort.load())
        .arg(stream);
}

QString RecorderSim::Core::runCommand(const QString &command, const QStringList &args)
{
    const QString arg0 = args.value(0);
    auto ok = [](const QString &what = QString()) {
        return what.isEmpty() ? QStringLiteral("ok") : QStringLiteral("ok ") + what;
    };
    auto needSwitch = [&](std::atomic_bool &target) {
        bool value = false;
        if (!onOff(arg0, &value))
            return QStringLiteral("error: %1 needs on or off").arg(command);
        target = value;
        return ok();
    };
    auto needNumber = [&](int *value) {
        bool good = false;
        *value = arg0.toInt(&good);
        return good && *value >= 0;
    };
    int number = 0;
    if (command == QLatin1String("start")) {
        inThread([&] { startRecording(args.isEmpty() ? opt.title : args.join(QLatin1Char(' '))); });
        return ok();
    }
    if (command == QLatin1String("stop")) {
        inThread([&] { stopRecording(); });
        return ok();
    }
    if (command == QLatin1String("refuse-logins"))
        return needSwitch(refuseLogins);
    if (command == QLatin1String("refuse-uploads"))
        return needSwitch(refuseUploads);
    if (command == QLatin1String("hang-up"))
        return needSwitch(hangUp);
    if (command == QLatin1String("refuse-control"))
        return needSwitch(refuseControl);
    if (command == QLatin1String("delay")) {
        if (!needNumber(&number))
            return QStringLiteral("error: delay needs milliseconds");
        delayMs = number;
        return ok();
    }
    if (command == QLatin1String("online-count")) {
        bool good = false;
        const int count = arg0.toInt(&good);
        if (!good)
            return QStringLiteral("error: online-count needs a number");
        rtspOnlineCount = count;
        onlineCountSet = true;
        return ok();
    }
    if (command == QLatin1String("close-control")) {
        inThread([&] { closeControlConnections(); });
        return ok();
    }
    if (command == QLatin1String("pause-stream")) {
        if (!needNumber(&number))
            return QStringLiteral("error: pause-stream needs seconds");
        inThread([&] { pauseStream(number); });
        return ok();
    }
    if (command == QLatin1String("restart-stream")) {
        const double seconds = arg0.isEmpty() ? 1.0 : arg0.toDouble();
        inThread([&] { restartStream(seconds); });
        return ok();
    }
    if (command == QLatin1String("refuse-key-seconds")) {
        if (!needNumber(&number))
            return QStringLiteral("error: refuse-key-seconds needs seconds");
        refuseKeySeconds = number;
        return ok();
    }
    if (command == QLatin1String("send")) {
        const QByteArray bytes = unescape(args.join(QLatin1Char(' ')));
        inThread([&] { sendControl(bytes); });
        return ok();
    }
    if (command == QLatin1String("field") && args.size() >= 2) {
        QMutexLocker lock(&mutex);
        shapes[args.at(0)].fields.append({ args.at(1),
            args.size() > 2 ? std::optional<QString>(args.mid(2).join(QLatin1Char(' '))) : std::nullopt });
        return ok();
    }
    if (command == QLatin1String("raw") && args.size() >= 1) {
        QMutexLocker lock(&mutex);
        shapes[args.at(0)].raw = unescape(args.mid(1).join(QLatin1Char(' ')));
        return ok();
    }
    if (command == QLatin1String("status") && args.size() == 2) {
        bool good = false;
        const int status = args.at(1).toInt(&good);
        if (!good || status < 100 || status > 599)
            return QStringLiteral("error: status needs a key and an HTTP status");
        QMutexLocker lock(&mutex);
        shapes[args.at(0)].status = status;
        return ok();
    }
    if (command == QLatin1String("reset")) {
        QMutexLocker lock(&mutex);
        shapes.clear();
        refuseLogins = refuseUploads = hangUp = refuseControl = false;
        delayMs = 0;
        refuseKeySeconds = 0;
        rtspOnlineCount = 0;
        onlineCountSet = false;
        return ok();
    }
    if (command == QLatin1String("state"))
        return ok(state());
    if (command == QLatin1String("requests")) {
        QMutexLocker lock(&mutex);
        QStringList lines;
        for (const SimRequest &r : std::as_const(requests))
            lines.append(QString::fromUtf8(r.method + ' ' + r.target));
        return ok(QString::number(lines.size()) + QLatin1Char('\n') + lines.join(QLatin1Char('\n')));
    }
    if (command == QLatin1String("control-lines")) {
        QMutexLocker lock(&mutex);
        QStringList lines;
        for (const ControlLine &l : std::as_const(controlLines))
            lines.append(QString::number(l.client) + QLatin1Char(' ') + QString::fromUtf8(l.line));
        return ok(QString::number(lines.size()) + QLatin1Char('\n') + lines.join(QLatin1Char('\n')));
    }
    if (command == QLatin1String("help"))
        return ok(RecorderSim::CommandHelp());
    return QStringLiteral("error: unknown command or missing arguments: %1 (try help)").arg(command);
}

QString RecorderSim::CommandHelp()
{
    return QStringLiteral("Commands (stdin: COMMAND ARG...; HTTP: GET /admin/COMMAND?a=ARG&b=ARG...):\n"
                          "  start [TITLE]          start recording: sends mark=start_record,Title=<hex> to "
                          "the control clients\n"
                          "  stop                   stop recording: sends mark=stop_record\n"
                          "  refuse-logins on|off   logon.cgi answers -1\n"
                          "  refuse-uploads on|off  image uploads answer value='-1'\n"
                          "  delay MS               every CGI answer waits MS milliseconds\n"
                          "  hang-up on|off         CGI connections close without an answer\n"
                          "  refuse-control on|off  new control connections are closed at once\n"
                          "  close-control          close the open control connections\n"
                          "  pause-stream SECONDS   the RTSP stream sends nothing for that long\n"
                          "  restart-stream [S]     the stream server restarts with a new key: viewers dropped,\n"
                          "                         refused for S seconds (default 1), old keys refused after\n"
                          "  refuse-key-seconds N   logon.cgi answers -1 in the first N seconds of each lesson\n"
                          "  close-control          (also) drops the control connections without a stop notice\n"
                          "  online-count N         RtspOnlineCount reported by action 24685\n"
                          "  field KEY NAME [VALUE] set a reply field (without VALUE: leave it out)\n"
                          "  raw KEY TEXT           replace the whole reply (escapes \\r \\n \\0 \\xHH)\n"
                          "  status KEY CODE        answer with that HTTP status\n"
                          "  send TEXT              send raw bytes on the control channel (escapes as raw)\n"
                          "  reset                  undo field/raw/status and every switch\n"
                          "  state | requests | control-lines | help\n"
                          "  KEY is logon, 24685, 24674, 24675, 24687, uploadtitlefile or uploadcreditfile.");
}

RecorderSim::RecorderSim(RecorderSimOptions options)
    : m_core(std::make_unique<Core>(std::move(options)))
{
}

RecorderSim::~RecorderSim()
{
    m_core->stop();
}

bool RecorderSim::start(QString *error)
{
    return m_core->start(error);
}

void RecorderSim::stop()
{
    m_core->stop();
}

const RecorderSimOptions &RecorderSim::options() const
{
    return m_core->opt;
}

QString RecorderSim::address() const
{
    return m_core->opt.address.toString();
}

quint16 RecorderSim::httpPort() const
{
    return quint16(m_core->boundHttpPort.load());
}

quint16 RecorderSim::controlPort() const
{
    return m_core->opt.controlPort;
}

quint16 RecorderSim::rtspPort() const
{
    return m_core->rtspPort();
}

bool RecorderSim::streamAvailable() const
{
    return m_core->streamRunning();
}

QString RecorderSim::streamUrl(const QString &key) const
{
    return QStringLiteral("rtsp://%1:%2/stream/0?config.login=%3").arg(address()).arg(rtspPort()).arg(key);
}

QString RecorderSim::uploadDir() const
{
    return m_core->uploadDir;
}

void RecorderSim::startRecording(const QString &title)
{
    m_core->inThread([&] { m_core->startRecording(title); });
}

void RecorderSim::stopRecording()
{
    m_core->inThread([&] { m_core->stopRecording(); });
}

bool RecorderSim::recording() const
{
    QMutexLocker lock(&m_core->mutex);
    return m_core->recording;
}

void RecorderSim::sendControl(const QByteArray &bytes)
{
    m_core->inThread([&] { m_core->sendControl(bytes); });
}

int RecorderSim::controlClientCount() const
{
    return m_core->clientCount.load();
}

QList<SimRequest> RecorderSim::requests() const
{
    QMutexLocker lock(&m_core->mutex);
    return m_core->requests;
}

QList<SimRequest> RecorderSim::requestsTo(const QString &pathEnd) const
{
    QList<SimRequest> matching;
    for (const SimRequest &r : requests())
        if (r.path.endsWith(pathEnd))
            matching.append(r);
    return matching;
}

QList<ControlLine> RecorderSim::controlLines() const
{
    QMutexLocker lock(&m_core->mutex);
    return m_core->controlLines;
}

QStringList RecorderSim::loginKeys() const
{
    QMutexLocker lock(&m_core->mutex);
    return m_core->loginKeys;
}

QList<SimUpload> RecorderSim::uploads() const
{
    QMutexLocker lock(&m_core->mutex);
    return m_core->uploads;
}

void RecorderSim::clearRecords()
{
    QMutexLocker lock(&m_core->mutex);
    m_core->requests.clear();
    m_core->controlLines.clear();
    m_core->uploads.clear();
    m_core->loginKeys.clear();
}

void RecorderSim::setReplyField(const QString &key, const QString &name, const std::optional<QString> &value)
{
    QMutexLocker lock(&m_core->mutex);
    m_core->shapes[key].fields.append({ name, value });
}

void RecorderSim::setRawReply(const QString &key, const QByteArray &body)
{
    QMutexLocker lock(&m_core->mutex);
    m_core->shapes[key].raw = body;
}

void RecorderSim::setReplyStatus(const QString &key, int status)
{
    QMutexLocker lock(&m_core->mutex);
    m_core->shapes[key].status = status;
}

void RecorderSim::resetReplies()
{
    QMutexLocker lock(&m_core->mutex);
    m_core->shapes.clear();
}

void RecorderSim::setRtspOnlineCount(int count)
{
    m_core->rtspOnlineCount = count;
    m_core->onlineCountSet = true;
}

void RecorderSim::setRefuseLogins(bool refuse)
{
    m_core->refuseLogins = refuse;
}

void RecorderSim::setRefuseUploads(bool refuse)
{
    m_core->refuseUploads = refuse;
}

void RecorderSim::setReplyDelayMs(int ms)
{
    m_core->delayMs = ms;
}

void RecorderSim::setHangUp(bool hangUp)
{
    m_core->hangUp = hangUp;
}

void RecorderSim::setRefuseControl(bool refuse)
{
    m_core->refuseControl = refuse;
}

void RecorderSim::closeControlConnections()
{
    m_core->inThread([&] { m_core->closeControlConnections(); });
}

void RecorderSim::pauseStream(int seconds)
{
    m_core->inThread([&] { m_core->pauseStream(seconds); });
}

void RecorderSim::restartStream(double downSeconds)
{
    m_core->inThread([&] { m_core->restartStream(downSeconds); });
}

void RecorderSim::setRefuseKeySeconds(int seconds)
{
    m_core->refuseKeySeconds = seconds;
}

QString RecorderSim::runCommand(const QString &command, const QStringList &args)
{
    return m_core->runCommand(command, args);
}

} // namespace Qurel
