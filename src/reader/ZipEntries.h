#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <functional>
#include <optional>

// The entries of a zip file (office documents are zips) that a reader
// wants, unpacked into memory. What the file says of its sizes is not
// trusted: unpacking stops once `limit` bytes have come out in all.
namespace ZipEntries {

struct Entries {
    QMap<QString, QByteArray> wanted;
    bool tooLarge = false;
};

// Nothing when the file is not a readable zip.
std::optional<Entries> read(const QString& path, const std::function<bool(const QString&)>& wanted,
                            qint64 limit);

} // namespace ZipEntries
