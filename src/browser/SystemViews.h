#pragma once

#include "store/view/SearchCriteria.h"
#include "store/view/ViewCondition.h"

// The fixed views of the register besides the combined search: what the user
// sent, received or keeps locally, and the records of one folder. Received
// and local documents are combined searches with the recipient box filled,
// so the user can refine them in the search panel.
namespace SystemViews {

// Recipient neither 自己 nor 本地文档 nor empty, compared by exact equality;
// records without a recipient never appear.
ViewCondition sentByMe();

// The search boxes of the received-files and local-documents views.
SearchCriteria receivedByMe();
SearchCriteria localDocuments();

// Records whose folder is exactly `name`.
ViewCondition folder(const QString& name);

// Both conditions at once; an empty side means no restriction.
ViewCondition allOf(const ViewCondition& first, const ViewCondition& second);

} // namespace SystemViews
