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

// Columns of the record table, in the order of the view select list.
inline const QString serial = QStringLiteral("文件序号");
inline const QString date = QStringLiteral("发件日期");
inline const QString fileName = QStringLiteral("文件名");
inline const QString storedName = QStringLiteral("路径");
inline const QString remark = QStringLiteral("备注");
inline const QString recipient = QStringLiteral("接收人");
inline const QString method = QStringLiteral("传送方式");
inline const QString folder = QStringLiteral("文件夹");

// The eight columns above, in that order.
inline const QStringList recordColumns = {serial, date,      fileName, storedName,
                                          remark, recipient, method,   folder};

// The record's identity, after the columns above: an INTEGER PRIMARY KEY
// AUTOINCREMENT (so also the rowid) that is never handed out twice.
inline const QString identity = QStringLiteral("记录号");

// Recipient values that carry meaning.
inline const QString recipientSelf = QStringLiteral("自己");
inline const QString recipientLocal = QStringLiteral("本地文档");

// Longest texts a record column takes, in characters.
constexpr int fileNameLimit = 50;
constexpr int storedNameLimit = 150;
constexpr int remarkLimit = 150;
constexpr int recipientLimit = 50;
constexpr int methodLimit = 50;
constexpr int folderLimit = 50;

} // namespace RegisterNames
