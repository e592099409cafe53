#pragma once
// ShowMsg / AskMsg: every user message of the client goes through here.
// Tests install a handler that records the texts and answers questions, so
// no test ever blocks on a modal box.

#include <QString>

#include <functional>

class QWidget;

namespace Qurel {

enum class MsgKind { Info, Question, Notice };

struct MsgRequest
{
    MsgKind kind = MsgKind::Info;
    QString title;
    QString text;
};

// Returns true for "Yes" (questions) or OK.
using MsgHandler = std::function<bool(const MsgRequest &)>;

// OK box, caption "Qurel助手", no icon.
void ShowMsg(QWidget *owner, const QString &text);
// Yes/No box, caption "Qurel助手", question icon; true on Yes.
bool AskMsg(QWidget *owner, const QString &text);
// OK box with another caption (the second-instance notice "提示!").
void ShowNotice(QWidget *owner, const QString &title, const QString &text);

// Replace the boxes (tests); an empty handler restores the real boxes.
void SetMsgHandler(MsgHandler handler);

} // namespace Qurel
