#pragma once

#include <QString>
#include <QStringList>

// Names that make up the stored format of a register. They are what older
// registers hold on disk, so they never change.
namespace RegisterNames {

inline const QString databaseFile = QStringLiteral("文件管理.mdb");
inline const QString storeFolder = QStringLiteral("随机文件");

inline const QString recordTable = QStringLiteral("文件管理");
inline const QString queryTable = QStringLiteral("自定义查询");

// Columns of the record table; RecordFields gives their order.
inline const QString serial = QStringLiteral("文件序号");
// The index on it that every register keeps: views walk it in order.
inline const QString serialIndex = QStringLiteral("文件管理_文件序号");
inline const QString date = QStringLiteral("发件日期");
inline const QString fileName = QStringLiteral("文件名");
inline const QString storedName = QStringLiteral("路径");
inline const QString remark = QStringLiteral("备注");
inline const QString recipient = QStringLiteral("接收人");
inline const QString method = QStringLiteral("传送方式");
inline const QString folder = QStringLiteral("文件夹");

// The record's identity, after the record columns: an INTEGER PRIMARY KEY
// AUTOINCREMENT (so also the rowid) that is never handed out twice.
inline const QString identity = QStringLiteral("记录号");

// Recipient values that carry meaning.
inline const QString recipientSelf = QStringLiteral("自己");
inline const QString recipientLocal = QStringLiteral("本地文档");

} // namespace RegisterNames
