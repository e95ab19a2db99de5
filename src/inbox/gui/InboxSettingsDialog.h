#pragma once

#include "store/Register.h"

#include <QDialog>

class QLineEdit;

// 选项 → 收件箱设置…: the inbox folder and the details its files are
// registered with. Stored in the register when accepted.
class InboxSettingsDialog : public QDialog {
    Q_OBJECT

public:
    InboxSettingsDialog(const Register& reg, QWidget* parent = nullptr);

    // Shows the dialog; whether new settings were stored.
    static bool edit(QWidget* parent, const Register& reg);

    void accept() override;

private:
    Register m_register;
    QLineEdit* m_folder = nullptr;
    QLineEdit* m_recipient = nullptr;
    QLineEdit* m_method = nullptr;
    QLineEdit* m_recordFolder = nullptr;
};
