#pragma once
// FileCopier: copies a few files as one job, with progress and cancel. Each
// copy is written under a temporary name beside its target and only renamed
// to the target when every copy of the job is complete, so an interrupted or
// failed copy never leaves a partial file under a target's name.

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace Qurel {

struct CopyPair
{
    QString source;
    QString target;
};

// True when both paths name the same file (links and "." / ".." resolved),
// whether or not the second one exists yet.
bool IsSameFile(const QString &a, const QString &b);

struct CopyResult
{
    bool cancelled = false;
    QStringList failedTargets; // targets left as they were because their copy failed
    QString error; // the system's reason for the first failure

    bool ok() const { return !cancelled && failedTargets.isEmpty(); }
};

class FileCopier final
{
public:
    // Called as bytes are copied; returning false cancels the whole job.
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    // Bytes read and written per step; also the granularity of progress reports.
    static constexpr qint64 kChunkSize = 1 << 20;

    // Overwrites existing targets. A copy that fails is left out and reported;
    // the others still go through. Cancelling discards every copy of the job.
    CopyResult Run(const QList<CopyPair> &pairs, const Progress &progress = {}) const;
};

} // namespace Qurel
