#include "intake/gui/SelectFace.h"

#include "base/DateText.h"
#include "intake/LookupLists.h"
#include "intake/gui/LookupCombos.h"
#include "store/RecordFields.h"
#include "support/gui/ClosingSequence.h"
#include "support/gui/Fonts.h"
#include "support/gui/MessageBox.h"
#include "support/gui/TypedCombo.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QtConcurrent/QtConcurrentRun>

namespace {

struct Place {
    int left;
    int top;
    int width;
    int height;
};

// The fields the label array names, by index.
const RecordField labelled[] = {RecordField::FileName,  RecordField::Remark, RecordField::Date,
                                RecordField::Recipient, RecordField::Method, RecordField::Folder};
const Place labelPlaces[] = {{16, 8, 137, 17},    {224, 8, 137, 17},   {16, 216, 137, 17},
                             {224, 216, 137, 17}, {224, 264, 137, 17}, {224, 312, 137, 17}};
const Place comboPlaces[] = {{224, 232, 185, 20}, {224, 280, 185, 20}, {224, 328, 185, 20}};

void place(QWidget* widget, const Place& p)
{
    widget->setGeometry(Fonts::scaled(p.left), Fonts::scaled(p.top), Fonts::scaled(p.width),
                        Fonts::scaled(p.height));
}

// Batches this small finish before a progress window would be worth showing.
constexpr int progressDelayMs = 400;

} // namespace

