#include "legacy/LegacyTables.h"

#include "base/HelperProgram.h"
#include "legacy/LegacyReader.h"
#include "legacy/LegacySource.h"
#include "store/RegisterNames.h"
#include "store/sql/RecordWriter.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <sys/resource.h>

namespace Legacy {

namespace {

const QByteArray magic = QByteArrayLiteral("quorvel-legacy-tables 1\n");
const QString readerName = QStringLiteral("quorvel-legacy-reader");

// The record columns old registers hold, in the order they are read: old
// files never change, whatever columns new registers get.
QStringList legacyRecordColumns()
{
    using namespace RegisterNames;
    return {serial, date, fileName, storedName, remark, recipient, method, folder};
}

QString readerProgram()
{
    return helperProgram(readerName, "QUORVEL_LEGACY_READER");
}

Error readerFailed(const QString& path, const QString& why)
{
    return LegacyReader::damaged(path, QStringLiteral("读取时%1").arg(why));
}

} // namespace

Result<Tables> readTablesHere(const QString& path)
{
    Result<LegacyReader> reader = LegacyReader::open(path);
    if (!reader)
        return reader.error();
    Tables tables;
    const auto into = [](QList<QVariantList>& rows) {
        return [&rows](const QVariantList& cells) {
            rows << cells;
            return true;
        };
    };
    if (Status read = reader->readRows(RegisterNames::recordTable, legacyRecordColumns(),
                                       into(tables.records));
        !read)
        return read.error();
    tables.queryTable = reader->hasTable(legacyQueryName);
    if (tables.queryTable) {
        if (Status read = reader->readRows(legacyQueryName, RecordWriter::queryColumns(),
                                           into(tables.queries));
            !read)
            return read.error();
    }
    return tables;
}

QByteArray encode(const Result<Tables>& tables)
{
    QByteArray bytes = magic;
    QDataStream out(&bytes, QIODevice::Append);
    out.setVersion(QDataStream::Qt_6_0);
    out << tables.ok();
    if (!tables)
        out << tables.error().message << tables.error().detail << int(tables.error().code);
    else
        out << tables->records << tables->queryTable << tables->queries;
    return bytes;
}

Result<Tables> decode(const QByteArray& bytes, const QString& path)
{
    if (!bytes.startsWith(magic))
        return readerFailed(path, QStringLiteral("读取程序没有给出结果"));
    QDataStream in(bytes.mid(magic.size()));
    in.setVersion(QDataStream::Qt_6_0);
    bool ok = false;
    in >> ok;
    if (!ok) {
        Error error;
        int code = 0;
        in >> error.message >> error.detail >> code;
        error.code = ErrorCode(code);
        if (in.status() == QDataStream::Ok)
            return error;
        return readerFailed(path, QStringLiteral("读取程序的结果不完整"));
    }
    Tables tables;
    in >> tables.records >> tables.queryTable >> tables.queries;
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return readerFailed(path, QStringLiteral("读取程序的结果不完整"));
    return tables;
}

Result<Tables> readTables(const QString& path)
{
    const QString program = readerProgram();
    if (program.isEmpty())
        return Error{QStringLiteral("找不到读取旧登记库的程序 %1，Quorvel 的安装可能不完整。")
                         .arg(readerName),
                     QString()};
    QProcess reader;
    reader.setProgram(program);
    reader.setArguments({path});
    reader.setProcessChannelMode(QProcess::SeparateChannels);
    // libmdb's own warnings go nowhere: what it could not read shows in
    // the rows it gives, which are checked.
    reader.setStandardErrorFile(QProcess::nullDevice());
    reader.setChildProcessModifier([] {
    // A damaged file may make libmdb loop or allocate without end. (An
    // address-sanitized build maps terabytes of shadow memory up front.)
#ifndef __SANITIZE_ADDRESS__
        const rlimit memory{rlim_t(1) << 30, rlim_t(1) << 30};
        ::setrlimit(RLIMIT_AS, &memory);
#endif
        const rlimit cpu{120, 120};
        ::setrlimit(RLIMIT_CPU, &cpu);
    });
    reader.start();
    if (!reader.waitForStarted())
        return Error{QStringLiteral("无法启动读取旧登记库的程序 %1。").arg(program),
                     reader.errorString()};
    // A large file takes longer; none takes many minutes. Output is kept by
    // QProcess while it waits, so a large one never blocks the reader.
    const qint64 size = QFileInfo(path).size();
    const int timeout = int(qMin<qint64>(60000 + size / 10000, 600000));
    if (!reader.waitForFinished(timeout)) {
        reader.kill();
        reader.waitForFinished();
        return readerFailed(path, QStringLiteral("超时"));
    }
    const QByteArray output = reader.readAllStandardOutput();
    if (reader.exitStatus() != QProcess::NormalExit || reader.exitCode() != 0)
        return readerFailed(path, QStringLiteral("读取程序意外结束"));
    return decode(output, path);
}

} // namespace Legacy
