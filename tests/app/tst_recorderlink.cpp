// The control connection against the simulated recorder on 127.0.0.33, with
// short intervals: greeting and heartbeats, notices however the network cuts
// them, drops and restarts in both modes, time-outs, and a connection that
// only succeeds after the time-out.
#include "RecorderLink.h"
#include "RecorderSim.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qurel;
using State = RecorderLink::State;

namespace {

const QString kSimAddress = QStringLiteral("127.0.0.33");
const QString kLateAddress = QStringLiteral("127.0.0.34"); // the backlog trick below
const QString kDeadAddress = QStringLiteral("127.0.0.35"); // nothing listens there

RecorderLink::Options fastOptions()
{
    RecorderLink::Options options;
    options.connectTimeoutMs = 300;
    options.heartbeatMs = 150;
    options.reconnectMs = 200;
    options.quietLineMs = 300;
    return options;
}

std::unique_ptr<RecorderSim> startSim()
{
    RecorderSimOptions options;
    options.address = QHostAddress(kSimAddress);
    options.stream = false;
    auto sim = std::make_unique<RecorderSim>(options);
    QString error;
    if (!sim->start(&error))
        qWarning() << "simulated recorder:" << error;
    return sim;
}

QList<QByteArray> linesOf(const RecorderSim &sim, int client)
{
    QList<QByteArray> lines;
    for (const ControlLine &line : sim.controlLines())
        if (line.client == client)
            lines << line.line;
    return lines;
}

// What the link asked for, in order: "start:TITLE" and "stop".
struct Requests
{
    QStringList seen;
    explicit Requests(RecorderLink &link)
    {
        QObject::connect(
            &link, &RecorderLink::startRequested, [this](const QString &t) { seen << "start:" + t; });
        QObject::connect(&link, &RecorderLink::stopRequested, [this] { seen << "stop"; });
    }
};

// A listening socket whose accept queue (one place) is taken by a filler:
// the kernel drops further SYNs, so a client's connect stays pending until
// the queue frees and the client's SYN is sent again (about 1 s later).
struct FullListener
{
    int fd = -1;
    QTcpSocket filler;

    explicit FullListener(const QString &address, quint16 port)
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in addr {};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(QHostAddress(address).toIPv4Address());
        if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || ::listen(fd, 0) != 0) {
            ::close(fd);
            fd = -1;
            return;
        }
        filler.connectToHost(QHostAddress(address), port);
        filler.waitForConnected(3000);
    }
    ~FullListener()
    {
        if (fd >= 0)
            ::close(fd);
    }
    // Takes the oldest queued connection off the queue; its descriptor, or -1.
    int acceptOne() const { return ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK); }
};

} // namespace

class TestRecorderLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<RecorderLink::State>(); }

    void greetsThenKeepsAlive()
    {
        auto sim = startSim();
        RecorderLink link(fastOptions());
        QSignalSpy texts(&link, &RecorderLink::statusText);
        link.connectTo(kSimAddress);
        QCOMPARE(link.address(), kSimAddress);
        QTRY_COMPARE(link.state(), State::Connected);
        QCOMPARE(texts.at(0), (QVariantList { QString("正在连接录播机中，请稍等"), true }));
        QCOMPARE(texts.last(), (QVariantList { QString("已成功连接到录播机"), true }));

        QTRY_VERIFY(linesOf(*sim, 1).size() >= 4);
        const QList<QByteArray> lines = linesOf(*sim, 1);
        QCOMPARE(lines.first(), QByteArray("mark=start_server"));
        for (int i = 1; i < lines.size(); ++i)
            QCOMPARE(lines[i], QByteArray("mark=live"));
        const QList<ControlLine> all = sim->controlLines();
        QVERIFY(all[2].atMs - all[1].atMs >= 100);
    }

    void noticesAreActedOnOnce_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<int>("gapMs"); // between chunks; the link waits 300 ms for a line's end
        QTest::addColumn<QStringList>("expected");
        using Chunks = QList<QByteArray>;
        QTest::newRow("one line") << Chunks { "mark=start_record,Title=E8AFBE\r\n" } << 0
                                  << QStringList { "start:课" };
        QTest::newRow("title on its own line")
            << Chunks { "mark=start_record\r\nTitle=E8AFBE\r\n" } << 0 << QStringList { "start:课" };
        QTest::newRow("split, end soon")
            << Chunks { "mark=start_record,Title=E8AF", "BE\r\n" } << 50 << QStringList { "start:课" };
        QTest::newRow("each notice as it comes") << Chunks { "mark=start_record,Title=41\r\n",
            "mark=stop_record\r\n" } << 100 << QStringList { "start:A", "stop" };
        QTest::newRow("keys ignore case") << Chunks { "MARK=stop_record\r\n" } << 0 << QStringList { "stop" };
        QTest::newRow("values do not") << Chunks { "mark=STOP_RECORD\r\n" } << 0 << QStringList {};
        QTest::newRow("first mark counts")
            << Chunks { "mark=live\r\nmark=stop_record\r\n" } << 0 << QStringList {};
        QTest::newRow("no line end") << Chunks { "mark=stop_record" } << 0 << QStringList { "stop" };
        QTest::newRow("line end comes late")
            << Chunks { "mark=stop_record", "\r\n" } << 700 << QStringList { "stop" };
        QTest::newRow("rest comes late")
            << Chunks { "mark=start_record,Title=41", "42\r\n" } << 700 << QStringList { "start:A" };
        QTest::newRow("closed after the line")
            << Chunks { "mark=stop_record", "" } << 50 << QStringList { "stop" };
    }

    void noticesAreActedOnOnce()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(int, gapMs);
        QFETCH(QStringList, expected);
        auto sim = startSim();
        RecorderLink link(fastOptions());
        Requests requests(link);
        link.connectTo(kSimAddress);
        QTRY_VERIFY(link.state() == State::Connected && sim->controlClientCount() == 1);
        for (int i = 0; i < chunks.size(); ++i) {
            if (i > 0)
                QTest::qWait(gapMs);
            if (chunks[i].isEmpty())
                sim->closeControlConnections();
            else
                sim->sendControl(chunks[i]);
        }
        QTest::qWait(500);
        QCOMPARE(requests.seen, expected);
    }

    void dropsAreFollowedInTheAutomaticModeOnly_data()
    {
        QTest::addColumn<bool>("automatic");
        QTest::addColumn<bool>("closeLink"); // the client closes instead of the recorder
        QTest::newRow("automatic") << true << false;
        QTest::newRow("manual") << false << false;
        QTest::newRow("closed by the client") << true << true;
    }

    void dropsAreFollowedInTheAutomaticModeOnly()
    {
        QFETCH(bool, automatic);
        QFETCH(bool, closeLink);
        auto sim = startSim();
        RecorderLink link(fastOptions());
        link.setAutoReconnect(automatic);
        link.connectTo(kSimAddress);
        QTRY_VERIFY(link.state() == State::Connected && sim->controlClientCount() == 1);
        QSignalSpy texts(&link, &RecorderLink::statusText);
        if (closeLink) {
            link.close();
            QCOMPARE(link.state(), State::Closed);
        } else {
            sim->closeControlConnections();
            QTRY_COMPARE(texts.value(0), (QVariantList { QString("已与录播机断开连接"), false }));
        }
        if (!automatic || closeLink) {
            QTest::qWait(800);
            QVERIFY(linesOf(*sim, 2).isEmpty());
            QCOMPARE(link.state(), closeLink ? State::Closed : State::Disconnected);
            return;
        }
        QTRY_VERIFY(!linesOf(*sim, 2).isEmpty());
        QCOMPARE(linesOf(*sim, 2).first(), QByteArray("mark=start_server"));
        QCOMPARE(link.state(), State::Connected);

        // The recorder restarts: attempts time out until it listens again.
        QSignalSpy states(&link, &RecorderLink::stateChanged);
        sim.reset();
        QTRY_VERIFY(states.contains({ QVariant::fromValue(State::TimedOut) }));
        sim = startSim();
        QTRY_VERIFY_WITH_TIMEOUT(!linesOf(*sim, 1).isEmpty(), 5000);
        QCOMPARE(linesOf(*sim, 1).first(), QByteArray("mark=start_server"));
        QTRY_COMPARE(link.state(), State::Connected);
    }

    void timeOutsAreTriedAgainInTheAutomaticModeOnly_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("automatic");
        QTest::newRow("refused, automatic") << kDeadAddress << true;
        QTest::newRow("refused, manual") << kDeadAddress << false;
        QTest::newRow("not a numeric address") << QString("recorder.local") << true;
    }

    void timeOutsAreTriedAgainInTheAutomaticModeOnly()
    {
        QFETCH(QString, address);
        QFETCH(bool, automatic);
        RecorderLink link(fastOptions());
        link.setAutoReconnect(automatic);
        QSignalSpy texts(&link, &RecorderLink::statusText);
        QSignalSpy states(&link, &RecorderLink::stateChanged);
        link.connectTo(address);
        QCOMPARE(link.state(), State::Connecting);
        QTRY_COMPARE(link.state(), State::TimedOut);
        QCOMPARE(texts.last(),
            (QVariantList { QString("连接录播机超时，请确认录播机是否有开机以及网络正常"), false }));
        QTest::qWait(700);
        const int attempts = int(std::count(
            states.begin(), states.end(), QVariantList { QVariant::fromValue(State::Connecting) }));
        QCOMPARE(attempts > 1, automatic);
    }

    void aLateConnectionIsKept()
    {
        FullListener listener(kLateAddress, kControlPort);
        QVERIFY2(listener.fd >= 0 && listener.filler.state() == QAbstractSocket::ConnectedState,
            "cannot fill a listening queue here");
        RecorderLink::Options options = fastOptions();
        options.reconnectMs = 1500;
        RecorderLink link(options);
        link.setAutoReconnect(true);
        QSignalSpy states(&link, &RecorderLink::stateChanged);
        link.connectTo(kLateAddress);
        QTRY_COMPARE(link.state(), State::TimedOut);
        // Free the queue: the link's next SYN gets through, before the planned reconnect.
        const int filler = listener.acceptOne();
        QVERIFY(filler >= 0);
        ::close(filler);
        QTRY_COMPARE_WITH_TIMEOUT(link.state(), State::Connected, 4000);
        const int client = listener.acceptOne();
        QVERIFY(client >= 0);
        QTest::qWait(1800); // past the reconnect the time-out planned
        QCOMPARE(link.state(), State::Connected);
        QCOMPARE(states.last().first().value<State>(), State::Connected);
        QCOMPARE(listener.acceptOne(), -1); // no second connection either
        char greeting[64] = {};
        QCOMPARE(::read(client, greeting, sizeof greeting - 1) > 0, true);
        QVERIFY(QByteArray(greeting).startsWith("mark=start_server\r\nmark=live\r\n"));
        ::close(client);
    }

    void stateNames()
    {
        const QStringList names { "closed", "connecting", "timed-out", "connected", "disconnected" };
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(QString(RecorderLink::StateName(State(i))), names[i]);
    }
};

QTEST_GUILESS_MAIN(TestRecorderLink)
#include "tst_recorderlink.moc"
