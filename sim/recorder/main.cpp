// qurel-recorder-sim: a simulated recorder for tests and the demo.

#include "RecorderSim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

void print(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool parseSize(const QString &text, int *width, int *height)
{
    const QStringList parts = text.toLower().split(QLatin1Char('x'));
    bool okW = false;
    bool okH = false;
    if (parts.size() == 2) {
        *width = parts.at(0).toInt(&okW);
        *height = parts.at(1).toInt(&okH);
    }
    return okW && okH && *width > 0 && *height > 0 && *width % 2 == 0 && *height % 2 == 0;
}

// Reads commands from stdin on a thread of its own and hands them to the
// main thread; "quit" or the end of input ends reading.
QThread *startCommandReader(Qurel::RecorderSim &sim)
{
    QThread *reader = QThread::create([&sim] {
        std::string line;
        while (std::getline(std::cin, line)) {
            const QString text = QString::fromStdString(line).trimmed();
            if (text.isEmpty())
                continue;
            if (text == QLatin1String("quit")) {
                QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
                return;
            }
            const qsizetype space = text.indexOf(QLatin1Char(' '));
            const QString command = space < 0 ? text : text.left(space);
            const QString rest = space < 0 ? QString() : text.mid(space + 1).trimmed();
            // start, send and raw take the rest of the line as one text.
            QStringList args;
            if (command == QLatin1String("start") || command == QLatin1String("send"))
                args = rest.isEmpty() ? QStringList() : QStringList { rest };
            else if (command == QLatin1String("raw") && rest.contains(QLatin1Char(' ')))
                args
                    = QStringList { rest.section(QLatin1Char(' '), 0, 0), rest.section(QLatin1Char(' '), 1) };
            else
                args = rest.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            print(sim.runCommand(command, args));
        }
    });
    reader->start();
    return reader;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qurel-recorder-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated lesson recorder on a loopback address: HTTP CGI (logon.cgi, plat.cgi "
                       "actions 24685, 24674,\n"
                       "24675, 24687, uploadtitlefile.cgi, uploadcreditfile.cgi), control channel with "
                       "start/stop notices,\n"
                       "RTSP live test stream at rtsp://ADDRESS:RTSPPORT/stream/0?config.login=KEY.\n"
                       "Admin: the commands below, typed on stdin or sent as GET /admin/COMMAND?a=ARG... on "
                       "the HTTP port.\n\n")
        + Qurel::RecorderSim::CommandHelp());
    parser.addHelpOption();
    const QCommandLineOption address({ QStringLiteral("a"), QStringLiteral("address") },
        QStringLiteral("Loopback address to bind (default 127.0.0.1)."), QStringLiteral("ip"),
        QStringLiteral("127.0.0.1"));
    const QCommandLineOption httpPort({ QStringLiteral("p"), QStringLiteral("http-port") },
        QStringLiteral("HTTP CGI port, 0 for any free one (default 8080)."), QStringLiteral("port"),
        QStringLiteral("8080"));
    const QCommandLineOption controlPort(QStringLiteral("control-port"),
        QStringLiteral("Control channel port (default 18884)."), QStringLiteral("port"),
        QStringLiteral("18884"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("User name (default admin)."),
        QStringLiteral("name"), QStringLiteral("admin"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("Password (default admin)."),
        QStringLiteral("text"), QStringLiteral("admin"));
    const QCommandLineOption title(QStringLiteral("title"),
        QStringLiteral("Title of recordings started over CGI (default 示范课)."), QStringLiteral("text"),
        QStringLiteral("示范课"));
    const QCommandLineOption rtpMode(QStringLiteral("rtp-mode"),
        QStringLiteral("RtpMode reported by action 24685 (default 0)."), QStringLiteral("mode"),
        QStringLiteral("0"));
    const QCommandLineOption onlineCount(QStringLiteral("online-count"),
        QStringLiteral(
            "RtspOnlineCount reported by action 24685 (default: the stream's open RTSP connections)."),
        QStringLiteral("n"));
    const QCommandLineOption lesson(QStringLiteral("lesson"),
        QStringLiteral("Record from START to STOP seconds after the first control client connected, titled "
                       "TITLE. May be given several times."),
        QStringLiteral("START,STOP,TITLE"));
    const QCommandLineOption uploadDir(QStringLiteral("upload-dir"),
        QStringLiteral("Keep received images here (default: a temporary folder)."), QStringLiteral("dir"));
    const QCommandLineOption anyImage(QStringLiteral("accept-any-image"),
        QStringLiteral("Accept any uploaded image, not only 720x405 24-bit BMP."));
    const QCommandLineOption noStream(
        QStringLiteral("no-stream"), QStringLiteral("Run without the RTSP stream."));
    const QCommandLineOption rtspPort(QStringLiteral("rtsp-port"),
        QStringLiteral("RTSP port, 0 for any free one (default 8554)."), QStringLiteral("port"),
        QStringLiteral("8554"));
    const QCommandLineOption size(QStringLiteral("size"),
        QStringLiteral("Stream picture size (default 320x180)."), QStringLiteral("WxH"),
        QStringLiteral("320x180"));
    const QCommandLineOption fps(QStringLiteral("fps"), QStringLiteral("Stream frame rate (default 15)."),
        QStringLiteral("n"), QStringLiteral("15"));
    const QCommandLineOption bitrate(QStringLiteral("bitrate"),
        QStringLiteral("Video bit rate in kbit/s (default 300)."), QStringLiteral("kbps"),
        QStringLiteral("300"));
    const QCommandLineOption movingBars(QStringLiteral("moving-bars"),
        QStringLiteral("Stream moving colour bars instead of a ball on black: a picture the encoder needs the "
                       "whole bit rate for, as a camera's is."));
    const QCommandLineOption twoSlices(QStringLiteral("two-slices"),
        QStringLiteral(
            "Harder H.264 packetisation: two slices per frame, SPS/PPS repeated (config-interval=-1)."));
    const QCommandLineOption audio(QStringLiteral("audio"),
        QStringLiteral("Stream sound: aac, pcma (G.711 A-law), pcmu (G.711 mu-law), g722 or none (default aac)."),
        QStringLiteral("codec"), QStringLiteral("aac"));
    const QCommandLineOption video(QStringLiteral("video"),
        QStringLiteral("Stream video: h264, h265, mjpeg or vp8 (which MP4 cannot carry; default h264)."),
        QStringLiteral("codec"),
        QStringLiteral("h264"));
    const QCommandLineOption loss(QStringLiteral("loss"),
        QStringLiteral("Drop this share of RTP packets before they leave (default 0)."),
        QStringLiteral("percent"), QStringLiteral("0"));
    const QCommandLineOption tcpOnly(QStringLiteral("tcp-only"), QStringLiteral("Serve RTP over TCP only."));
    const QCommandLineOption refuseLogins(
        QStringLiteral("refuse-logins"), QStringLiteral("Start with logins refused."));
    const QCommandLineOption refuseKey(QStringLiteral("refuse-key-seconds"),
        QStringLiteral("logon.cgi answers -1 during the first N seconds of every lesson (a recorder busy at the "
                       "top of the hour)."),
        QStringLiteral("seconds"), QStringLiteral("0"));
    const QCommandLineOption delay(QStringLiteral("delay"),
        QStringLiteral("Start with every CGI answer delayed."), QStringLiteral("ms"));
    const QCommandLineOption verbose({ QStringLiteral("v"), QStringLiteral("verbose") },
        QStringLiteral("Print every request, control-channel line, notice and upload."));
    parser.addOptions({ address, httpPort, controlPort, user, password, title, rtpMode, onlineCount, lesson,
        uploadDir, anyImage, noStream, rtspPort, size, fps, bitrate, movingBars, twoSlices, audio, video, loss, tcpOnly,
        refuseLogins, refuseKey, delay, verbose });
    parser.process(app);

    auto fail = [](const QString &why) {
        std::fputs(("qurel-recorder-sim: " + why + '\n').toUtf8().constData(), stderr);
        return 2;
    };
    auto port = [&](const QCommandLineOption &option, quint16 *value) {
        bool ok = false;
        const uint v = parser.value(option).toUInt(&ok);
        *value = quint16(v);
        return ok && v <= 65535;
    };

    Qurel::RecorderSimOptions options;
    options.busyWaitMs = 0; // a busy port is reported at once
    options.address = QHostAddress(parser.value(address));
    if (options.address.isNull())
        return fail(QStringLiteral("bad address %1").arg(parser.value(address)));
    if (!port(httpPort, &options.httpPort) || !port(controlPort, &options.controlPort)
        || !port(rtspPort, &options.rtspPort))
        return fail(QStringLiteral("bad port number"));
    options.username = parser.value(user);
    options.password = parser.value(password);
    options.title = parser.value(title);
    options.rtpMode = parser.value(rtpMode);
    options.uploadDir = parser.value(uploadDir);
    options.checkImages = !parser.isSet(anyImage);
    options.stream = !parser.isSet(noStream);
    options.twoSlices = parser.isSet(twoSlices);
    options.movingBars = parser.isSet(movingBars);
    options.rtspOverTcpOnly = parser.isSet(tcpOnly);
    options.audio = parser.value(audio);
    options.video = parser.value(video);
    if (!QStringList { "aac", "pcma", "pcmu", "g722", "none" }.contains(options.audio))
        return fail(QStringLiteral("bad audio %1").arg(options.audio));
    if (!QStringList { "h264", "h265", "mjpeg", "vp8" }.contains(options.video))
        return fail(QStringLiteral("bad video %1").arg(options.video));
    if (!parseSize(parser.value(size), &options.width, &options.height))
        return fail(QStringLiteral("bad size %1 (even WxH)").arg(parser.value(size)));
    bool ok = false;
    options.fps = parser.value(fps).toInt(&ok);
    if (!ok || options.fps <= 0 || options.fps > 60)
        return fail(QStringLiteral("bad frame rate"));
    options.bitrateKbps = parser.value(bitrate).toInt(&ok);
    if (!ok || options.bitrateKbps <= 0)
        return fail(QStringLiteral("bad bit rate"));
    options.lossPercent = parser.value(loss).toDouble(&ok);
    if (!ok || options.lossPercent < 0 || options.lossPercent > 100)
        return fail(QStringLiteral("bad loss"));
    for (const QString &text : parser.values(lesson)) {
        const auto step = Qurel::ParseLesson(text);
        if (!step)
            return fail(QStringLiteral("bad lesson %1 (START,STOP,TITLE with STOP after START)").arg(text));
        options.lessons.append(*step);
    }

    int count = 0;
    if (parser.isSet(onlineCount) && !(count = parser.value(onlineCount).toInt(&ok), ok))
        return fail(QStringLiteral("bad online count"));
    int delayMs = 0;
    if (parser.isSet(delay) && (!(delayMs = parser.value(delay).toInt(&ok), ok) || delayMs < 0))
        return fail(QStringLiteral("bad delay"));
    if (parser.isSet(verbose))
        options.log = [](const QString &text) { print(QStringLiteral("sim: ") + text); };

    Qurel::RecorderSim sim(options);
    QString error;
    if (!sim.start(&error))
        return fail(error);
    sim.setRefuseLogins(parser.isSet(refuseLogins));
    sim.setRefuseKeySeconds(std::max(0, parser.value(refuseKey).toInt()));
    sim.setReplyDelayMs(delayMs);
    if (parser.isSet(onlineCount))
        sim.setRtspOnlineCount(count);
    print(QStringLiteral("qurel-recorder-sim: HTTP http://%1:%2/ control %1:%3 RTSP %4")
              .arg(sim.address())
              .arg(sim.httpPort())
              .arg(sim.controlPort())
              .arg(sim.streamAvailable()
                      ? QStringLiteral("rtsp://%1:%2/stream/0").arg(sim.address()).arg(sim.rtspPort())
                      : QStringLiteral("off")));

    QThread *reader = startCommandReader(sim);
    const int code = app.exec();
    sim.stop();
    // The reader may sit in a read of stdin; it ends with the process.
    reader->setParent(nullptr);
    std::_Exit(code);
}
