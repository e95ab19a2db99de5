#pragma once

#include <QString>

// The boxes of the search panel, in box order: the seven of the record's
// fields, then the one of the copy's content.
struct SearchCriteria {
    enum Box {
        FileName = 0,
        Recipient,
        Method,
        Earliest,
        Latest,
        Remark,
        Folder,
        Content,
        BoxCount
    };

    QString fileName;
    QString recipient;
    QString method;
    QString earliest;
    QString latest;
    QString remark;
    QString folder;
    QString content; // a word in the stored copy's text

    QString& box(int index);
    const QString& box(int index) const;
    bool isEmpty() const;
};
