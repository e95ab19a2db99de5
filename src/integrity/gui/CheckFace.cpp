#include "integrity/gui/CheckFace.h"

#include "support/gui/MessageBox.h"
#include "support/gui/ReportWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

CheckFace::CheckFace(Register reg, QWidget* parent) : QDialog(parent), m_register(std::move(reg))
{
    setObjectName(QStringLiteral("CheckFace"));
    setWindowTitle(QStringLiteral("检查登记库"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(680, 400);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("StatusLabel"));
    m_status->setWordWrap(true);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("CheckProgress"));
    m_bar->setTextVisible(false);
    m_bar->setMaximumHeight(12);

    m_list = new QTableWidget(0, 2, this);
    m_list->setObjectName(QStringLiteral("FindingsList"));
    m_list->setHorizontalHeaderLabels({QStringLiteral("类别"), QStringLiteral("说明")});
    m_list->verticalHeader()->hide();
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setWordWrap(true);
    m_list->setShowGrid(false);
    m_list->setAlternatingRowColors(true);
    m_list->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Long sentences wrap; rows grow to fit when the window is resized.
    connect(m_list->horizontalHeader(), &QHeaderView::sectionResized, m_list,
            &QTableWidget::resizeRowsToContents);

    m_verify = new QCheckBox(QStringLiteral("核对内容（读取每个存储副本，较慢）"), this);
    m_verify->setObjectName(QStringLiteral("VerifyCheck"));
    m_checkButton = new QPushButton(QStringLiteral("重新检查"), this);
    m_checkButton->setObjectName(QStringLiteral("CheckCommand"));
    m_repairButton = new QPushButton(QStringLiteral("删除残留文件"), this);
    m_repairButton->setObjectName(QStringLiteral("RepairCommand"));
    m_repairButton->setToolTip(
        QStringLiteral("删除中断的复制和删除留下的文件；不会删除任何记录的文件"));
    m_saveButton = new QPushButton(QStringLiteral("保存…"), this);
    m_saveButton->setObjectName(QStringLiteral("SaveReportCommand"));
    m_closeButton = new QPushButton(QStringLiteral("关闭"), this);
    m_closeButton->setObjectName(QStringLiteral("CancelCommand"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_verify);
    buttons->addStretch();
    buttons->addWidget(m_checkButton);
    buttons->addWidget(m_repairButton);
    buttons->addWidget(m_saveButton);
    buttons->addWidget(m_closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    layout->addWidget(m_bar);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);

    m_poll = new QTimer(this);
    m_poll->setInterval(100);
    connect(m_poll, &QTimer::timeout, this, &CheckFace::showProgress);
    connect(&m_watcher, &QFutureWatcher<Outcome>::finished, this, &CheckFace::finished);
    connect(m_checkButton, &QPushButton::clicked, this, [this] { runCheck(); });
    connect(m_repairButton, &QPushButton::clicked, this, &CheckFace::removeLeftovers);
    connect(m_saveButton, &QPushButton::clicked, this, &CheckFace::saveReport);
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::close);
    updateButtons();
}

CheckFace::~CheckFace()
{
    // The worker reads the store folder; let it stop before the window goes.
    if (m_progress)
        m_progress->cancelled = true;
    m_watcher.waitForFinished();
}

CheckFace* CheckFace::showFor(QWidget* parent, const Register& reg)
{
    CheckFace* face = parent->findChild<CheckFace*>(QString(), Qt::FindDirectChildrenOnly);
    if (!face) {
        face = new CheckFace(reg, parent);
        face->runCheck();
    }
    face->show();
    face->raise();
    face->activateWindow();
    return face;
}

bool CheckFace::isRunning() const
{
    // Until its outcome is shown, not merely until the worker returns.
    return m_running;
}

