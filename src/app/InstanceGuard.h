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
    // `name` is the guard's name ("Qurel"); the lock lives in the per-user runtime folder.
    explicit InstanceGuard(const QString &name);
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard &) = delete;
    InstanceGuard &operator=(const InstanceGuard &) = delete;

    // True when this object now holds the guard; false when another live process holds it.
    bool tryAcquire();
    bool isHeld() const;
    QString lockFileName() const;

private:
    std::unique_ptr<QLockFile> m_lock;
    QString m_fileName;
};

} // namespace Qurel
