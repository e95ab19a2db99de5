#pragma once

#include "base/Result.h"
#include "store/Register.h"
#include "store/view/SearchCriteria.h"
#include "store/view/ViewCondition.h"

#include <QString>
#include <QStringList>

#include <functional>

// Which view a page shows, as its address tells it: v=all|sent|received|
// local|folder|search|query, f=folder name, q=saved query 1..9, b0..b7 the
// search boxes in box order, p=page. The views are those of the main window
// and built the same way.
struct ViewRequest {
    enum class Kind { All, Sent, Received, Local, Folder, Search, Query };
    Kind kind = Kind::All;
    QString folder;
    int slot = 0;
    SearchCriteria boxes; // as typed, for a search
    int page = 1;

    // From the address's parameters (`param` gives "" for a missing one).
    static ViewRequest from(const std::function<QString(const QString&)>& param);
    // The parameters that choose the view again (no page), for links and forms.
    QString query() const;
};

struct ChosenView {
    ViewCondition condition;
    QString caption;
    SearchCriteria shown; // the boxes as the window would show them
    QStringList ignoredDates;
};

Result<ChosenView> chooseView(const Register& reg, const ViewRequest& request);

// A condition as a text that is equal exactly when the conditions are: the
// key under which a view's records are kept.
QString conditionKey(const ViewCondition& condition);
