#include "browser/SystemViews.h"

#include "store/RegisterNames.h"
#include "store/Sql.h"

namespace SystemViews {

ViewCondition sentByMe()
{
    // "<>" drops NULL as well as the three listed values. The view holds
    // most records, so it is loaded as all records but those left out.
    const QString column = Sql::identifier(RegisterNames::recipient);
    const QVariantList leftOut = {RegisterNames::recipientSelf, RegisterNames::recipientLocal};
    return {QStringLiteral("%1 <> ? AND %1 <> ? AND %1 <> ''").arg(column),
            leftOut,
            {column + QStringLiteral(" IS NULL"), column + QStringLiteral(" IN (?, ?, '')")},
            leftOut};
}

SearchCriteria receivedByMe()
{
    SearchCriteria criteria;
    criteria.recipient = RegisterNames::recipientSelf;
    return criteria;
}

SearchCriteria localDocuments()
{
    SearchCriteria criteria;
    criteria.recipient = RegisterNames::recipientLocal;
    return criteria;
}

ViewCondition folder(const QString& name)
{
    // A plain equality, so an index on the folder column can serve it.
    return {Sql::identifier(RegisterNames::folder) + QStringLiteral(" = ?"), {name}};
}

ViewCondition allOf(const ViewCondition& first, const ViewCondition& second)
{
    if (first.isEmpty())
        return second;
    if (second.isEmpty())
        return first;
    return {QStringLiteral("(%1) AND (%2)").arg(first.where, second.where),
            first.values + second.values};
}

} // namespace SystemViews
