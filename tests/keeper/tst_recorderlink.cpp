// The control connection against the simulated recorder on 127.0.0.33, with
// short intervals: greeting and heartbeats, notices however the network cuts
// them, drops, restarts and time-outs in both modes, and a connection that
// only succeeds after the time-out.
#include "RecorderLink.h"
#include "PointAtSim.h"
#include "RecorderSim.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qurel;
using State = RecorderLink::State;

namespace {

const QString kSimAddress = QStringLiteral("127.0.0.33");
const QString kLateAddress = QStringLiteral("127.0.0.34"); // FullListener below
const QString kDeadAddress = QStringLiteral("127.0.0.35"); // nothing listens there

RecorderLink::Options fastOptions()
{
    return { /*connectTimeoutMs*/ 300, /*heartbeatMs*/ 150, /*reconnectMs*/ 200, /*quietLineMs*/ 300 };
}

std::unique_ptr<RecorderSim> startSim()
{
    RecorderSimOptions options;
    options.address = QHostAddress(kSimAddress);
    options.stream = false;
    auto sim = std::make_unique<RecorderSim>(options);
    return sim->start() ? std::move(sim) : nullptr;
}

// A listening socket with a one-place accept queue that a filler takes: the
// kernel drops further SYNs, so a connect stays pending until the queue
// frees and the client sends its SYN again (about 1 s later).
struct FullListener
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    QTcpSocket filler;

    explicit FullListener(const QString &address)
    {
        sockaddr_in addr {};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(kControlPort);
        addr.sin_addr.s_addr = htonl(QHostAddress(address).toIPv4Address());
        // The last run's connections may still linger on the address.
        const int reuse = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
        if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 && ::listen(fd, 0) == 0) {
            filler.connectToHost(QHostAddress(address), kControlPort);
            filler.waitForConnected(3000);
        }
    }
    ~FullListener() { ::close(fd); }
    int acceptOne() const { return ::accept(fd, nullptr, nullptr); } // -1 when none waits
};

} // namespace

class TestRecorderLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<RecorderLink::State>(); }

    void noticesAreActedOnOnce_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks"); // an empty chunk: the recorder closes
        QTest::addColumn<int>("gapMs"); // between chunks; a line's end is awaited 300 ms
        QTest::addColumn<QStringList>("expected");
        using Chunks = QList<QByteArray>;
        QTest::newRow("one line") << Chunks { "mark=start_record,Title=E8AFBE\r\n" } << 0
                                  << QStringList { "start:课" };
        QTest::newRow("split, end soon")
            << Chunks { "mark=start_record,Title=E8AF", "BE\r\n" } << 50 << QStringList { "start:课" };
        QTest::newRow("one read each") << Chunks { "mark=start_record,Title=41\r\n", "mark=stop_record\r\n" }
                                       << 100 << QStringList { "start:A", "stop" };
        QTest::newRow("no line end") << Chunks { "mark=stop_record" } << 0 << QStringList { "stop" };
        QTest::newRow("line end late")
            << Chunks { "mark=stop_record", "\r\n" } << 700 << QStringList { "stop" };
        QTest::newRow("rest late") << Chunks { "mark=start_record,Title=41", "42\r\n" } << 700
                                   << QStringList { "start:A" };
        QTest::newRow("closed after it") << Chunks { "mark=stop_record", "" } << 50 << QStringList { "stop" };
    }

    void noticesAreActedOnOnce()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(int, gapMs);
        QFETCH(QStringList, expected);
        auto sim = startSim();
        QVERIFY(sim);
        RecorderLink link(fastOptions());
        QStringList seen;
        connect(
            &link, &RecorderLink::startRequested, this, [&seen](const QString &t) { seen << "start:" + t; });
        connect(&link, &RecorderLink::stopRequested, this, [&seen] { seen << "stop"; });
        link.connectTo(kSimAddress);
        QTRY_VERIFY(link.state() == State::Connected && sim->controlClientCount() == 1);
        for (const QByteArray &chunk : chunks) {
            chunk.isEmpty() ? sim->closeControlConnections() : sim->sendControl(chunk);
            QTest::qWait(gapMs);
        }
        QTest::qWait(500);
        QCOMPARE(seen, expected);
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
        QVERIFY(sim);
        RecorderLink link(fastOptions());
        link.setAutoReconnect(automatic);
        QSignalSpy texts(&link, &RecorderLink::statusText);
        link.connectTo(kSimAddress);
        QTRY_VERIFY(QurelTest::ControlLinesOf(*sim, 1).size() >= 3);
        QCOMPARE(texts.at(0), (QVariantList { QString("正在连接录播机中，请稍等"), true }));
        QCOMPARE(texts.at(1), (QVariantList { QString("已成功连接到录播机"), true }));
        QCOMPARE(QurelTest::ControlLinesOf(*sim, 1).mid(0, 3),
            (QList<QByteArray> { "mark=start_server", "mark=live", "mark=live" }));
        const QList<ControlLine> lines = sim->controlLines();
        QVERIFY(lines[2].atMs - lines[1].atMs >= 100);

        closeLink ? link.close() : sim->closeControlConnections();
        if (!closeLink)
            QTRY_COMPARE(texts.last(), (QVariantList { QString("已与录播机断开连接"), false }));
        if (!automatic || closeLink) {
            QTest::qWait(800);
            QVERIFY(QurelTest::ControlLinesOf(*sim, 2).isEmpty());
            QCOMPARE(link.state(), closeLink ? State::Closed : State::Disconnected);
            return;
        }
        QTRY_VERIFY(!QurelTest::ControlLinesOf(*sim, 2).isEmpty());
        QCOMPARE(QurelTest::ControlLinesOf(*sim, 2).first(), QByteArray("mark=start_server"));

        // The recorder restarts: attempts time out until it listens again.
        QSignalSpy states(&link, &RecorderLink::stateChanged);
        sim.reset();
        QTRY_VERIFY(states.contains({ QVariant::fromValue(State::TimedOut) }));
        sim = startSim();
        QVERIFY(sim);
        QTRY_VERIFY_WITH_TIMEOUT(!QurelTest::ControlLinesOf(*sim, 1).isEmpty(), 5000);
        QCOMPARE(QurelTest::ControlLinesOf(*sim, 1).first(), QByteArray("mark=start_server"));
        QCOMPARE(RecorderLink::StateName(link.state()), "connected");
    }

    void aTimeOutInTheManualModeIsNotTriedAgain()
    {
        RecorderLink link(fastOptions());
        QSignalSpy texts(&link, &RecorderLink::statusText);
        QSignalSpy states(&link, &RecorderLink::stateChanged);
        link.connectTo(kDeadAddress);
        QCOMPARE(RecorderLink::StateName(link.state()), "connecting");
        QTRY_COMPARE(link.state(), State::TimedOut);
        QCOMPARE(texts.last(),
            (QVariantList { QString("连接录播机超时，请确认录播机是否有开机以及网络正常"), false }));
        QTest::qWait(700);
        QCOMPARE(states.count(), 2);
    }

    void aLateConnectionIsKept()
    {
        FullListener listener(kLateAddress);
        QVERIFY2(
            listener.filler.state() == QAbstractSocket::ConnectedState, "cannot fill a listening queue here");
        RecorderLink::Options options = fastOptions();
        options.reconnectMs = 1500;
        RecorderLink link(options);
        link.setAutoReconnect(true);
        link.connectTo(kLateAddress);
        QTRY_COMPARE(RecorderLink::StateName(link.state()), "timed-out");
        ::close(listener.acceptOne()); // frees the queue before the planned reconnect
        QTRY_COMPARE_WITH_TIMEOUT(link.state(), State::Connected, 4000);
        QSignalSpy states(&link, &RecorderLink::stateChanged);
        QTest::qWait(1800); // past the reconnect the time-out planned
        QCOMPARE(states.count(), 0);
        const int client = listener.acceptOne();
        QCOMPARE(listener.acceptOne(), -1); // no second connection either
        char greeting[20] = {};
        QCOMPARE(qint64(::read(client, greeting, sizeof greeting - 1)), qint64(19));
        QCOMPARE(QByteArray(greeting), QByteArray("mark=start_server\r\n"));
        ::close(client);
    }
};

QTEST_GUILESS_MAIN(TestRecorderLink)
#include "tst_recorderlink.moc"
