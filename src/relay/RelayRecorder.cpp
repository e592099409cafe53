#include "RelayRecorder.h"

#include "zelmicro.h"

namespace Qurel {

RelayRecorder::RelayRecorder(RelayConfig config, RelayTimeouts timeouts)
    : m_config(std::move(config))
    , m_timeouts(timeouts)
    , m_source(m_config.url, m_config.tcp, m_stop)
    , m_writer(m_config.outputPath())
{
}

RelayRecorder::~RelayRecorder()
{
    if (m_thread.joinable())
        finish();
}

bool RelayRecorder::connect()
{
    if (m_source.open(m_timeouts.connect) < 0)
        return false;
    m_thread = std::thread(&RelayRecorder::run, this);
    return true;
}

int RelayRecorder::finish()
{
    {
        std::lock_guard<std::mutex> lock(m_waitMutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    m_source.close();
    return m_writer.finish();
}

bool RelayRecorder::waitBeforeRetry(std::chrono::milliseconds pause)
{
    std::unique_lock<std::mutex> lock(m_waitMutex);
    return !m_wake.wait_for(lock, pause, [this] { return bool(m_stop); });
}

void RelayRecorder::run()
{
    PacketPtr packet = makePacket();
    bool fresh = true; // the source was (re)opened and the writer has not seen it yet
    std::chrono::milliseconds retryPause(250);
    while (!m_stop) {
        if (!m_source.isOpen()) {
            if (m_source.open(m_timeouts.reconnect) < 0) {
                if (!waitBeforeRetry(retryPause))
                    break;
                retryPause = std::min(retryPause * 2, std::chrono::milliseconds(2000));
                continue;
            }
            fresh = true;
            retryPause = std::chrono::milliseconds(250);
        }
        if (m_source.read(packet.get(), m_timeouts.silence) < 0) {
            m_source.close();
            continue;
        }
        if (!m_recording) {
            av_packet_unref(packet.get());
            continue;
        }
        if (fresh) {
            m_writer.beginSegment(m_source.context());
            fresh = false;
        }
        if (!m_writer.write(packet.get())) {
            // The disk refused the data: keep what was written and stop reading.
            break;
        }
    }
}

} // namespace Qurel
