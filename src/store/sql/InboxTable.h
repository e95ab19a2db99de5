#pragma once

#include "base/Result.h"

#include <QSqlDatabase>
#include <QStringList>

// The register's inbox: a folder whose files are registered with preset
// details as they arrive. Its settings, and a note of every file taken from
// it, written in the transaction of the file's record: a file whose record
// was committed but which was not yet removed from the folder is known
// again by its name, size, time and content, and is not registered twice.
namespace InboxTable {

inline const QString settingsTable = QStringLiteral("收件箱设置");
inline const QString settingNameColumn = QStringLiteral("名称");
inline const QString settingValueColumn = QStringLiteral("值");

inline const QString takenTable = QStringLiteral("收件箱已登记");
inline const QString fileNameColumn = QStringLiteral("文件名");
inline const QString sizeColumn = QStringLiteral("大小");
inline const QString modifiedColumn = QStringLiteral("修改时间"); // ms since the epoch
inline const QString hashColumn = QStringLiteral("校验");
inline const QString recordColumn = QStringLiteral("记录");
inline const QString takenAtColumn = QStringLiteral("登记时间");

struct Settings {
    QString folder; // empty: no inbox
    QString recipient;
    QString method;
    QString recordFolder; // the records' 文件夹
};

// A file as it lay in the inbox.
struct FileIdentity {
    QString fileName;
    qint64 size = 0;
    qint64 modified = 0;
    QString hash;
};

// Both tables, made only when missing; the same text on SQLite and a server.
QStringList createStatements();

Result<Settings> read(const QSqlDatabase& db);
Status write(const QSqlDatabase& db, const Settings& settings);

// Notes `file` as registered as record `record`; part of that record's
// transaction. A file noted already fails, so two programs watching one
// inbox cannot both register it.
Status noteTaken(const QSqlDatabase& db, const FileIdentity& file, qint64 record);
// The content hashes of files taken with this name, size and time.
Result<QStringList> takenHashes(const QSqlDatabase& db, const QString& fileName, qint64 size,
                                qint64 modified);
// Forgets notes older than `before` ("yyyy-MM-dd HH:mm:ss").
Status forgetTakenBefore(const QSqlDatabase& db, const QString& before);

} // namespace InboxTable
