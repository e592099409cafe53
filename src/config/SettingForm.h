#pragma once
// TfrmSetting: the settings dialog. Shows the configuration, checks the input
// and closes with OK; the opener stores the fields (see ApplySettingFields).

#include "SettingFields.h"

#include <QDialog>

class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

class TfrmSetting : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmSetting(QWidget *owner = nullptr);

    // Components, public like the form's own fields: the opener disables
    // btnSave during a recording and reads the edits after OK.
    QWidget *pnlSpacer = nullptr;
    QGroupBox *grpSavePath = nullptr;
    QLineEdit *edtPath = nullptr;
    QPushButton *btnView = nullptr;
    QGroupBox *gpbMachineSet = nullptr;
    QLineEdit *edtIPAddr = nullptr;
    QLineEdit *edtVobPort = nullptr;
    QLineEdit *edtUserName = nullptr;
    QLineEdit *edtPassword = nullptr;
    QLineEdit *edtHttpPort = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QLineEdit *edtUploadAddr = nullptr;
    QLineEdit *edtUploadPort = nullptr;
    QPushButton *btnSave = nullptr;
    QPushButton *btnClose = nullptr;
    QLabel *lblVersionCaption = nullptr;
    QLabel *lblVersion = nullptr;

    // Fills the edits from SDKConfig and the version label.
    void FormShow();
    void btnViewClick();
    void btnSaveClick();
    void btnCloseClick();
    // The digits-only filter of the port edits; false drops the typed character.
    bool edtSecondKeyPress(const QKeyEvent &event) const;

    Qurel::SettingFields Fields() const;
    void SetFields(const Qurel::SettingFields &fields);
    QLineEdit *EditFor(Qurel::SettingField field) const;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildLayout();
    QLineEdit *AddEdit(QWidget *group, const QString &label, QPoint labelAt, QRect geometry);
    QLabel *AddLabel(QWidget *parent, const QString &text, QPoint at);
};
