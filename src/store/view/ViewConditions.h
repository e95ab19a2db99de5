#pragma once

#include "store/RecordStore.h"
#include "store/view/ViewCondition.h"

#include <QDate>
#include <QString>

// The conditions views and searches are made of. Values are always bound;
// texts match literally.
namespace ViewConditions {

// The one record with this identity.
ViewCondition identityIs(qint64 identity);

// Recipient neither 自己 nor 本地文档 nor empty, compared by exact equality;
// records without a recipient never appear.
ViewCondition sentByMe();

// Records whose `field` is exactly `value`.
ViewCondition fieldIs(RecordField field, const QString& value);
// Records whose folder is exactly `name`.
ViewCondition folderIs(const QString& name);

// Both conditions at once; an empty side means no restriction.
ViewCondition allOf(const ViewCondition& first, const ViewCondition& second);

// Send date on or after `day`, and before `day`.
ViewCondition dateFrom(const QDate& day);
ViewCondition dateBefore(const QDate& day);

// `field` contains `text`, compared with every record.
ViewCondition contains(RecordField field, const QString& text);

// The same records, found through the register's search indexes where one
// serves the field.
ViewCondition indexedContains(RecordField field, const QString& text);

// The text read from the record's stored copy contains `text`.
ViewCondition contentContains(const QString& text);

// Escapes LIKE's wildcards so the text matches literally (escape char '\'),
// with "%" before and after: the pattern of a contains-search.
QString likeLiteral(const QString& text);

} // namespace ViewConditions