void CheckFace::runCheck(bool repair)
{
    if (isRunning())
        return;
    m_progress = std::make_shared<Progress>();
    Integrity::Options options;
    options.verify = m_verify->isChecked();
    options.repair = repair;
    options.cancelled = &m_progress->cancelled;
    std::shared_ptr<Progress> progress = m_progress;
    options.progress = [progress](qint64 done, qint64 total) {
        progress->total = total;
        progress->done = done;
    };
    m_status->setText(repair           ? QStringLiteral("正在删除残留文件……")
                      : options.verify ? QStringLiteral("正在检查并核对内容……")
                                       : QStringLiteral("正在检查……"));
    m_running = true;
    m_bar->setRange(0, 0);
    m_bar->show();
    m_poll->start();
    const Register reg = m_register;
    m_watcher.setFuture(QtConcurrent::run([reg, options, progress]() {
        Outcome outcome;
        Result<Integrity::Report> report = Integrity::check(reg, options);
        if (report)
            outcome.report = std::move(report).value();
        else
            outcome.error = report.error();
        // Pool threads live on; their connection must not.
        reg.closeConnection();
        return outcome;
    }));
    updateButtons();
}

void CheckFace::removeLeftovers()
{
    if (isRunning() || !m_report)
        return;
    const int count = m_report->removableLeftovers();
    if (count == 0)
        return;
    const QString question =
        QStringLiteral("删除 %1 个中断的复制或删除留下的残留文件吗？\n"
                       "能确定属于某条记录的文件会被放回原处；任何记录的文件都不会被删除。")
            .arg(count);
    if (MessageBox::question(this, question) != MessageBox::Yes)
        return;
    runCheck(true);
}

void CheckFace::closeEvent(QCloseEvent* event)
{
    if (m_progress)
        m_progress->cancelled = true;
    QDialog::closeEvent(event);
}

void CheckFace::showProgress()
{
    const qint64 total = m_progress ? m_progress->total.load() : 0;
    if (total <= 0)
        return;
    // Counts of records fit an int range once scaled to per mille.
    m_bar->setRange(0, 1000);
    m_bar->setValue(static_cast<int>(m_progress->done.load() * 1000 / total));
}

void CheckFace::finished()
{
    m_running = false;
    m_poll->stop();
    m_bar->hide();
    const Outcome outcome = m_watcher.result();
    if (!outcome.report) {
        m_status->setText(QStringLiteral("检查未能完成：%1").arg(outcome.error.message));
        if (!m_progress->cancelled)
            MessageBox::warning(this, outcome.error.fullText());
        updateButtons();
        return;
    }
    m_report = outcome.report;
    showReport();
    updateButtons();
}

void CheckFace::showReport()
{
    m_list->setRowCount(0);
    for (const Integrity::Finding& finding : m_report->findings) {
        // Unhashed copies of older registers are counted in the summary.
        if (finding.kind == Integrity::Kind::NotHashed)
            continue;
        const int row = m_list->rowCount();
        m_list->insertRow(row);
        m_list->setItem(row, 0, new QTableWidgetItem(Integrity::kindLabel(finding.kind)));
        m_list->setItem(row, 1, new QTableWidgetItem(finding.text()));
        if (finding.resolved) {
            for (int column = 0; column < 2; ++column) {
                m_list->item(row, column)
                    ->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
            }
        }
    }
    m_list->resizeRowsToContents();
    QString text = m_report->summary();
    if (m_report->removableLeftovers() > 0)
        text += QStringLiteral("残留文件可以用“删除残留文件”清除；其他问题请自行决定如何处理。");
    m_status->setText(text);
}

void CheckFace::saveReport()
{
    QStringList lines;
    for (int row = 0; row < m_list->rowCount(); ++row)
        lines << m_list->item(row, 0)->text() + QStringLiteral("：") + m_list->item(row, 1)->text();
    ReportWindow::saveAs(this, m_status->text(), lines);
}

void CheckFace::updateButtons()
{
    const bool running = isRunning();
    m_checkButton->setEnabled(!running);
    m_verify->setEnabled(!running);
    m_repairButton->setEnabled(!running && m_report && m_report->removableLeftovers() > 0);
    m_saveButton->setEnabled(!running && m_report);
}
