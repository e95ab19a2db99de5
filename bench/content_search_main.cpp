// Searches by content on a large register: the first screen and the complete
// list of content terms of one to six characters, alone and beside a name or
// a date box, and the size of the index beside the size of the texts.

#include "BenchOperations.h"
#include "BenchRegister.h"
#include "BenchTiming.h"

#include "browser/CombinedSearch.h"
#include "content/ContentStore.h"
#include "store/RegisterNames.h"
#include "store/content/ContentIndex.h"
#include "store/sql/ContentHash.h"
#include "store/sql/Sql.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>

#include <cstdio>

namespace {

using Sql::identifier;

// About 5 KB: Chinese characters drawn with a skew (a few very common, most
// rare) in runs of words, and English words among them.
QString textNumber(int number)
{
    static const QStringList english = {
        QStringLiteral("budget"),   QStringLiteral("contract"), QStringLiteral("meeting"),
        QStringLiteral("payment"),  QStringLiteral("report"),   QStringLiteral("the"),
        QStringLiteral("of"),       QStringLiteral("and"),      QStringLiteral("invoice"),
        QStringLiteral("schedule"), QStringLiteral("draft"),    QStringLiteral("approval")};
    QRandomGenerator random(quint32(number) * 2654435761u + 17);
    QString text;
    while (text.toUtf8().size() < 5000) {
        if (random.bounded(5) == 0) {
            text += english.at(int(random.bounded(english.size()))) + QLatin1Char(' ');
            continue;
        }
        const int length = 2 + int(random.bounded(4));
        for (int i = 0; i < length; ++i) {
            // Squared: low code points come far more often.
            const double r = random.generateDouble();
            text += QChar(0x4E00 + int(r * r * 3000));
        }
        text += random.bounded(8) == 0 ? QStringLiteral("。\n") : QStringLiteral("，");
    }
    return text;
}

bool fill(const Register& reg, int records, int texts)
{
    const QSqlDatabase db = reg.database();
    Transaction transaction(db);
    if (!transaction.started())
        return false;
    const int step = std::max(1, records / texts);
    for (int i = 0; i < texts; ++i) {
        const qint64 rowid = qint64(i) * step + 1;
        const QString hash = QStringLiteral("%1").arg(i, 32, 16, QLatin1Char('0'));
        const QString text = textNumber(i);
        if (!Sql::run(
                db,
                QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5) SELECT rowid, %6, ?, ? FROM "
                               "%7 WHERE rowid = ?")
                    .arg(identifier(ContentHash::table), identifier(ContentHash::recordColumn),
                         identifier(ContentHash::storedNameColumn),
                         identifier(ContentHash::sizeColumn), identifier(ContentHash::hashColumn),
                         identifier(RegisterNames::storedName),
                         identifier(RegisterNames::recordTable)),
                {text.size(), hash, rowid}))
            return false;
        Result<QVariant> number = Sql::scalar(db,
                                              QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                                                  .arg(identifier(ContentIndex::numberColumn),
                                                       identifier(ContentIndex::table),
                                                       identifier(ContentIndex::hashColumn)),
                                              {hash});
        if (!number ||
            !ContentStore::store(db, number->toLongLong(), ContentIndex::State::Read, text, {}))
            return false;
    }
    return bool(transaction.commit());
}

QString preparedRegister(int records, int texts)
{
    const QString cache = BenchRegister::defaultCache();
    const QString folder = QStringLiteral("%1/content-%2-%3").arg(cache).arg(records).arg(texts);
    if (QDir(folder).exists())
        return folder;
    const QString source = BenchRegister::cached(cache, records);
    const QString building = folder + QStringLiteral(".building");
    QDir(building).removeRecursively();
    if (QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), source, building}) != 0)
        return {};
    {
        Result<Register> reg = Register::open(building);
        QElapsedTimer timer;
        timer.start();
        if (!reg || !fill(*reg, records, texts))
            return {};
        std::fprintf(stderr, "(%d texts read into the register in %.1f s)\n", texts,
                     timer.elapsed() / 1000.0);
        reg->closeConnection();
    }
    return QDir().rename(building, folder) ? folder : QString();
}

double bytesOf(const Register& reg, const QString& sql)
{
    Result<QVariant> value = Sql::scalar(reg.database(), sql);
    return value ? value->toDouble() : -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int records = arguments.size() > 1 ? arguments.at(1).toInt() : 1000000;
    const int texts = arguments.size() > 2 ? arguments.at(2).toInt() : 100000;
    const int runs = arguments.size() > 3 ? arguments.at(3).toInt() : 3;
    const QString folder = preparedRegister(records, texts);
    Result<Register> reg = folder.isEmpty()
                               ? Result<Register>(Error{QStringLiteral("no register"), {}})
                               : Register::open(folder);
    if (!reg) {
        std::fprintf(stderr, "%s\n", qPrintable(reg.error().fullText()));
        return 1;
    }
    // Terms from one text, so each is found at least once, and the most
    // common character; one found nowhere.
    const QString sample = textNumber(7);
    const qsizetype at = 0;
    QStringList terms = {QString(QChar(0x4E00)), QString(QChar(0x4E00 + 1500)),
                         QStringLiteral("budget"), QStringLiteral("不存在的词")};
    for (int length = 2; length <= 6; ++length)
        terms << sample.mid(at + 40, length) << sample.mid(at + 120, length);

    std::printf("%-32s %8s %12s %12s\n", "content search", "records", "first ms", "complete ms");
    for (const QString& term : terms) {
        for (const char* beside : {"", "name", "date"}) {
            SearchCriteria criteria;
            criteria.content = term;
            if (QByteArray(beside) == "name")
                criteria.fileName = QStringLiteral("报告");
            else if (QByteArray(beside) == "date")
                criteria.earliest = QStringLiteral("2015-1-1");
            const ViewCondition condition = CombinedSearch::build(criteria).condition;
            std::vector<double> first;
            std::vector<double> complete;
            for (int run = 0; run < runs; ++run) {
                const ShownMs shown = shownMs(*reg, condition);
                first.push_back(shown.first);
                complete.push_back(shown.complete);
            }
            Result<QList<qint64>> keys = ViewRst::loadKeys(*reg, condition);
            const QString label = QStringLiteral("\"%1\"%2%3")
                                      .arg(term, *beside ? QStringLiteral(" + ") : QString(),
                                           QString::fromLatin1(beside));
            std::printf("%-32s %8lld %12.1f %12.1f\n", qPrintable(label),
                        keys ? qint64(keys->size()) : -1LL, medianOf(first), medianOf(complete));
        }
    }
    const double textBytes = bytesOf(
        *reg, QStringLiteral("SELECT sum(length(CAST(%1 AS BLOB))) FROM %2")
                  .arg(identifier(ContentIndex::textColumn), identifier(ContentIndex::table)));
    const double indexBytes =
        bytesOf(*reg, QStringLiteral("SELECT sum(pgsize) FROM dbstat WHERE name LIKE '%1%%' OR "
                                     "name LIKE '%2%%' OR name LIKE '%3%%'")
                          .arg(ContentIndex::charactersTable, ContentIndex::pairsTable,
                               ContentIndex::recordsTable));
    std::printf("\ntext %.1f MB, index of pieces %.1f MB: %.2fx (rule: at most 2x)\n",
                textBytes / 1e6, indexBytes / 1e6, indexBytes / textBytes);
    return 0;
}
