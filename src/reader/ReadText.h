#pragma once

#include <QString>

// What reading one file gave: its text, or why there is none. The reader
// program turns this into its exit status (see worker/main.cpp).
struct ReadText {
    enum class Status {
        Text,     // the text, possibly empty
        NotRead,  // not a format the readers know; nothing wrong with the file
        NeedsOcr, // only pictures of text: an image, or a PDF without a text layer
        Failed,   // damaged, too large, or refused; `reason` says which
    };
    Status status = Status::Text;
    QString text;
    QString reason;

    static ReadText of(QString text) { return {Status::Text, std::move(text), QString()}; }
    static ReadText notRead() { return {Status::NotRead, QString(), QString()}; }
    static ReadText needsOcr() { return {Status::NeedsOcr, QString(), QString()}; }
    static ReadText failed(QString reason)
    {
        return {Status::Failed, QString(), std::move(reason)};
    }
};

namespace Reasons {
inline QString damaged()
{
    return QStringLiteral("文件已损坏");
}
inline QString unknownEncoding()
{
    return QStringLiteral("无法判断文本编码");
}
inline QString tooLarge()
{
    return QStringLiteral("文件内容过大");
}
} // namespace Reasons
