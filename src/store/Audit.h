#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariantMap>

// Who changed which record, when and how. Every change to a record writes one
// entry for that record in the same transaction as the change itself, so an
// entry exists exactly when the change was kept.
//
// The stored form, the same for every database:
//   时间   "yyyy-MM-dd HH:mm:ss", local time (as the bin keeps deletions)
//   用户   the login name of the operating-system user
//   操作   one of the action texts below
//   记录号 the record's identity (after a restore: its identity as restored)
//   原值, 新值  each a compact JSON object from the record table's column
//          names to the stored values (numbers stay numbers, text is text,
//          NULL is null) of just the fields that changed; "{}" when none:
//            登记  原值 {}, 新值 every non-empty field of the new record
//            修改  the fields whose value differs, before and after (null and
//                  the empty text count as the same; a record whose values
//                  all stayed gets no entry)
//            移动  原值 and 新值 each {"文件序号": …}; both records of a swap
//                  get an entry
//            删除  原值 every non-empty field of the record, 新值 {}
//            恢复  新值 every non-empty field of the record as restored; 原值
//                  the serial and stored name it had in the bin, for those
//                  that had to change, else {}; a restore under a new
//                  identity adds "记录号" (old and new) to both
//            转换  原值 {}, 新值 every non-empty field of the record as it came
//                  over from an old register
namespace Audit {

inline const QString table = QStringLiteral("历史记录");
// The order entries were written in: times of one second tie.
inline const QString numberColumn = QStringLiteral("编号");
inline const QString timeColumn = QStringLiteral("时间");
inline const QString userColumn = QStringLiteral("用户");
inline const QString actionColumn = QStringLiteral("操作");
inline const QString identityColumn = QStringLiteral("记录号");
inline const QString oldColumn = QStringLiteral("原值");
inline const QString newColumn = QStringLiteral("新值");

inline const QString added = QStringLiteral("登记");
inline const QString modified = QStringLiteral("修改");
inline const QString moved = QStringLiteral("移动");
inline const QString deleted = QStringLiteral("删除");
inline const QString restored = QStringLiteral("恢复");
inline const QString converted = QStringLiteral("转换");

struct Entry {
    QString time;
    QString user;
    QString action;
    qint64 identity = 0;
    QVariantMap oldValues; // column name -> stored value
    QVariantMap newValues;
};

// The operating-system login name, read once per program; on a thread that
// acts for a signed-in account (a request to the web server), that name.
QString userName();

// While it lives, changes made on this thread are entered under `name`.
class ActingUser {
public:
    explicit ActingUser(const QString& name);
    ~ActingUser();
    ActingUser(const ActingUser&) = delete;
    ActingUser& operator=(const ActingUser&) = delete;

private:
    QString m_previous;
};
// The local time of a change as entries keep it.
QString now();

// A values map as its stored JSON text, and back (an unreadable text gives
// an empty map).
QString encode(const QVariantMap& values);
QVariantMap decode(const QString& text);

// Non-empty values of `values` only: what a new or removed record had.
QVariantMap present(const QVariantMap& values);

// A record's values in the order of the record table's columns, by name.
QVariantMap recordValues(const QVariantList& values);

// The fields of `after` whose values differ from `before` (null and the
// empty text alike), as the old and the new values.
QPair<QVariantMap, QVariantMap> differences(const QVariantMap& before, const QVariantMap& after);

// One line for a person, fields in the register's column order, dates as
// shown: "备注: 旧 → 新；文件夹: 甲 → 乙" (a field with one side only shows
// that side's value).
QString changesText(const Entry& entry);

} // namespace Audit
