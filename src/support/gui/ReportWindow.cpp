#include "support/gui/ReportWindow.h"

#include "support/gui/MessageBox.h"
#include "support/gui/SaveDialog.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

ReportWindow::ReportWindow(QWidget* parent, const QString& summary, const QStringList& lines,
                           bool warning)
    : QDialog(parent), m_summary(summary), m_lines(lines)
{
    setObjectName(QStringLiteral("ReportWindow"));
    setWindowTitle(warning ? MessageBox::warningCaption : MessageBox::noticeCaption);
    setSizeGripEnabled(true);

    auto* icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()
                        ->standardIcon(warning ? QStyle::SP_MessageBoxWarning
                                               : QStyle::SP_MessageBoxInformation,
                                       nullptr, this)
                        .pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop);
    auto* summaryLabel = new QLabel(summary.trimmed(), this);
    summaryLabel->setObjectName(QStringLiteral("ReportSummary"));
    summaryLabel->setWordWrap(true);
    summaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* list = new QPlainTextEdit(this);
    list->setObjectName(QStringLiteral("ReportList"));
    list->setReadOnly(true);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    list->setPlainText(lines.join(QLatin1Char('\n')));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* save = buttons->addButton(QStringLiteral("保存…"), QDialogButtonBox::ActionRole);
    save->setObjectName(QStringLiteral("SaveReportCommand"));
    QPushButton* ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("FixedCommand"));
    ok->setDefault(true);
    connect(save, &QPushButton::clicked, this, [this] { saveAs(this, m_summary, m_lines); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(summaryLabel, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(list, 1);
    layout->addWidget(buttons);

    // Room for a screenful of the list, never more than the screen holds.
    QSize size(640, 480);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(size);
}

bool ReportWindow::save(const QString& path, const QString& summary, const QStringList& lines,
                        QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        *error = file.errorString();
        return false;
    }
    QString text = summary.trimmed() + QStringLiteral("\n\n");
    for (const QString& line : lines)
        text += line + QLatin1Char('\n');
    file.write(text.toUtf8());
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

void ReportWindow::saveAs(QWidget* parent, const QString& summary, const QStringList& lines)
{
    const QString path = SaveDialog::getSaveFileName(parent, QStringLiteral("报告.txt"));
    if (path.isEmpty())
        return;
    QString error;
    if (!save(path, summary, lines, &error))
        MessageBox::warning(parent, QStringLiteral("无法保存报告“%1”：%2").arg(path, error));
}
