#pragma once
// What the simulator's thread and its owner share: options, verdicts and the
// records of what arrived, all behind one mutex.

#include "PlatformSim.h"

#include <QMutex>
#include <QQueue>
#include <QTemporaryDir>

#include <memory>

namespace Qurel {

struct PlatformSim::State
{
    mutable QMutex mutex;
    PlatformSimOptions options;
    std::unique_ptr<QTemporaryDir> tempDir;
    QString storageDir;
    QQueue<UploadVerdict> verdicts;
    UploadVerdict defaultVerdict;
    QList<ReceivedUpload> uploads;
    QList<LoginVisit> logins;
    std::function<void(const ReceivedUpload &)> observer;
    int sequence = 0;

    UploadVerdict nextVerdict()
    {
        QMutexLocker lock(&mutex);
        return verdicts.isEmpty() ? defaultVerdict : verdicts.dequeue();
    }
    int nextSequence()
    {
        QMutexLocker lock(&mutex);
        return ++sequence;
    }
    void record(const ReceivedUpload &upload)
    {
        std::function<void(const ReceivedUpload &)> call;
        {
            QMutexLocker lock(&mutex);
            uploads.append(upload);
            call = observer;
        }
        if (call)
            call(upload);
    }
    void recordLogin(const LoginVisit &visit)
    {
        QMutexLocker lock(&mutex);
        logins.append(visit);
    }
    PlatformSimOptions snapshot() const
    {
        QMutexLocker lock(&mutex);
        return options;
    }
};

} // namespace Qurel
