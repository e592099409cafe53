#pragma once
// The single-instance guard "Qurel": a per-user lock that the system drops when its process ends,
// so a crashed client never blocks the next start.

#include <QString>

#include <memory>

class QLockFile;

namespace Qurel {

class InstanceGuard final
{
public:
    // `name` is the guard's name ("Qurel"); the lock lives in `folder`, by default the per-user
    // runtime folder (RuntimeFolder()).
    explicit InstanceGuard(const QString &name, const QString &folder = QString());
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard &) = delete;
    InstanceGuard &operator=(const InstanceGuard &) = delete;

    // True when this guard holds the lock. False when another live process holds it, or when the
    // lock cannot be made at all (failed() then tells, errorString() says why): a client that
    // cannot tell whether another copy runs must not start a second one.
    bool tryAcquire();
    bool isHeld() const;
    bool failed() const;
    QString errorString() const;
    QString lockFileName() const;

private:
    std::unique_ptr<QLockFile> m_lock;
    QString m_fileName;
    QString m_error;
};

} // namespace Qurel
