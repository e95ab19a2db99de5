#pragma once

#include "intake/Intake.h"
#include "store/folder/LiveWriter.h"
#include "store/folder/StoreFolder.h"

#include <QString>

#include <memory>
#include <variant>

namespace Intake {

// The system's own words for an errno value.
QString systemText(int error);
// A Failed outcome for `file`.
Outcome failed(const File& file, const QString& message, const QString& detail = {});

// A source file copied into the store folder under a working name and
// checked against its source: it waits there for its record. Its write-back
// to the disk has started; flush() waits for it, before the copy is named.
// Destroyed before its record is committed, it removes its file.
class StagedCopy {
public:
    // Copies `file` into the store, or says why not (a Failed, EmptySkipped
    // or Cancelled outcome). A missing source is reported, never created.
    static std::variant<std::unique_ptr<StagedCopy>, Outcome> stage(const Register& reg,
                                                                    const File& file, int index,
                                                                    const Progress& progress,
                                                                    const std::atomic_bool* cancel);
    // The same from `source`, a file the caller opened for reading (and
    // closes); `file` names it in messages.
    static std::variant<std::unique_ptr<StagedCopy>, Outcome>
    stageOpen(const Register& reg, const File& file, int source, int index = 0,
              const Progress& progress = {}, const std::atomic_bool* cancel = nullptr);

    ~StagedCopy();
    StagedCopy(const StagedCopy&) = delete;
    StagedCopy& operator=(const StagedCopy&) = delete;

    const File& file() const { return m_file; }
    int index() const { return m_index; }
    qint64 size() const { return m_size; }
    const QString& hash() const { return m_hash; }

    // Makes the copy's bytes durable: 0, or the errno. Copies staged one
    // after another and flushed together share the file system's journal
    // commits, where flushing each as it is written would cost one apiece.
    int flush();
    // Gives the flushed copy a second name, `storedName` in the store folder,
    // never replacing an entry there: 0, or the errno (EEXIST when taken).
    int placeAt(const QString& storedName);
    // Takes the name given by placeAt away again; the copy stays staged.
    void unplace();
    // Drops the working name once the record is committed.
    void finish();

    static QString writeErrorText(int error);

private:
    StagedCopy(File file, int index, StoreFolder store, QString workingName,
               std::shared_ptr<LiveWriter> writer);

    File m_file;
    int m_index;
    StoreFolder m_store;
    QString m_workingName;
    QString m_finalName;    // empty while unnamed
    bool m_renamed = false; // named by renaming: the working name is gone
    bool m_done = false;    // recorded: the stored name is the copy's for good
    qint64 m_size = 0;
    QString m_hash;
    int m_fd = -1; // open until flushed
    bool m_flushed = false;
    // Keeps the working file marked as a live program's until it is gone.
    std::shared_ptr<LiveWriter> m_writer;
};

} // namespace Intake
