#pragma once
// TfrmUpload, "视频上传": the resource platform's login page in an embedded
// browser; when the page ends on an address with "finish=1" it posts each
// recording's video and thumbnail to the platform.

#include "RecordingsStore.h"

#include <QDialog>
#include <QString>

class QWebEngineView;
class QVBoxLayout;

namespace Qurel {
class UploadProgressPanel;
}

class TfrmUpload final : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmUpload(QWidget *owner = nullptr);
    ~TfrmUpload() override;

    // The recordings to upload (FGuid, FVideoName, FPicName), filled by the
    // main window before each showing.
    TFileInfoList FileLst;
    // Messages of the refused uploads since the window was last shown,
    // joined by ";" CR LF.
    QString ErrorString;

    // The browser; null until the window is shown for the first time.
    QWebEngineView *browser() const { return wbMain; }
    bool passRunning() const { return FPassRunning; }
    // The progress strip's text during a pass.
    QString progressText() const;

    // The close button and Escape; ignored while a pass runs.
    void reject() override;

signals:
    // An upload pass has ended (ErrorString holds its outcome).
    void passFinished();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createBrowser();
    void FormShow();
    bool ApplicationEvents1Message(QObject *target, QEvent *event) const;
    void wbMainNavigateComplete2(bool ok);
    void runUploadPass();
    bool UploadFile(const QString &url, const QString &fileName, QString &message);

    QVBoxLayout *FLayout = nullptr;
    QWebEngineView *wbMain = nullptr;
    Qurel::UploadProgressPanel *pnlProgress = nullptr;
    bool FBusy = false;
    bool FPassRunning = false;
    int FFileNumber = 0;
    int FFileCount = 0;
};

// The upload window, created at start-up and kept for the whole run.
extern TfrmUpload *frmUpload;
