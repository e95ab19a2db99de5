#pragma once

#include "store/view/ViewSql.h"

#include <QString>
#include <QStringList>

// What is inside the stored copies: one row per distinct content (by content
// hash), with the text its reader found, and an index of that text. A row is
// queued (waiting) when a copy with a new hash is recorded, whoever records
// it: a trigger on the hash table adds it, so intake never waits for a reader.
//
// The index answers a contained term of any length: SQLite keeps each
// text's characters (ASCII letters folded) in one full-text table and its
// pairs of neighbouring characters with their positions in another, so a
// term is its character or the phrase of its pairs, an exact answer either
// way. A server keeps the one- and two-character pieces in a GIN index, as it
// does for names and remarks, and the text decides terms of three or more.
namespace ContentIndex {

inline const QString table = QStringLiteral("文件内容");
inline const QString numberColumn = QStringLiteral("内容号");
inline const QString hashColumn = QStringLiteral("校验");
inline const QString stateColumn = QStringLiteral("状态");
inline const QString textColumn = QStringLiteral("文本");
inline const QString reasonColumn = QStringLiteral("说明");
// SQLite's full-text tables of pieces, by content number: which texts hold
// each character, and where each pair of characters stands in them.
inline const QString charactersTable = QStringLiteral("文件内容_字");
inline const QString pairsTable = QStringLiteral("文件内容_字对");
// SQLite's table of which records have each content, by number.
inline const QString recordsTable = QStringLiteral("文件内容_记录");
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

// The full-text documents of `text` for the tables of characters and pairs.
QString charactersOf(const QString& text);
QString pairsOf(const QString& text);

// The records whose copy's text contains `term`, literally, ASCII letters
// folded, found through the pieces table (SQLite's words).
ViewSql contains(const QString& term);

// The server's function giving the one- and two-character pieces of a text.
inline const QString serverPieces = QStringLiteral("文件内容_字片");

} // namespace ContentIndex
