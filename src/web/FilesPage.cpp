#include "base/DateText.h"
#include "intake/Intake.h"
#include "intake/LookupLists.h"
#include "store/Audit.h"
#include "store/RecordFields.h"
#include "store/folder/StoreFolder.h"
#include "web/Html.h"
#include "web/WebRoutes.h"

#include <QDate>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

// The file name a browser sends may carry a client's path; only its last part
// is the name. Browsers write a quote, a line feed and a carriage return in it
// as %22, %0A and %0D.
QString uploadedName(const std::string& sent)
{
    QString name = QString::fromStdString(sent);
    name.replace(QLatin1String("%22"), QLatin1String("\""))
        .replace(QLatin1String("%0A"), QLatin1String("\n"))
        .replace(QLatin1String("%0D"), QLatin1String("\r"));
    name =
        name.mid(qMax(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\'))) + 1);
    if (name.contains(QChar(0)) || name == QLatin1String(".") || name == QLatin1String(".."))
        return {};
    return name;
}

// For Content-Disposition: the plain ASCII form for old clients (quotes,
// backslashes, controls and everything beyond ASCII made "_"), and the
// exact name percent-encoded.
std::string dispositionOf(const QString& fileName)
{
    QByteArray plain;
    for (const QChar c : fileName) {
        const char16_t u = c.unicode();
        plain += (u < 0x20 || u >= 0x7f || u == '"' || u == '\\' || u == ';') ? '_' : char(u);
    }
    if (plain.isEmpty())
        plain = "file";
    return "attachment; filename=\"" + plain.toStdString() + "\"; filename*=UTF-8''" +
           QUrl::toPercentEncoding(fileName).toStdString();
}

void download(WebContext& context, const httplib::Request& request, httplib::Response& response)
{
    const std::optional<WebContext::Visitor> visitor =
        context.allow(request, response, Role::Viewer);
    if (!visitor)
        return;
    // The record names the copy; nothing of the request becomes a path.
    const std::optional<RegisterRecord> record = context.namedRecord(request, response, *visitor);
    if (!record)
        return;
    Result<StoreFolder> store = StoreFolder::open(context.reg);
    if (!store)
        return context.sendFailure(response, &*visitor, 500, store.error().message);
    int error = 0;
    const int fd = store->openForRead(record->storedName, &error);
    struct stat st = {};
    if (fd < 0 || fstat(fd, &st) != 0) {
        if (fd >= 0)
            close(fd);
        return context.sendFailure(response, &*visitor, 404, QStringLiteral("文件未找到"));
    }
    response.set_header("Content-Disposition", dispositionOf(record->fileName));
    response.set_header("Cache-Control", "no-store");
    // The descriptor is shared by the provider and its release, which runs
    // however the transfer ends.
    const auto descriptor = std::make_shared<int>(fd);
    response.set_content_provider(
        static_cast<size_t>(st.st_size), "application/octet-stream",
        [descriptor](size_t offset, size_t length, httplib::DataSink& sink) {
            char buffer[256 * 1024];
            const ssize_t got =
                pread(*descriptor, buffer, qMin(length, sizeof buffer), static_cast<off_t>(offset));
            if (got <= 0)
                return false;
            return sink.write(buffer, static_cast<size_t>(got));
        },
        [descriptor](bool) { close(*descriptor); });
}

QString options(Result<QStringList> values)
{
    QString list;
    if (values) {
        for (const QString& value : *values)
            list += QStringLiteral("<option value=\"%1\">").arg(Html::escape(value));
    }
    return list;
}

void addForm(WebContext& context, const httplib::Request& request, httplib::Response& response)
{
    const std::optional<WebContext::Visitor> visitor =
        context.allow(request, response, Role::Registrar);
    if (!visitor)
        return;
    const QString body =
        context.takeNotice(*visitor) +
        QStringLiteral(
            "<h1>登记文件</h1>"
            "<form method=\"post\" action=\"/add\" enctype=\"multipart/form-data\" id=\"addform\">"
            "%1<fieldset><legend>这批文件共用的信息</legend><div class=\"boxes\">"
            "<label>发件日期<input type=\"date\" name=\"date\" value=\"%2\"></label>"
            "<label>备注<input type=\"text\" name=\"remark\" maxlength=\"%3\"></label>"
            "<label>接收人<input type=\"text\" name=\"recipient\" list=\"recipients\" "
            "maxlength=\"%4\"></label>"
            "<label>传送方式<input type=\"text\" name=\"method\" list=\"methods\" "
            "maxlength=\"%5\"></label>"
            "<label>文件夹<input type=\"text\" name=\"folder\" list=\"folders\" "
            "maxlength=\"%6\"></label></div>"
            "<datalist id=\"recipients\">%7</datalist><datalist id=\"methods\">%8</datalist>"
            "<datalist id=\"folders\">%9</datalist></fieldset>"
            "<p><input type=\"file\" name=\"files\" id=\"files\" multiple required></p>"
            "<div class=\"actions\"><button id=\"register\">登记</button></div></form>")
            .arg(Html::tokenField(visitor->formToken), QDate::currentDate().toString(Qt::ISODate),
                 QString::number(RecordFields::of(RecordField::Remark).limit),
                 QString::number(RecordFields::of(RecordField::Recipient).limit),
                 QString::number(RecordFields::of(RecordField::Method).limit),
                 QString::number(RecordFields::of(RecordField::Folder).limit),
                 options(LookupLists::recipients(context.reg)),
                 options(LookupLists::addFormMethods(context.reg)),
                 options(LookupLists::folders(context.reg)));
    context.sendPage(response, QStringLiteral("登记文件"), &*visitor, body);
}

// One part of an upload: a form field's value, or a file written as it arrives.
struct Part {
    std::string name;
    QString fileName;
    std::string value;
    QString path; // the file's bytes, in the upload folder
    int fd = -1;
};

// The files of one upload, removed from the upload folder whatever happens.
struct Upload {
    std::vector<Part> parts;
    ~Upload()
    {
        for (const Part& part : parts) {
            if (part.fd >= 0)
                close(part.fd);
            if (!part.path.isEmpty())
                QFile::remove(part.path);
        }
    }
    QString field(const char* name) const
    {
        for (const Part& part : parts) {
            if (part.path.isEmpty() && part.name == name)
                return QString::fromStdString(part.value);
        }
        return {};
    }
};

// Form fields are small; a field beyond this is not a form of ours.
constexpr size_t fieldLimit = 64 * 1024;

void receive(WebContext& context, const httplib::Request& request, httplib::Response& response,
             const httplib::ContentReader& reader)
{
    const std::optional<WebContext::Visitor> visitor =
        context.allow(request, response, Role::Registrar);
    if (!visitor)
        return;
    if (!request.is_multipart_form_data())
        return context.sendFailure(response, &*visitor, 400,
                                   QStringLiteral("请用登记表单上传文件。"));
    Upload upload;
    QString refusal;
    qint64 received = 0;
    // The form token comes before the files; no byte of a file is kept without it.
    auto tokenSeen = [&] {
        return Sessions::sameToken(upload.field("csrf"), visitor->formToken);
    };
    const bool read = reader(
        [&](const httplib::MultipartFormData& header) {
            Part part;
            part.name = header.name;
            if (!header.filename.empty()) {
                if (!tokenSeen()) {
                    refusal = QStringLiteral("表单已过期，请重新打开页面再试。");
                    return false;
                }
                part.fileName = uploadedName(header.filename);
                QByteArray pattern =
                    QFile::encodeName(context.settings.uploadFolder) + "/upload-XXXXXX";
                part.fd = mkostemp(pattern.data(), O_CLOEXEC);
                if (part.fd < 0) {
                    refusal = QStringLiteral("无法保存上传的文件：") +
                              QString::fromLocal8Bit(strerror(errno));
                    return false;
                }
                part.path = QFile::decodeName(pattern);
            }
            upload.parts.push_back(std::move(part));
            return true;
        },
        [&](const char* data, size_t length) {
            if (upload.parts.empty())
                return false;
            Part& part = upload.parts.back();
            if (part.fd < 0) {
                if (!part.path.isEmpty() || part.value.size() + length > fieldLimit)
                    return false;
                part.value.append(data, length);
                return true;
            }
            received += static_cast<qint64>(length);
            if (received > context.settings.maxUploadBytes) {
                refusal = QStringLiteral("上传的文件超过了允许的大小。");
                return false;
            }
            for (size_t done = 0; done < length;) {
                const ssize_t wrote = write(part.fd, data + done, length - done);
                if (wrote < 0 && errno == EINTR)
                    continue;
                if (wrote <= 0) {
                    refusal = QStringLiteral("无法保存上传的文件：") +
                              QString::fromLocal8Bit(strerror(errno));
                    return false;
                }
                done += static_cast<size_t>(wrote);
            }
            return true;
        });
    if (!refusal.isEmpty())
        return context.sendFailure(response, &*visitor,
                                   received > context.settings.maxUploadBytes ? 413 : 400, refusal);
    if (!read || !tokenSeen())
        return context.sendFailure(response, &*visitor, 400,
                                   QStringLiteral("上传没有完成，请再试一次。"));

    Intake::Details details;
    details.date = QDate::fromString(upload.field("date"), Qt::ISODate);
    if (!upload.field("date").isEmpty() && !details.date.isValid())
        return context.sendFailure(response, &*visitor, 400,
                                   QStringLiteral("请输入一个有效的日期: ") + upload.field("date"));
    details.remark = upload.field("remark");
    details.recipient = upload.field("recipient");
    details.method = upload.field("method");
    details.folder = upload.field("folder");

    QList<Intake::File> files;
    QStringList refused;
    for (Part& part : upload.parts) {
        if (part.path.isEmpty())
            continue;
        close(std::exchange(part.fd, -1));
        if (part.fileName.isEmpty()) {
            refused << QStringLiteral("（无名文件）：文件名不能使用");
            continue;
        }
        files << Intake::File{part.path, part.fileName};
    }
    if (files.isEmpty() && refused.isEmpty())
        return context.sendFailure(response, &*visitor, 400,
                                   QStringLiteral("请选择要登记的文件。"));

    const Audit::ActingUser acting(visitor->account.name);
    const QList<Intake::Outcome> outcomes = Intake::runBatch(context.reg, files, details);
    context.changed();
    QString rows;
    int registered = 0;
    for (const Intake::Outcome& outcome : outcomes) {
        QString text;
        if (outcome.kind == Intake::Outcome::Registered) {
            ++registered;
            text = QStringLiteral("已登记，序号 %1").arg(outcome.serial);
            const QString note = Intake::sameContentNote(outcome);
            if (!note.isEmpty())
                text += QStringLiteral("。") + note;
        } else {
            text = outcome.error.message;
        }
        rows += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>")
                    .arg(Html::escape(outcome.fileName), Html::escape(text));
    }
    for (const QString& line : refused)
        rows += QStringLiteral("<tr><td colspan=\"2\">%1</td></tr>").arg(Html::escape(line));
    const QString body =
        Html::notice(
            QStringLiteral("已登记 %1 个文件，共 %2 个。")
                .arg(QString::number(registered), QString::number(files.size() + refused.size())),
            registered != files.size() + refused.size()) +
        QStringLiteral("<table class=\"grid\" id=\"outcomes\"><thead><tr><th>文件名</th>"
                       "<th>结果</th></tr></thead><tbody>%1</tbody></table>"
                       "<p><a href=\"/add\">继续登记</a> · <a href=\"/?v=all\">所有文件</a></p>")
            .arg(rows);
    context.sendPage(response, QStringLiteral("登记文件"), &*visitor, body);
}

} // namespace

namespace WebRoutes {

void files(httplib::Server& server, WebContext& context)
{
    server.Get(R"(/file/(\d{1,18}))",
               [&context](const httplib::Request& request, httplib::Response& response) {
                   download(context, request, response);
               });
    server.Get("/add", [&context](const httplib::Request& request, httplib::Response& response) {
        addForm(context, request, response);
    });
    server.Post("/add", [&context](const httplib::Request& request, httplib::Response& response,
                                   const httplib::ContentReader& reader) {
        receive(context, request, response, reader);
    });
}

} // namespace WebRoutes
