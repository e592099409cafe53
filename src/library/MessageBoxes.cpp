#include "MessageBoxes.h"

#include "UserMessages.h"

#include <QMessageBox>

namespace Qurel {

namespace {
MsgHandler &handler()
{
    static MsgHandler h;
    return h;
}

bool present(QWidget *owner, const MsgRequest &request)
{
    if (handler())
        return handler()(request);
    QMessageBox box(owner);
    box.setWindowTitle(request.title);
    // Texts can come from peers (a platform's refusal, a recording's title): they are shown as
    // they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(request.text);
    if (request.kind == MsgKind::Question) {
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes;
    }
    box.setIcon(QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return true;
}

} // namespace

void ShowMsg(QWidget *owner, const QString &text)
{
    present(owner, {MsgKind::Info, kClientCaption, text});
}

bool AskMsg(QWidget *owner, const QString &text)
{
    return present(owner, {MsgKind::Question, kClientCaption, text});
}

void ShowNotice(QWidget *owner, const QString &title, const QString &text)
{
    present(owner, {MsgKind::Notice, title, text});
}

void SetMsgHandler(MsgHandler h)
{
    handler() = std::move(h);
}

} // namespace Qurel
