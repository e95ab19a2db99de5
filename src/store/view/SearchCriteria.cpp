#include "store/view/SearchCriteria.h"

QString& SearchCriteria::box(int index)
{
    switch (index) {
    case FileName:
        return fileName;
    case Recipient:
        return recipient;
    case Method:
        return method;
    case Earliest:
        return earliest;
    case Latest:
        return latest;
    case Remark:
        return remark;
    case Folder:
        return folder;
    default:
        return content;
    }
}

const QString& SearchCriteria::box(int index) const
{
    return const_cast<SearchCriteria*>(this)->box(index);
}

bool SearchCriteria::isEmpty() const
{
    for (int i = 0; i < BoxCount; ++i) {
        if (!box(i).isEmpty())
            return false;
    }
    return true;
}
