#include "support/TempRegister.h"

#include "support/PgCluster.h"

#include "store/RecordFields.h"
#include "store/RegisterNames.h"
#include "store/sql/Sql.h"

#include <QFile>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

TempRegister::TempRegister(Register::Kind kind)
{
    QString location = m_dir.path();
    if (kind == Register::Kind::Postgres) {
        QString whyNot;
        PgCluster* cluster = PgCluster::shared(&whyNot);
        if (!cluster)
            qFatal("no test server: %s", qPrintable(whyNot));
        location = cluster->url(cluster->createDatabase(), m_dir.filePath(QStringLiteral("store")));
    }
    m_location = location;
    Result<Register> opened = Register::open(location);
    if (!opened)
        qFatal("cannot create test register: %s", qPrintable(opened.error().fullText()));
    m_register = opened.value();
}

TempRegister::~TempRegister()
{
    m_register->closeConnection();
}

qint64 TempRegister::addRecord(qint64 serial, const QString& fileName, const QString& recipient,
                               const QString& folder, const QString& date, const QString& remark,
                               const QString& method, const QByteArray& content)
{
    const bool server = m_register->kind() == Register::Kind::Postgres;
    const QHash<RecordField, QVariant> given{
        {RecordField::Serial, serial},     {RecordField::Date, date},
        {RecordField::FileName, fileName}, {RecordField::StoredName, fileName},
        {RecordField::Remark, remark},     {RecordField::Recipient, recipient},
        {RecordField::Method, method},     {RecordField::Folder, folder}};
    QStringList columns;
    QVariantList values;
    for (const RecordFields::Field& field : RecordFields::all()) {
        columns << Sql::identifier(field.column);
        values << given.value(field.field, QStringLiteral(""));
    }
    QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(Sql::identifier(RegisterNames::recordTable), columns.join(u','),
                           QStringList(columns.size(), QStringLiteral("?")).join(u','));
    if (server)
        sql += QStringLiteral(" RETURNING ") + identityColumn();
    Result<QSqlQuery> query = Sql::run(m_register->database(), sql, values);
    if (!query)
        qFatal("cannot add test record: %s", qPrintable(query.error().fullText()));
    if (!content.isEmpty()) {
        QFile file(m_register->storedCopyPath(fileName));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write stored copy");
    }
    if (server)
        return query->next() ? query->value(0).toLongLong() : 0;
    return query->lastInsertId().toLongLong();
}

SeenRecord TempRegister::seen(qint64 rowid) const
{
    Result<QVariant> storedName =
        Sql::scalar(m_register->database(),
                    QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                        .arg(Sql::identifier(RegisterNames::storedName),
                             Sql::identifier(RegisterNames::recordTable), identityColumn()),
                    {rowid});
    return {rowid, storedName ? storedName->toString() : QString()};
}

QList<qint64> TempRegister::serials() const
{
    QList<qint64> result;
    Result<QSqlQuery> query =
        Sql::run(m_register->database(),
                 QStringLiteral("SELECT %1 FROM %2 ORDER BY %1, %3")
                     .arg(Sql::identifier(RegisterNames::serial),
                          Sql::identifier(RegisterNames::recordTable), identityColumn()));
    while (query && query->next())
        result << query->value(0).toLongLong();
    return result;
}

Status TempRegister::execute(const QString& sql) const
{
    QSqlQuery query(m_register->database());
    if (query.exec(sql))
        return {};
    return Sql::errorOn(m_register->database(), query.lastError(), sql);
}

QString TempRegister::identityColumn(const Register& reg)
{
    return reg.kind() == Register::Kind::Postgres ? Sql::identifier(RegisterNames::identity)
                                                  : QStringLiteral("rowid");
}
