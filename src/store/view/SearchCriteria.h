#pragma once

#include <QString>

// The seven boxes of the search panel, in box order 0..6.
struct SearchCriteria {
    enum Box { FileName = 0, Recipient, Method, Earliest, Latest, Remark, Folder, BoxCount };

    QString fileName;
    QString recipient;
    QString method;
    QString earliest;
    QString latest;
    QString remark;
    QString folder;

    QString& box(int index);
    const QString& box(int index) const;
    bool isEmpty() const;
};
