#pragma once

#include "base/Result.h"

#include <QList>
#include <QSqlDatabase>
#include <QVariantList>

#include <functional>

// A view's keys read from the server through libpq itself: Qt's driver
// turns each of a million keys into a QVariant, and asked for them in
// binary, libpq hands them over as they came. Values go as parameters, as
// with Sql::run, and a connection found broken is opened again once.
namespace PgKeys {

// Whether `db` is a server connection whose keys are read this way. One
// that listens for notices is not: libpq would take them in unseen by Qt's
// driver, which hands them on.
bool readsRaw(const QSqlDatabase& db);

// Runs `sql`, whose first column is an integer key and whose values are
// marked in the server's own way, "$1", "$2"… (PgViewSql::Marks::Numbered),
// calling `each` with every key in the order of its rows.
Status each(const QSqlDatabase& db, const QString& sql, const QVariantList& values,
            const std::function<void(qint64)>& each);

// Runs `sql`, marked the same way, whose rows are an integer to order by
// (perhaps NULL) and an integer key, giving the keys in the server's order of the two: for a
// statement whose matches the server would otherwise sort itself, which
// takes it longer than here.
Result<QList<qint64>> sorted(const QSqlDatabase& db, const QString& sql,
                             const QVariantList& values);

} // namespace PgKeys
