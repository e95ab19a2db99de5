#include "browser/SystemViews.h"

#include "store/RegisterNames.h"
#include "store/view/ViewConditions.h"

namespace SystemViews {

ViewCondition sentByMe()
{
    return ViewConditions::sentByMe();
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
    return ViewConditions::folderIs(name);
}

ViewCondition allOf(const ViewCondition& first, const ViewCondition& second)
{
    return ViewConditions::allOf(first, second);
}

} // namespace SystemViews
