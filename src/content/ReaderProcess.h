#pragma once

#include "base/Result.h"

#include <QByteArray>
#include <QString>

// The content of a stored copy, read by the reader program (quorvel-reader)
// in a process of its own: the files come from anywhere, and one that makes
// a reader crash, hang or pour out text costs that process only. Each call
// waits for the program; call it off the interface's thread.

struct ReaderLimits {
    qint64 outputBytes = qint64(64) << 20;
    int seconds = 120;
    int ocrSeconds = 600;
};

struct ReadOutcome {
    enum class Kind {
        Text,     // `text` is the content (possibly empty)
        NotRead,  // a format no reader knows
        NeedsOcr, // only pictures of text, and recognition was not asked for
        Skipped,  // damaged, too large, too slow or a reader failure: `reason`
    };
    Kind kind = Kind::NotRead;
    QString text;
    QString reason;
};

// Whether the reader program is there to be run: without it every file
// would be skipped, so a run of many files asks first.
Status readerAvailable();

// `fileName` is the name the file was registered under: its extension helps
// where the first bytes do not tell the format.
ReadOutcome readContent(const QString& path, const QString& fileName, bool ocr,
                        const ReaderLimits& limits = {});
// Pages of a PDF, pictures of a TIFF; 1 for other files.
Result<int> pageCount(const QString& path, const QString& fileName);
// Page `page` (from 1) as a PNG `width` pixels wide, for a preview.
Result<QByteArray> renderPage(const QString& path, const QString& fileName, int page, int width);
