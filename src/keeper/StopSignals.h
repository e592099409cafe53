#pragma once
// SIGTERM and SIGINT as a Qt signal on the thread that made this object: the handler only writes
// the signal's number into a pipe, which the event loop reads.

#include <QObject>

class QSocketNotifier;

namespace Qurel {

class StopSignals final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StopSignals)

public:
    // Installs the handlers; one object at a time.
    explicit StopSignals(QObject *parent = nullptr);
    // Gives the two signals their default action back.
    ~StopSignals() override;

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace Qurel
