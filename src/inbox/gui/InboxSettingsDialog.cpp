#include "inbox/gui/InboxSettingsDialog.h"

#include "inbox/Inbox.h"
#include "support/gui/MessageBox.h"
#include "support/gui/SaveDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

InboxSettingsDialog::InboxSettingsDialog(const Register& reg, QWidget* parent)
    : QDialog(parent), m_register(reg)
{
    setObjectName(QStringLiteral("InboxSettings"));
    setWindowTitle(QStringLiteral("收件箱设置"));
    auto* form = new QFormLayout(this);
    auto* intro = new QLabel(QStringLiteral("放进收件箱文件夹的文件（扫描件、下载的文件）会按下面的"
                                            "内容自动登记，登记后从收件箱中移除；不能登记的文件移到"
                                            "其中的“%1”文件夹。文件夹留空则不使用收件箱。")
                                 .arg(Inbox::refusedFolder),
                             this);
    intro->setWordWrap(true);
    form->addRow(intro);
    const auto line = [this](const char* name) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        return edit;
    };
    m_folder = line("InboxFolder");
    auto* browse = new QPushButton(QStringLiteral("浏览…"), this);
    browse->setObjectName(QStringLiteral("InboxBrowse"));
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString chosen =
            SaveDialog::getExistingFolder(this, QStringLiteral("选择收件箱文件夹"));
        if (!chosen.isEmpty())
            m_folder->setText(chosen);
    });
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(browse);
    form->addRow(QStringLiteral("收件箱文件夹："), folderRow);
    m_recipient = line("InboxRecipient");
    m_method = line("InboxMethod");
    m_recordFolder = line("InboxRecordFolder");
    form->addRow(QStringLiteral("接收人："), m_recipient);
    form->addRow(QStringLiteral("传送方式："), m_method);
    form->addRow(QStringLiteral("文件夹："), m_recordFolder);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);

    if (Result<Inbox::Settings> settings = Inbox::settings(reg)) {
        m_folder->setText(settings->folder);
        m_recipient->setText(settings->recipient);
        m_method->setText(settings->method);
        m_recordFolder->setText(settings->recordFolder);
    } else {
        MessageBox::warning(parent, settings.error().fullText());
    }
    resize(sizeHint().expandedTo(QSize(520, 0)));
}

void InboxSettingsDialog::accept()
{
    const Inbox::Settings settings{m_folder->text().trimmed(), m_recipient->text(),
                                   m_method->text(), m_recordFolder->text()};
    if (Status stored = Inbox::setSettings(m_register, settings); !stored) {
        MessageBox::warning(this, stored.error().fullText());
        return;
    }
    QDialog::accept();
}

bool InboxSettingsDialog::edit(QWidget* parent, const Register& reg)
{
    InboxSettingsDialog dialog(reg, parent);
    return dialog.exec() == QDialog::Accepted;
}
