#include "InstanceGuard.h"

#include "RuntimeFolder.h"

#include <QLockFile>

namespace Qurel {

InstanceGuard::InstanceGuard(const QString &name, const QString &folder)
    : m_fileName(
        (folder.isEmpty() ? RuntimeFolder() : folder) + QLatin1Char('/') + name + QStringLiteral(".lock"))
{
    m_lock = std::make_unique<QLockFile>(m_fileName);
    // Never stale by age: the lock is held for the whole run. A lock left by a process that no
    // longer runs is recognised by its process id and taken over.
    m_lock->setStaleLockTime(0);
}

InstanceGuard::~InstanceGuard() = default;

bool InstanceGuard::tryAcquire()
{
    if (m_lock->isLocked() || m_lock->tryLock(0))
        return true;
    return m_lock->error() != QLockFile::LockFailedError;
}

bool InstanceGuard::isHeld() const
{
    return m_lock->isLocked();
}

QString InstanceGuard::lockFileName() const
{
    return m_fileName;
}

} // namespace Qurel
