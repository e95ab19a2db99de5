#pragma once

#include "store/view/ViewSql.h"

#include <QString>
#include <QStringList>

// What is inside the stored copies: one row per distinct content (by content
// hash), with the text its reader found, and an index of that text. A row is
// queued (waiting) when a copy with a new hash is recorded, whoever records
// it: a trigger on the hash table adds it, so intake never waits for a reader.
//
// The index answers a contained term of any length: SQLite keeps every one-
// and two-character piece of each text (ASCII letters folded) as a token of a
// full-text table without positions; a term of three characters or more asks
// for all its pieces and the text's own LIKE confirms. A server keeps the
// two-character pieces in a GIN index, as it does for names and remarks.
namespace ContentIndex {

inline const QString table = QStringLiteral("文件内容");
inline const QString numberColumn = QStringLiteral("内容号");
inline const QString hashColumn = QStringLiteral("校验");
inline const QString stateColumn = QStringLiteral("状态");
inline const QString textColumn = QStringLiteral("文本");
inline const QString reasonColumn = QStringLiteral("说明");
// SQLite's full-text table of pieces; its rowid is the content number.
inline const QString piecesTable = QStringLiteral("文件内容_字片");
// Name/value pairs of the register's reading settings.
inline const QString settingsTable = QStringLiteral("文件内容_设置");
inline const QString ocrSetting = QStringLiteral("识别图片文字");
// The saved queries' column for the content box.
inline const QString queryColumn = QStringLiteral("文件内容中的词");

enum class State {
    Waiting = 0,       // not read yet
    Read = 1,          // read; the text may be empty
    WaitingForOcr = 2, // a scan: read when character recognition runs
    Skipped = 3,       // its reader failed; the reason says why
    NotRead = 4,       // a format no reader takes
};

// The statements that add the tables, the trigger and the queue of every
// hash already recorded, for each kind of register.
QStringList sqliteSchema();
QStringList serverSchema();

// The full-text document of `text` for the pieces table.
QString piecesOf(const QString& text);

// The records whose copy's text contains `term`, literally, ASCII letters
// folded, found through the pieces table (SQLite's words).
ViewSql contains(const QString& term);

// The server's function giving the one- and two-character pieces of a text.
inline const QString serverPieces = QStringLiteral("文件内容_字片");

} // namespace ContentIndex