SelectFace::SelectFace(Register reg, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      m_register(std::move(reg)), m_cancelFlag(std::make_shared<std::atomic_bool>(false))
{
    setObjectName(QStringLiteral("SelectFace"));
    setWindowTitle(QStringLiteral("添加记录"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(Fonts::ui(9));
    setFixedSize(Fonts::scaled(425), Fonts::scaled(363));

    for (int i = 0; i < 6; ++i) {
        auto* label = new QLabel(RecordFields::of(labelled[i]).label, this);
        label->setObjectName(QStringLiteral("Label1%1").arg(i));
        place(label, labelPlaces[i]);
    }

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("List1"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setDragDropMode(QAbstractItemView::NoDragDrop);
    place(m_list, {16, 24, 185, 184});

    m_remark = new QPlainTextEdit(this);
    m_remark->setObjectName(QStringLiteral("RemarksText"));
    m_remark->setTabChangesFocus(true);
    place(m_remark, {224, 24, 185, 185});

    m_date = new QLineEdit(this);
    m_date->setObjectName(QStringLiteral("Text1"));
    place(m_date, {16, 232, 185, 33});

    for (int i = 0; i < 3; ++i) {
        auto* combo = new QComboBox(this);
        combo->setObjectName(QStringLiteral("Combo1%1").arg(i));
        TypedCombo::keepTypedText(combo);
        place(combo, comboPlaces[i]);
        m_combos << combo;
    }

    m_fixed = new QPushButton(QStringLiteral("保存文件"), this);
    m_fixed->setObjectName(QStringLiteral("FixedCommand"));
    place(m_fixed, {16, 296, 81, 33});
    m_cancel = new QPushButton(QStringLiteral("关闭窗口"), this);
    m_cancel->setObjectName(QStringLiteral("CancelCommand"));
    place(m_cancel, {120, 296, 81, 33});

    // Tab order follows the layout: list, date, buttons, then the right column.
    setTabOrder(m_list, m_date);
    setTabOrder(m_date, m_fixed);
    setTabOrder(m_fixed, m_cancel);
    setTabOrder(m_cancel, m_remark);
    setTabOrder(m_remark, m_combos[0]);
    setTabOrder(m_combos[0], m_combos[1]);
    setTabOrder(m_combos[1], m_combos[2]);

    connect(m_fixed, &QPushButton::clicked, this, &SelectFace::FixedCommand_Click);
    connect(m_cancel, &QPushButton::clicked, this, &SelectFace::CancelCommand_Click);
    connect(&m_watcher, &QFutureWatcher<QList<Intake::Outcome>>::finished, this,
            &SelectFace::batchFinished);

    m_closing = new ClosingSequence(this, [this] { Q_EMIT foldersChanged(); });

    LookupCombos::fill(this, {m_combos[0], m_combos[1], m_combos[2]},
                       {LookupLists::recipients(m_register),
                        LookupLists::addFormMethods(m_register), LookupLists::folders(m_register)});
    m_date->setText(DateText::today());
}

SelectFace::~SelectFace()
{
    // The program may end while files are still being copied: stop after
    // the current file and let it finish cleanly.
    if (m_saving) {
        m_cancelFlag->store(true);
        m_watcher.waitForFinished();
    }
}

void SelectFace::addFiles(const QStringList& paths)
{
    for (const QString& path : paths) {
        m_paths << path;
        auto* line = new QListWidgetItem(QFileInfo(path).fileName(), m_list);
        line->setToolTip(path);
    }
}

bool SelectFace::acceptsFiles() const
{
    return !m_saving && !m_closing->isRunning();
}

void SelectFace::FixedCommand_Click()
{
    if (!acceptsFiles())
        return;
    const std::optional<QDate> date = DateText::parse(m_date->text());
    if (!date) {
        MessageBox::warning(this, QStringLiteral("请输入一个有效的日期"));
        return;
    }

    Q_EMIT saveStarted();

    Intake::Details details;
    details.date = *date;
    details.remark = m_remark->toPlainText();
    details.recipient = m_combos[0]->currentText();
    details.method = m_combos[1]->currentText();
    details.folder = m_combos[2]->currentText();
    QList<Intake::File> files;
    for (int i = 0; i < m_list->count(); ++i)
        files << Intake::File{m_paths.value(i), m_list->item(i)->text()};

    m_batchSize = static_cast<int>(files.size());
    setBusy(true);
    // Copying runs off the window thread so a large batch never freezes the
    // windows; the worker opens its own database connection.
    const Register reg = m_register;
    const std::shared_ptr<std::atomic_bool> cancel = m_cancelFlag;
    m_watcher.setFuture(QtConcurrent::run([this, reg, files, details, cancel] {
        const Intake::Progress progress = [this](int index, const QString& fileName, qint64 done,
                                                 qint64 total) {
            QMetaObject::invokeMethod(
                this,
                [this, index, fileName, done, total] {
                    showProgress(index, fileName, done, total);
                },
                Qt::QueuedConnection);
        };
        QList<Intake::Outcome> outcomes =
            Intake::runBatch(reg, files, details, progress, cancel.get());
        reg.closeConnection();
        return outcomes;
    }));
}

void SelectFace::setBusy(bool busy)
{
    m_saving = busy;
    m_fixed->setEnabled(!busy);
    m_cancel->setEnabled(!busy);
    if (busy) {
        m_progress = new QProgressDialog(this);
        m_progress->setObjectName(QStringLiteral("IntakeProgress"));
        m_progress->setWindowTitle(QStringLiteral("正在保存文件"));
        m_progress->setLabelText(QStringLiteral("正在准备……"));
        m_progress->setCancelButtonText(QStringLiteral("取消"));
        m_progress->setWindowModality(Qt::WindowModal);
        m_progress->setMinimumDuration(progressDelayMs);
        m_progress->setAutoClose(false);
        m_progress->setAutoReset(false);
        m_progress->setRange(0, std::max(1, m_batchSize) * 1000);
        m_progress->setValue(0);
        m_progress->setMinimumWidth(360);
        connect(m_progress, &QProgressDialog::canceled, this, [this] {
            m_cancelFlag->store(true);
            m_progress->setLabelText(QStringLiteral("正在取消……"));
        });
    } else if (m_progress) {
        // Deleted now, not later: its show timer must not bring it back over
        // the messages that follow.
        delete m_progress;
        m_progress = nullptr;
    }
}

void SelectFace::showProgress(int index, const QString& fileName, qint64 done, qint64 total)
{
    if (!m_progress || m_cancelFlag->load())
        return;
    m_progress->setLabelText(QStringLiteral("正在保存第 %1 个文件（共 %2 个）：\n%3")
                                 .arg(index + 1)
                                 .arg(m_batchSize)
                                 .arg(fileName));
    const int part = total > 0 ? static_cast<int>(done * 1000 / total) : 0;
    m_progress->setValue(index * 1000 + std::clamp(part, 0, 999));
}

void SelectFace::batchFinished()
{
    const QList<Intake::Outcome> outcomes = m_watcher.result();
    setBusy(false);
    // Stays marked busy for drops until the closing sequence takes over.
    m_saving = true;
    reportOutcomes(outcomes);

    QList<qint64> serials;
    for (const Intake::Outcome& outcome : outcomes) {
        if (outcome.kind == Intake::Outcome::Registered)
            serials << outcome.serial;
    }
    Q_EMIT registered(serials);

    m_saving = false;
    m_closing->start();
}

void SelectFace::reportOutcomes(const QList<Intake::Outcome>& outcomes)
{
    QStringList failures;
    QStringList cancelled;
    QStringList duplicates;
    for (const Intake::Outcome& outcome : outcomes) {
        switch (outcome.kind) {
        case Intake::Outcome::Registered:
            if (!outcome.sameContent.isEmpty())
                duplicates << Intake::sameContentNote(outcome);
            break;
        case Intake::Outcome::EmptySkipped:
            MessageBox::warning(this, Intake::emptyFileMessage);
            break;
        case Intake::Outcome::Failed:
            failures << outcome.fileName + QStringLiteral("：") + outcome.error.message;
            break;
        case Intake::Outcome::Cancelled:
            cancelled << outcome.fileName;
            break;
        }
    }
    if (!failures.isEmpty())
        MessageBox::warning(this, QStringLiteral("以下文件未能保存：\n") +
                                      failures.join(QLatin1Char('\n')));
    if (!cancelled.isEmpty())
        MessageBox::information(this, QStringLiteral("已取消，以下文件没有保存：\n") +
                                          cancelled.join(QLatin1Char('\n')));
    if (!duplicates.isEmpty())
        MessageBox::information(this, duplicates.join(QLatin1Char('\n')));
}

void SelectFace::CancelCommand_Click()
{
    if (!m_saving)
        close();
}

void SelectFace::closeEvent(QCloseEvent* event)
{
    // Closing in the middle of a batch would leave the user unsure what was
    // saved; the progress window offers cancelling instead.
    if (m_saving) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}
