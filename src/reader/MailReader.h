#pragma once

#include "reader/ReadText.h"

#include <QByteArray>

// E-mail messages (.eml, RFC 5322 with MIME): subject, sender and
// recipients, the text of the body parts in their own charsets, and the
// names of the attached files.
namespace MailReader {

// Whether `head` starts like a stored message.
bool looksLikeMail(const QByteArray& head);

ReadText text(const QByteArray& bytes);

} // namespace MailReader
