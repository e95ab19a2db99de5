#include "operations/gui/HistoryFace.h"

#include "support/gui/Fonts.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

HistoryFace::HistoryFace(const QString& fileName, const QList<Audit::Entry>& entries,
                         QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("HistoryFace"));
    setWindowTitle(QStringLiteral("历史记录 - %1").arg(fileName));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(Fonts::ui());

    m_table = new QTableWidget(int(entries.size()), 4, this);
    m_table->setObjectName(QStringLiteral("HistoryGrid"));
    m_table->setHorizontalHeaderLabels(
        {Audit::timeColumn, Audit::userColumn, Audit::actionColumn, QStringLiteral("变更")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->setVisible(false);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    for (int row = 0; row < entries.size(); ++row) {
        const Audit::Entry& entry = entries[row];
        const QString changes = Audit::changesText(entry);
        const QStringList texts{entry.time, entry.user, entry.action, changes};
        for (int column = 0; column < texts.size(); ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            // The whole change, however long, is one hover away.
            item->setToolTip(column == 3 ? changes.split(QStringLiteral("；")).join(u'\n')
                                         : texts[column]);
            m_table->setItem(row, column, item);
        }
    }
    m_table->resizeColumnsToContents();
    m_table->horizontalHeader()->setStretchLastSection(true);

    auto* count =
        new QLabel(entries.isEmpty() ? QStringLiteral("这条记录没有历史记录。")
                                     : QStringLiteral("共 %1 条历史记录").arg(entries.size()),
                   this);
    count->setObjectName(QStringLiteral("HistoryCount"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(count, 1);
    bottom->addWidget(buttons);
    layout->addLayout(bottom);
    resize(760, 320);
}
