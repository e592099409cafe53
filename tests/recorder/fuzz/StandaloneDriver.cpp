// Runs the reply fuzz target without libFuzzer: the seed files first, then
// mutations of them (bit flips, cut and repeated pieces, the recorder's own
// tokens) for a bounded time. A failed check aborts the process.
//   fuzz_recorder_replies [--seconds N] [--seed S] [FILE|DIR]...

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

const QList<QByteArray> kTokens = { "=", "|", "\r\n", "\r", "\n", QByteArray(1, '\0'), "-1", "0", "1", "2",
    "554", "65536", "ErrorCode", "errorcode", "RtpMode", "RtspPort", "RtspOnlineCount", "RECActive", "E8AFBE",
    "ZZ", "99999999999", "\xe8\xaf", "\xff", " " };

void run(const QByteArray &input)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()));
}

QByteArray mutate(QByteArray input, QRandomGenerator &rng, const QList<QByteArray> &corpus)
{
    const int steps = 1 + int(rng.bounded(8));
    for (int i = 0; i < steps; ++i) {
        const qsizetype pos = input.isEmpty() ? 0 : qsizetype(rng.bounded(quint32(input.size() + 1)));
        switch (rng.bounded(7)) {
        case 0: // flip a bit
            if (!input.isEmpty() && pos < input.size())
                input[pos] = char(input.at(pos) ^ (1 << rng.bounded(8)));
            break;
        case 1: // insert a token
            input.insert(pos, kTokens.at(rng.bounded(kTokens.size())));
            break;
        case 2: // cut a piece
            input.remove(pos, qsizetype(rng.bounded(16)));
            break;
        case 3: // random byte
            input.insert(pos, char(rng.bounded(256)));
            break;
        case 4: // repeat a piece
            input.insert(pos, input.mid(pos, qsizetype(rng.bounded(32))).repeated(1 + int(rng.bounded(50))));
            break;
        case 5: // splice another seed
            if (!corpus.isEmpty())
                input.insert(pos, corpus.at(rng.bounded(corpus.size())));
            break;
        default: // truncate
            input.truncate(pos);
            break;
        }
        if (input.size() > 1 << 20)
            input.truncate(1 << 20);
    }
    return input;
}

} // namespace

int main(int argc, char *argv[])
{
    double seconds = 3;
    quint32 seed = quint32(QDateTime::currentMSecsSinceEpoch());
    QList<QByteArray> corpus;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--seconds") && i + 1 < argc) {
            seconds = QString::fromLocal8Bit(argv[++i]).toDouble();
        } else if (arg == QLatin1String("--seed") && i + 1 < argc) {
            seed = QString::fromLocal8Bit(argv[++i]).toUInt();
        } else {
            QStringList files { arg };
            if (QFileInfo(arg).isDir()) {
                files.clear();
                for (const QString &name : QDir(arg).entryList(QDir::Files))
                    files.append(QDir(arg).filePath(name));
            }
            for (const QString &file : files) {
                QFile f(file);
                if (f.open(QIODevice::ReadOnly))
                    corpus.append(f.readAll());
            }
        }
    }
    if (corpus.isEmpty())
        corpus.append("ErrorCode=0\r\nRtpMode=1\r\n");

    QRandomGenerator rng(seed);
    qint64 runs = 0;
    for (const QByteArray &input : std::as_const(corpus)) {
        run(input);
        ++runs;
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < qint64(seconds * 1000)) {
        run(mutate(corpus.at(rng.bounded(corpus.size())), rng, corpus));
        ++runs;
    }
    std::printf("fuzz_recorder_replies: %lld inputs in %.1f s (seed %u, %lld seeds), no check failed\n",
        static_cast<long long>(runs), clock.elapsed() / 1000.0, seed, static_cast<long long>(corpus.size()));
    return 0;
}
