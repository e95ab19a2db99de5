#include "web/Html.h"

#include <QUrl>

namespace Html {

namespace {

// Kept in the program, never read from a path: one small sheet for every page.
const char16_t* const styleSheet = uR"(
body { font-family: "Noto Sans CJK SC", "Microsoft YaHei", sans-serif; margin: 0; color: #1d2430;
       background: #f4f6f9; font-size: 14px; }
header { background: #1f4e79; color: #fff; padding: 6px 16px; display: flex; flex-wrap: wrap;
         align-items: center; gap: 4px 14px; }
header a, header button.link { color: #fff; text-decoration: none; background: none; border: 0;
         font: inherit; cursor: pointer; padding: 4px 2px; }
header a:hover, header button.link:hover { text-decoration: underline; }
header .brand { font-weight: bold; margin-right: 12px; }
header .who { margin-left: auto; }
header form { display: inline; }
header select { font: inherit; }
main { padding: 12px 16px; }
h1 { font-size: 18px; margin: 4px 0 10px; }
table.grid { border-collapse: collapse; width: 100%; background: #fff; }
table.grid th, table.grid td { border: 1px solid #cfd6e0; padding: 4px 6px; text-align: left;
         vertical-align: top; overflow-wrap: anywhere; }
table.grid th { background: #e6ebf2; font-weight: normal; }
table.grid tr:nth-child(even) td { background: #f8fafc; }
fieldset { border: 1px solid #b9c3d0; background: #fff; margin: 0 0 12px; }
.boxes { display: grid; grid-template-columns: repeat(auto-fill, minmax(220px, 1fr)); gap: 6px 12px; }
.boxes label { display: flex; flex-direction: column; font-size: 13px; }
input[type=text], input[type=date], input[type=password], select { font: inherit; padding: 3px; }
.notice { padding: 8px 12px; margin: 0 0 12px; background: #e7f3e7; border: 1px solid #9cc79c; }
.notice.error { background: #fbeaea; border-color: #d99; }
.pages { margin: 10px 0; display: flex; gap: 10px; align-items: center; }
.actions { margin: 8px 0; display: flex; gap: 8px; flex-wrap: wrap; }
.signin { max-width: 320px; margin: 60px auto; background: #fff; padding: 20px;
          border: 1px solid #cfd6e0; }
.signin label { display: block; margin: 8px 0; }
.signin input { width: 100%; box-sizing: border-box; }
)";

} // namespace

QString escape(const QString& text)
{
    // Qt's escape leaves the apostrophe, which an attribute in single quotes would need.
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;"));
}

QString urlValue(const QString& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

std::string page(const QString& title, const QString& navigation, const QString& body, bool again)
{
    const QString text =
        QStringLiteral("<!DOCTYPE html>\n<html lang=\"zh-CN\"><head>"
                       "<meta charset=\"utf-8\">"
                       "<meta name=\"viewport\" content=\"width=device-width\">%5"
                       "<title>%1 - Quorvel</title><style>%2</style></head>"
                       "<body>%3<main>%4</main></body></html>\n")
            .arg(escape(title), QString::fromUtf16(styleSheet), navigation, body,
                 again ? QStringLiteral("<meta http-equiv=\"refresh\" content=\"2\">") : QString());
    return text.toStdString();
}

QString tokenField(const QString& token)
{
    return QStringLiteral("<input type=\"hidden\" name=\"csrf\" value=\"%1\">").arg(escape(token));
}

QString notice(const QString& text, bool error)
{
    return QStringLiteral("<div class=\"notice%1\" role=\"status\">%2</div>")
        .arg(error ? QStringLiteral(" error") : QString(), escape(text));
}

} // namespace Html
