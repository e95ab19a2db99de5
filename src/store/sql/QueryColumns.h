#pragma once

#include "store/RecordStore.h"

#include <QString>
#include <QStringList>

// The saved-query table's columns, the same on both kinds of register.
QString queryColumnOf(QueryField field);

// Every column, in QueryField order.
QStringList allQueryColumns();
