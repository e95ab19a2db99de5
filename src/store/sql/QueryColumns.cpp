#include "store/sql/QueryColumns.h"

#include "store/content/ContentIndex.h"

QString queryColumnOf(QueryField field)
{
    switch (field) {
    case QueryField::Name:
        return QStringLiteral("查询名称");
    case QueryField::Title:
        return QStringLiteral("工具条标题");
    case QueryField::FileName:
        return QStringLiteral("全部或部分文件名");
    case QueryField::Recipient:
        return QStringLiteral("全部或部分接收人名");
    case QueryField::Method:
        return QStringLiteral("传送方式");
    case QueryField::Earliest:
        return QStringLiteral("最早发件日期");
    case QueryField::Latest:
        return QStringLiteral("最晚发件日期");
    case QueryField::Remark:
        return QStringLiteral("备注中的一个词");
    case QueryField::Content:
        return ContentIndex::queryColumn;
    case QueryField::Folder:
    default:
        return QStringLiteral("全部或部分文件夹名");
    }
}

QStringList allQueryColumns()
{
    QStringList columns;
    for (int field = 0; field < static_cast<int>(QueryField::Count); ++field)
        columns << queryColumnOf(static_cast<QueryField>(field));
    return columns;
}
