#pragma once
// TfrmPPTEdit: the small always-on-top tool window that floats over the office
// while the user edits the head/tail template, with "保存" (export and upload),
// "取消" and "模板" (the office's slide design dialog).

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

class QPushButton;
class QTimer;

namespace Qurel {
class Presentation;
class PresentationError;
class PresentationHost;
} // namespace Qurel

class TfrmPPTEdit : public QWidget
{
    Q_OBJECT

public:
    explicit TfrmPPTEdit(QWidget *owner = nullptr);
    ~TfrmPPTEdit() override;

    // Opens the template in the office, in a window, and places the editor
    // near the bottom-right of it. Throws Qurel::PresentationError.
    void LoadPPTFile(const QString &TemplateFile);
    // After LoadPPTFile failed: lets go of the office (it keeps running) and
    // closes the editor, which brings the main window back.
    void CloseAfterFailedLoad();

    void FormCreate();
    void FormShow();
    void FormClose();
    void btnSubmitClick();
    void btnCancelClick();
    void btnTemplateClick();
    void tmrShowtopTimer();
    void pptAppPresentationClose();

    std::unique_ptr<Qurel::PresentationHost> pptApp;
    QPushButton *btnSubmit = nullptr;
    QPushButton *btnCancel = nullptr;
    QPushButton *btnTemplate = nullptr;
    QTimer *tmrShowtop = nullptr;

    std::shared_ptr<Qurel::Presentation> pptPresentation;
    double pptVersion = 0;
    QString FPPTFile;
    QString ATitle;
    QString ATeacher;
    // Why the editor closed: 1 when the office closed a presentation, else 0.
    int Tag = 0;

signals:
    // Message 0x40B to the main window; wParam 0 asks it to show itself again.
    void ShowMainWindow(qint64 wParam);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void SetSubmitButtonsVisible(bool visible);
    void SetBusy(bool busy);
    // Logs the office's own words and tells the user; a lost office takes
    // the template with it.
    void OfficeFailed(const Qurel::PresentationError &error);
    // "保存" steps 2 and 3: check, save the template, let go of the office;
    // false when the editor stays open.
    bool SaveTemplate();
    // "保存" steps 4 to 7: export, upload and activate; false when the office
    // failed (the editor then stays open).
    bool ExportAndActivate();

    bool FClosed = false;
    // True while "保存" runs: no other office operation may start.
    bool FBusy = false;
    bool FTemplateSaved = false;
    // The office went away before the template was saved: the edits are gone.
    bool FOfficeLost = false;
};

// The editor while it is open; cleared when it closes.
extern QPointer<TfrmPPTEdit> frmPPTEdit;
