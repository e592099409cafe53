// A small ext4 file system on a loop device that a test or benchmark freezes (fsfreeze) to
// stall the disk under a recording; thawed and unmounted at the end whatever happened. Needs root.
#pragma once

#include <QDir>
#include <QProcess>
#include <QString>

namespace Qurel::Test {

class FreezableDisk final
{
public:
    FreezableDisk() = default;
    FreezableDisk(const FreezableDisk &) = delete;
    FreezableDisk &operator=(const FreezableDisk &) = delete;
    ~FreezableDisk()
    {
        thaw();
        if (m_mounted)
            run("umount", { m_mountPoint });
    }

    // Makes and mounts the file system inside work; false without root or loop devices.
    bool mount(const QString &work)
    {
        m_image = work + "/disk.img";
        m_mountPoint = work + "/disk";
        m_mounted = QDir().mkpath(m_mountPoint) && run("truncate", { "-s", "48M", m_image })
            && run("mkfs.ext4", { "-q", "-F", m_image }) && run("mount", { "-o", "loop", m_image, m_mountPoint });
        return m_mounted;
    }
    bool freeze() { return m_frozen = run("fsfreeze", { "-f", m_mountPoint }); }
    void thaw()
    {
        if (m_frozen)
            run("fsfreeze", { "-u", m_mountPoint });
        m_frozen = false;
    }
    QString folder() const { return m_mountPoint + "/"; }

private:
    static bool run(const QString &program, const QStringList &args)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(program, args);
        return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    QString m_image, m_mountPoint;
    bool m_mounted = false;
    bool m_frozen = false;
};

} // namespace Qurel::Test
