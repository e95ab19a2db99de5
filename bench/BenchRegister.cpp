#include "BenchRegister.h"

#include "store/Register.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>

#include <cmath>
#include <sqlite3.h>

namespace BenchRegister {

namespace {

const char16_t* const chineseWords[] = {
    u"报告", u"合同", u"会议", u"纪要", u"方案", u"预算", u"总结", u"通知", u"设计", u"图纸",
    u"发票", u"清单", u"计划", u"项目", u"季度", u"年度", u"说明", u"申请", u"审批", u"财务",
    u"市场", u"销售", u"技术", u"测试", u"培训", u"采购", u"质量", u"客户", u"工程", u"数据"};
const char* const asciiWords[] = {"draft", "final", "v2",  "scan", "notes", "Q3",   "spec",
                                  "memo",  "copy",  "img", "list", "plan",  "2019", "rev"};
const char* const extensions[] = {"doc", "docx", "xls", "pdf", "txt", "jpg", "zip", "ppt", "dwg"};
const char16_t* const surnames[] = {u"张", u"王", u"李", u"赵", u"刘",
                                    u"陈", u"杨", u"黄", u"周", u"吴"};
const char16_t* const givenNames[] = {u"伟", u"芳", u"娜", u"敏",   u"静",   u"磊", u"洋",
                                      u"勇", u"艳", u"杰", u"涛",   u"明",   u"超", u"秀英",
                                      u"华", u"平", u"刚", u"桂英", u"建华", u"文"};
const char16_t* const methods[] = {u"Email", u"QQ",   u"面呈", u"传真",
                                   u"MSN",   u"微信", u"快递", u"U盘"};

QString fileName(QRandomGenerator& random)
{
    QString name;
    while (name.size() < 16) {
        if (random.bounded(3) == 0)
            name += QString::fromLatin1(asciiWords[random.bounded(int(std::size(asciiWords)))]);
        else
            name += QString::fromUtf16(chineseWords[random.bounded(int(std::size(chineseWords)))]);
        if (random.bounded(4) == 0)
            name += QLatin1Char('_');
    }
    return name + QLatin1Char('.') +
           QString::fromLatin1(extensions[random.bounded(int(std::size(extensions)))]);
}

QString remark(QRandomGenerator& random)
{
    QString text;
    while (text.size() < 36) {
        text += QString::fromUtf16(chineseWords[random.bounded(int(std::size(chineseWords)))]);
        if (random.bounded(5) == 0)
            text += QStringLiteral("，");
        if (random.bounded(7) == 0)
            text += QString::fromLatin1(asciiWords[random.bounded(int(std::size(asciiWords)))]) +
                    QLatin1Char(' ');
    }
    return text;
}

// Index into a population of `size`, most weight on the first ones.
int skewed(QRandomGenerator& random, int size)
{
    const double u = random.generateDouble();
    return std::min(size - 1, static_cast<int>(std::floor(std::pow(u, 2.5) * size)));
}

// The layout the cached registers were generated with. Cached registers are
// upgraded on open; bump it only when an upgrade cannot be done in place
// cheaply, since every cached register is then generated again (the largest
// takes an hour).
constexpr int cacheSchema = 5;

} // namespace

QString defaultCache()
{
    return QStringLiteral("/tmp/quorvel-bench/schema-%1").arg(cacheSchema);
}

QString generate(const QString& folder, int count)
{
    {
        Result<Register> reg = Register::open(folder);
        if (!reg)
            return reg.error().fullText();
        reg->closeConnection();
    }
    QStringList recipients = {QStringLiteral("自己"), QStringLiteral("本地文档")};
    for (int i = 0; recipients.size() < 200; ++i) {
        recipients << QString::fromUtf16(surnames[i % std::size(surnames)]) +
                          QString::fromUtf16(
                              givenNames[(i / std::size(surnames)) % std::size(givenNames)]);
    }
    QStringList folders = {QString()};
    for (int i = 0; folders.size() < 50; ++i) {
        folders << QString::fromUtf16(chineseWords[i % std::size(chineseWords)]) +
                       (i >= int(std::size(chineseWords)) ? QStringLiteral("归档")
                                                          : QStringLiteral("资料"));
    }

    sqlite3* db = nullptr;
    const QByteArray path =
        QFile::encodeName(QDir(folder).filePath(QStringLiteral("文件管理.mdb")));
    if (sqlite3_open(path.constData(), &db) != SQLITE_OK)
        return QStringLiteral("cannot open generated register");
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF; BEGIN", nullptr, nullptr,
                 nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(
        db,
        "INSERT INTO 文件管理 (文件序号, 发件日期, 文件名, 路径, 备注, 接收人, 传送方式, 文件夹) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
        -1, &insert, nullptr);
    QRandomGenerator random(static_cast<quint32>(count));
    const QDate first(2011, 1, 1);
    for (int i = 1; i <= count; ++i) {
        const QString name = fileName(random);
        const QByteArray values[] = {
            first.addDays(static_cast<qint64>(i) * 5478 / count).toString(Qt::ISODate).toUtf8(),
            name.toUtf8(),
            (name.left(name.lastIndexOf(QLatin1Char('.'))) + QLatin1Char('.') + QString::number(i) +
             name.mid(name.lastIndexOf(QLatin1Char('.'))))
                .toUtf8(),
            remark(random).toUtf8(),
            recipients.at(skewed(random, recipients.size())).toUtf8(),
            QString::fromUtf16(methods[skewed(random, int(std::size(methods)))]).toUtf8(),
            folders.at(skewed(random, folders.size())).toUtf8(),
        };
        sqlite3_bind_int64(insert, 1, i);
        for (int column = 0; column < 7; ++column)
            sqlite3_bind_text(insert, column + 2, values[column].constData(),
                              int(values[column].size()), SQLITE_TRANSIENT);
        if (sqlite3_step(insert) != SQLITE_DONE) {
            sqlite3_finalize(insert);
            sqlite3_close(db);
            return QStringLiteral("insert failed");
        }
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    // No ANALYZE: the program never runs it, so the registers it makes have
    // no statistics, and the query planner is measured as it works on them.
    const int status =
        sqlite3_exec(db, "COMMIT; PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return status == SQLITE_OK ? QString() : QStringLiteral("commit failed");
}

QString cached(const QString& cacheRoot, int count)
{
    const QString folder = QDir(cacheRoot).filePath(QStringLiteral("register-%1").arg(count));
    const QString done = QDir(folder).filePath(QStringLiteral(".complete"));
    if (QFile::exists(done))
        return folder;
    QDir(folder).removeRecursively();
    if (!generate(folder, count).isEmpty())
        return QString();
    QFile marker(done);
    marker.open(QIODevice::WriteOnly);
    return folder;
}

} // namespace BenchRegister
