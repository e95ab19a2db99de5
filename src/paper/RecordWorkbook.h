#pragma once

#include "base/Result.h"
#include "paper/PaperProgress.h"
#include "store/RegisterRecord.h"

#include <QString>

#include <memory>

class ViewRst;
struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

// An .xlsx workbook of records, one row each under a header row, in the
// columns `list` prints: serials as numbers, dates as dates, every other
// value as text, never as a formula, whatever it starts with. Rows go to
// disk as they are added (libxlsxwriter's constant-memory mode), so the
// size of a view does not matter; the file is written under a temporary name
// beside the target and takes its name only when complete.
class RecordWorkbook {
public:
    static Result<std::unique_ptr<RecordWorkbook>> start(const QString& path);
    // A workbook not finished leaves no file behind.
    ~RecordWorkbook();
    RecordWorkbook(const RecordWorkbook&) = delete;
    RecordWorkbook& operator=(const RecordWorkbook&) = delete;

    Status add(const RegisterRecord& record);
    Status finish();

private:
    RecordWorkbook(QString path, QString partial);
    Error writeFailed(const QString& detail = {}) const;

    QString m_path;
    QString m_partial;
    lxw_workbook* m_book = nullptr;
    lxw_worksheet* m_sheet = nullptr;
    lxw_format* m_date = nullptr;
    quint32 m_row = 0;
};

// The records of `view` as a workbook at `path`. True when written, false
// when `progress` stopped it (no file is left then, nor after a failure).
Result<bool> writeWorkbook(const QString& path, const ViewRst& view,
                           const PaperProgress& progress = {});
