#include "backup/BackupManifest.h"

#include "store/Register.h"

namespace BackupManifest {

namespace {

const QByteArray magic = QByteArrayLiteral("quorvel-backup\t1");

QByteArray escaped(const QString& name)
{
    QByteArray out;
    for (const char c : name.toUtf8()) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool unescaped(const QByteArray& field, QString* name)
{
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field.at(i) != '\\') {
            out += field.at(i);
            continue;
        }
        if (++i >= field.size())
            return false;
        switch (field.at(i)) {
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            return false;
        }
    }
    *name = QString::fromUtf8(out);
    return !name->isEmpty();
}

QByteArray itemLine(const char* kind, const Item& item)
{
    QByteArray line = QByteArray(kind) + '\t' + QByteArray::number(item.size) + '\t' +
                      item.hash.toLatin1() + '\t' + escaped(item.name);
    if (!item.serials.isEmpty())
        line += '\t' + escaped(item.serials.join(QLatin1Char(',')));
    return line + '\n';
}

bool parseItem(const QList<QByteArray>& fields, Item* item)
{
    if (fields.size() != 4 && fields.size() != 5)
        return false;
    QString serials;
    if (fields.size() == 5 && !unescaped(fields.at(4), &serials))
        return false;
    item->serials = serials.isEmpty() ? QStringList() : serials.split(QLatin1Char(','));
    bool number = false;
    item->size = fields.at(1).toLongLong(&number);
    item->hash = QString::fromLatin1(fields.at(2));
    return number && item->size >= 0 && item->hash.size() == 32 &&
           unescaped(fields.at(3), &item->name);
}

} // namespace

QByteArray write(const Manifest& manifest)
{
    QByteArray text = magic + '\n';
    text += "generation\t" + QByteArray::number(manifest.generation) + '\n';
    text += "created\t" + manifest.created.toLatin1() + '\n';
    text += itemLine("database", manifest.database);
    for (const Item& copy : manifest.copies)
        text += itemLine("copy", copy);
    for (const Item& copy : manifest.binCopies)
        text += itemLine("bin", copy);
    for (const QString& name : manifest.missing)
        text += "missing\t" + escaped(name) + '\n';
    text += "end\t" + QByteArray::number(text.count('\n')) + '\n';
    return text;
}

Result<Manifest> parse(const QByteArray& text)
{
    const auto damaged = [](const QString& what) {
        return Error{QStringLiteral("备份清单已损坏：%1").arg(what), QString()};
    };
    QList<QByteArray> lines = text.split('\n');
    if (lines.size() < 3 || lines.first() != magic)
        return damaged(QStringLiteral("不是 Quorvel 备份清单"));
    if (!lines.last().isEmpty())
        return damaged(QStringLiteral("最后一行不完整"));
    lines.removeLast();
    const QList<QByteArray> end = lines.last().split('\t');
    if (end.size() != 2 || end.first() != "end" || end.last().toLongLong() != lines.size() - 1)
        return damaged(QStringLiteral("清单不完整"));

    Manifest manifest;
    bool hasDatabase = false;
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).split('\t');
        const QByteArray& kind = fields.first();
        bool ok = true;
        QString name; // of the file the line names, if any
        if (kind == "generation" && fields.size() == 2) {
            manifest.generation = fields.at(1).toInt(&ok);
        } else if (kind == "created" && fields.size() == 2) {
            manifest.created = QString::fromLatin1(fields.at(1));
        } else if (kind == "database") {
            ok = parseItem(fields, &manifest.database);
            hasDatabase = ok;
            name = manifest.database.name;
        } else if (kind == "copy" || kind == "bin") {
            Item item;
            ok = parseItem(fields, &item);
            name = item.name;
            (kind == "copy" ? manifest.copies : manifest.binCopies) << item;
        } else if (kind == "missing" && fields.size() == 2) {
            ok = unescaped(fields.at(1), &name);
            manifest.missing << name;
        } else {
            ok = false;
        }
        if (!ok)
            return damaged(QStringLiteral("第 %1 行无法识别").arg(i + 1));
        // A backup folder may come from anyone: a name with a folder in it
        // would reach outside the backup when read and outside the target
        // when restored.
        if (!name.isNull() && !Register::isPlainFileName(name))
            return damaged(QStringLiteral("第 %1 行的名称不是单个文件名").arg(i + 1));
    }
    if (!hasDatabase)
        return damaged(QStringLiteral("没有数据库一行"));
    return manifest;
}

} // namespace BackupManifest
