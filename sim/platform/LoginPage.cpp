#include "LoginPage.h"

#include "HttpHead.h"

namespace Qurel {

namespace {
    QString escaped(const QString &text)
    {
        return text.toHtmlEscaped();
    }

    // Value of `key` in a raw query, keys compared without regard to case.
    QByteArray rawQueryValue(const QByteArray &query, const QByteArray &key)
    {
        for (const QByteArray &pair : query.split('&')) {
            const qsizetype eq = pair.indexOf('=');
            const QByteArray name = eq < 0 ? pair : pair.left(eq);
            if (name.toLower() == key.toLower())
                return eq < 0 ? QByteArray() : pair.mid(eq + 1);
        }
        return {};
    }

    // Entries joined by "|"; browsers may send the bar escaped.
    QList<QByteArray> splitList(QByteArray raw)
    {
        if (!raw.contains('|'))
            raw.replace("%7C", "|").replace("%7c", "|");
        if (raw.isEmpty())
            return {};
        return raw.split('|');
    }
} // namespace

LoginVisit ParseLoginQuery(const QByteArray &query)
{
    LoginVisit visit;
    for (const QByteArray &guid : splitList(rawQueryValue(query, "GUID")))
        visit.guids.append(Sim::FormUrlDecode(guid));
    for (const QByteArray &name : splitList(rawQueryValue(query, "NAME")))
        visit.names.append(Sim::FormUrlDecode(name));
    return visit;
}

QByteArray LoginPageHtml(const LoginVisit &visit)
{
    QString rows;
    const qsizetype count = std::max(visit.guids.size(), visit.names.size());
    for (qsizetype i = 0; i < count; ++i) {
        rows
            += QStringLiteral("<tr class=\"rec\"><td class=\"guid\">%1</td><td class=\"name\">%2</td></tr>\n")
                   .arg(escaped(visit.guids.value(i)), escaped(visit.names.value(i)));
    }
    const QString html = QStringLiteral(
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>资源平台登录</title></head>\n"
        "<body>\n<h3>资源平台</h3>\n<table id=\"recordings\">\n%1</table>\n"
        "<form id=\"frmLogin\" method=\"post\" action=\"%2\">\n"
        "用户名 <input id=\"user\" name=\"user\" value=\"teacher\"><br>\n"
        "密码 <input id=\"password\" name=\"password\" type=\"password\" value=\"demo\"><br>\n"
        "<button id=\"btnLogin\" type=\"submit\">登录并上传</button>\n"
        "</form>\n</body></html>\n")
                             .arg(rows, QString::fromLatin1(kLoginPath));
    return html.toUtf8();
}

QByteArray FinishPageHtml()
{
    return QStringLiteral(
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>资源平台</title></head>\n"
        "<body><p id=\"done\">登录成功，正在接收视频。</p></body></html>\n")
        .toUtf8();
}

QByteArray FinishAddress(const QString &finishQuery)
{
    return QByteArray(kLoginPath) + '?' + finishQuery.toUtf8();
}

} // namespace Qurel
