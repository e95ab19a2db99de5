#include "modify/gui/AlterFace.h"

#include "intake/LookupLists.h"
#include "intake/gui/LookupCombos.h"
#include "operations/RecordLookup.h"
#include "support/gui/ClosingSequence.h"
#include "support/gui/Fonts.h"
#include "support/gui/Icons.h"
#include "support/gui/MessageBox.h"
#include "support/gui/TypedCombo.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

using RecordModify::Field;

namespace {

const QString batchWarning =
    QStringLiteral("你正在批量修改多个文件的单项参数，该操作不可撤消！你要修改吗？");

// The fields the buttons change, in button order: the remark box, then the
// lists.
const QList<RecordField>& buttonFields()
{
    static const QList<RecordField> fields = [] {
        QList<RecordField> modifiable;
        for (const RecordFields::Field& field : RecordFields::all()) {
            if (field.modifiable)
                modifiable << field.field;
        }
        return modifiable;
    }();
    return fields;
}

} // namespace

AlterFace::AlterFace(Register reg, QList<SeenRecord> records, QWidget* parent)
    : QDialog(parent), m_register(std::move(reg)), m_records(std::move(records)),
      m_mode(m_records.size() == 1 ? Mode::Single : Mode::Batch)
{
    setObjectName(QStringLiteral("AlterFace"));
    setWindowTitle(QStringLiteral("修改记录"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Escape ends the dialog without closing it: it goes all the same.
    connect(this, &QDialog::finished, this, &QObject::deleteLater);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFont(Fonts::ui(9));
    setFixedSize(Fonts::scaled(572), Fonts::scaled(366));
    buildControls();
    fillLookupLists();
    fillRecords();

    m_closing = new ClosingSequence(this, [this] { Q_EMIT foldersChanged(); });
}

void AlterFace::buildControls()
{
    auto place = [](QWidget* widget, const QString& name, int left, int top, int width,
                    int height) {
        widget->setObjectName(name);
        widget->setGeometry(Fonts::scaled(left), Fonts::scaled(top), Fonts::scaled(width),
                            Fonts::scaled(height));
    };
    m_label1 = new QLabel(QStringLiteral("批量修改文件信息列表"), this);
    place(m_label1, QStringLiteral("Label1"), 16, 8, 225, 25);
    m_fileList = new QListWidget(this);
    place(m_fileList, QStringLiteral("FileList"), 16, 32, 233, 280);
    m_fileList->setSelectionMode(QAbstractItemView::NoSelection);
    m_fileList->setFocusPolicy(Qt::NoFocus);

    place(new QLabel(QStringLiteral("备    注"), this), QStringLiteral("Label5"), 264, 16, 49, 17);
    m_text1 = new QPlainTextEdit(this);
    place(m_text1, QStringLiteral("Text1"), 264, 32, 209, 120);
    m_text1->setTabChangesFocus(true);

    place(new QLabel(QStringLiteral("接收人"), this), QStringLiteral("Label6"), 264, 168, 49, 17);
    // These two sit a few pixels higher than drawn: this font is taller, and
    // their text would otherwise touch the box below.
    place(new QLabel(QStringLiteral("传送方式"), this), QStringLiteral("Label7"), 264, 221, 65, 17);
    place(new QLabel(QStringLiteral("文件夹"), this), QStringLiteral("Label9"), 264, 275, 65, 17);
    const int comboTops[] = {184, 239, 293};
    for (int i = 0; i < 3; ++i) {
        m_combo[i] = new QComboBox(this);
        TypedCombo::keepTypedText(m_combo[i]);
        // The list has no say over what is typed: long values are cut on save.
        place(m_combo[i], QStringLiteral("Combo%1").arg(i + 1), 264, comboTops[i], 209, 22);
    }

    const int buttonTops[] = {72, 176, 232, 288};
    for (int k = 0; k < 4; ++k) {
        m_alterCommand[k] = new QPushButton(this);
        place(m_alterCommand[k], QStringLiteral("AlterCommand%1").arg(k), 480, buttonTops[k], 81,
              33);
        const QString field = RecordFields::of(buttonFields().at(k)).label;
        m_alterCommand[k]->setIcon(QIcon(Icons::alterCommand(field)));
        m_alterCommand[k]->setIconSize(QSize(66, 27));
        m_alterCommand[k]->setToolTip(QStringLiteral("修改所选文件的") + field);
        m_alterCommand[k]->setAutoDefault(false);
        connect(m_alterCommand[k], &QPushButton::clicked, this,
                [this, k] { AlterCommand_Click(k); });
    }
    m_fixedCommand = new QPushButton(QStringLiteral("全部修改"), this);
    place(m_fixedCommand, QStringLiteral("FixedCommand"), 104, 320, 81, 33);
    m_fixedCommand->setAutoDefault(false);
    connect(m_fixedCommand, &QPushButton::clicked, this, &AlterFace::FixedCommand_Click);
    m_cancelCommand = new QPushButton(QStringLiteral("关闭窗口"), this);
    place(m_cancelCommand, QStringLiteral("CancelCommand"), 336, 320, 81, 33);
    m_cancelCommand->setAutoDefault(false);
    connect(m_cancelCommand, &QPushButton::clicked, this, &QWidget::close);
}

void AlterFace::fillLookupLists()
{
    LookupCombos::fill(this, {m_combo[0], m_combo[1], m_combo[2]},
                       {LookupLists::recipients(m_register),
                        LookupLists::modifyFormMethods(m_register),
                        LookupLists::folders(m_register)});
}

void AlterFace::fillRecords()
{
    for (const SeenRecord& seen : m_records) {
        Result<RegisterRecord> record = RecordLookup::recordAt(m_register, seen.rowid);
        m_fileList->addItem(record ? record->fileName : QString());
        if (m_mode == Mode::Single && record) {
            m_text1->setPlainText(record->remark);
            m_combo[0]->setEditText(record->recipient);
            m_combo[1]->setEditText(record->method);
            m_combo[2]->setEditText(record->folder);
        }
    }
    if (m_mode == Mode::Single) {
        m_label1->setText(QStringLiteral("单个文件参数修改"));
        for (QPushButton* button : m_alterCommand)
            button->setEnabled(false);
    } else {
        m_label1->setText(QStringLiteral("批量文件修改参数"));
        m_fixedCommand->setEnabled(false);
    }
}

void AlterFace::showModal()
{
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
}

void AlterFace::FixedCommand_Click()
{
    if (m_mode != Mode::Single)
        return;
    RecordModify::Changes changes;
    for (int k = 0; k < 4; ++k)
        changes[buttonFields().at(k)] =
            k == 0 ? m_text1->toPlainText() : m_combo[k - 1]->currentText();
    save(changes);
}

void AlterFace::AlterCommand_Click(int k)
{
    if (m_mode != Mode::Batch || k < 0 || k > 3)
        return;
    if (MessageBox::question(this, batchWarning) != MessageBox::Yes)
        return;
    RecordModify::Changes changes;
    changes[buttonFields().at(k)] = k == 0 ? m_text1->toPlainText() : m_combo[k - 1]->currentText();
    save(changes);
}

void AlterFace::save(const RecordModify::Changes& changes)
{
    if (Status saved = RecordModify::apply(m_register, m_records, changes); !saved) {
        MessageBox::warning(this, saved.error().fullText());
        return;
    }
    QList<qint64> rowids;
    for (const SeenRecord& seen : m_records)
        rowids << seen.rowid;
    Q_EMIT changed(rowids);
    // One change per opening: nothing more is written while the form closes.
    for (QPushButton* button : m_alterCommand)
        button->setEnabled(false);
    m_fixedCommand->setEnabled(false);
    m_closing->start();
}
