#pragma once
// The simulator's HTTP/1.1 server on QTcpServer. Upload bodies are parsed
// while they stream in and written straight to disk; nothing holds a whole
// body in memory.

#include "HttpHead.h"
#include "Multipart.h"
#include "PlatformState.h"

#include <QFile>
#include <QObject>
#include <QTcpServer>

#include <memory>
#include <vector>

class QTcpSocket;

namespace Qurel {

class PlatformConnection final : public QObject
{
    Q_OBJECT
public:
    PlatformConnection(QTcpSocket *socket, std::shared_ptr<PlatformSim::State> state, QObject *parent);

private:
    enum class Mode { Head, FormBody, UploadBody, Answering, Closed };

    void onReadyRead();
    void onDisconnected();
    bool processHead();
    void processFormBody();
    void beginUpload();
    void feedUpload(const char *data, qsizetype size);
    void finishUpload();
    void answerUpload();
    void abortUpload();
    void respond(int status, const QByteArray &contentType, const QByteArray &body,
        const QByteArray &extraHeaders = {});
    void close();

    QTcpSocket *m_socket;
    std::shared_ptr<PlatformSim::State> m_state;
    Mode m_mode = Mode::Head;
    QByteArray m_buffer;
    Sim::HttpRequestHead m_head;
    qint64 m_remaining = 0;
    std::vector<char> m_chunk;

    // The upload in progress.
    std::unique_ptr<Sim::MultipartReceiver> m_receiver;
    QFile m_file;
    ReceivedUpload m_upload;
    UploadVerdict m_verdict;
    bool m_filePartSeen = false;
    bool m_inFilePart = false;
    bool m_recorded = false;
};

class PlatformServer final : public QTcpServer
{
    Q_OBJECT
public:
    explicit PlatformServer(std::shared_ptr<PlatformSim::State> state);

private:
    void onNewConnection();
    std::shared_ptr<PlatformSim::State> m_state;
};

} // namespace Qurel
