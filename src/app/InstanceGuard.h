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
    // runtime folder.
    explicit InstanceGuard(const QString &name, const QString &folder = QString());
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard &) = delete;
    InstanceGuard &operator=(const InstanceGuard &) = delete;

    // False only when another live process holds the guard. When the lock cannot be made at all
    // (no runtime folder, no rights) the client still starts: true, but isHeld() stays false.
    bool tryAcquire();
    bool isHeld() const;
    QString lockFileName() const;

private:
    std::unique_ptr<QLockFile> m_lock;
    QString m_fileName;
};

} // namespace Qurel
