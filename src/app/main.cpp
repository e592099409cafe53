// Program entry of the client: settings, single instance, the three windows, the message loop.
#include "ClientFont.h"
#include "Configs.h"
#include "DesktopPlatform.h"
#include "ExternalMessages.h"
#include "FullPlayForm.h"
#include "InstanceGuard.h"
#include "MainForm.h"
#include "MessageChannel.h"
#include "SingleInstance.h"
#include "StopSignals.h"
#include "UploadForm.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    Qurel::PrepareDesktopPlatform();
    // The upload window's web engine shares OpenGL contexts; this must precede the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    // Standard error carries the lesson log too: time, category, text.
    qSetMessagePattern(QStringLiteral("%{time yyyy-MM-dd hh:mm:ss.zzz} %{if-category}%{category}: %{endif}%{message}"));
    app.setFont(Qurel::ClientFont(14));
    SDKConfig.Load();

    Qurel::InstanceGuard guard(QStringLiteral("Qurel"));
    if (!Qurel::ClaimSingleInstance(guard))
        return 0;

    TfrmMain mainForm;
    frmMain = &mainForm;
    if (!mainForm.RelayReady())
        return 1;

    // ---- The upload window (TfrmUpload, src/upload/) is created here, hidden, for the whole run.
    TfrmUpload uploadForm(&mainForm);
    frmUpload = &uploadForm;
    // ---- end upload window

    TfrmFullPlay fullPlay;
    frmFullPlay = &fullPlay;

    // Messages from outside (qurelctl, the platform's tools) arrive on this thread.
    Qurel::MessageChannel channel;
    QObject::connect(
        &channel, &Qurel::MessageChannel::messageReceived, &mainForm, &TfrmMain::DispatchExternalMessage);
    channel.setStatusProvider([&mainForm] { return Qurel::FormatStatusLine(mainForm.Status()); });
    if (!channel.listen(Qurel::MessageChannelName()))
        qWarning("qurel: message channel %s: %s", qPrintable(Qurel::MessageChannelName()),
            qPrintable(channel.errorString()));

    // SIGTERM or SIGINT ends the client as its close question's Yes would: the lesson the window's
    // keeper copies is finished and that keeper ends with the window.
    Qurel::StopSignals stopSignals;
    QObject::connect(&stopSignals, &Qurel::StopSignals::received, &app, [] { QCoreApplication::exit(0); });

    mainForm.show();
    const int result = app.exec();
    frmFullPlay = nullptr;
    return result;
}
