#include "InstanceGuard.h"

#include "RuntimeFolder.h"

#include <QLockFile>

namespace Qurel {

InstanceGuard::InstanceGuard(const QString &name, const QString &folder)
{
    QString where = folder;
    if (where.isEmpty()) {
        where = RuntimeFolder(&m_error);
        if (where.isEmpty())
            return;
    }
    m_fileName = where + QLatin1Char('/') + name + QStringLiteral(".lock");
    m_lock = std::make_unique<QLockFile>(m_fileName);
    // Never stale by age: the lock is held for the whole run. A lock left by a process that no
    // longer runs is recognised by its process id and taken over.
    m_lock->setStaleLockTime(0);
}

InstanceGuard::~InstanceGuard() = default;

bool InstanceGuard::tryAcquire()
{
    if (!m_lock)
        return false;
    if (m_lock->isLocked() || m_lock->tryLock(0)) {
        m_error.clear();
        return true;
    }
    switch (m_lock->error()) {
    case QLockFile::LockFailedError:
        m_error.clear();
        break;
    case QLockFile::PermissionError:
        m_error = QStringLiteral("no permission to create %1").arg(m_fileName);
        break;
    default:
        m_error = QStringLiteral("cannot create %1").arg(m_fileName);
        break;
    }
    return false;
}

bool InstanceGuard::isHeld() const
{
    return m_lock && m_lock->isLocked();
}

bool InstanceGuard::failed() const
{
    return !m_error.isEmpty();
}

QString InstanceGuard::errorString() const
{
    return m_error;
}

QString InstanceGuard::lockFileName() const
{
    return m_fileName;
}

} // namespace Qurel
