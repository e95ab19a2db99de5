#pragma once

#include "base/Result.h"

#include <QString>

#include <optional>

// Where a register kept on a PostgreSQL server lives: the server, its
// database and the shared folder that holds the copies. No password: libpq
// finds it in ~/.pgpass or PGPASSWORD, so it is never written down here.
struct PgTarget {
    QString host; // a name, an address, or a socket folder (starts with '/')
    int port = 0; // 0: libpq's default
    QString database;
    QString user;
    QString storeFolder; // absolute

    // The settings file that makes a register folder one on a server.
    static inline const QString settingsFile = QStringLiteral("quorvel.ini");

    // Whether `location` is written as a server URL rather than a folder.
    static bool isUrl(const QString& location);
    // postgresql://user@host:port/dbname?store=/shared/store, host may
    // instead be given as ?host=/socket/folder.
    static Result<PgTarget> fromUrl(const QString& url);
    // The settings of `folder`'s quorvel.ini; nothing when it has none. A
    // relative store folder is taken from `folder`.
    static std::optional<Result<PgTarget>> fromFolder(const QString& folder);

    // "server/db" for the person, e.g. "db.example:5432/files".
    QString shown() const;
    // A stable name for this database, for connection names and messages.
    QString url() const;
    // The URL that names this register again, its store folder included,
    // as --register and QUORVEL_REGISTER take it; fromUrl() reads it back
    // to this target.
    QString address() const;
};
