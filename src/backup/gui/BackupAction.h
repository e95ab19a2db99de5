#pragma once

class QWidget;
class Register;

// 选项 → 备份登记库…: picks a folder, backs the register up behind a
// progress window while the window's own work goes on, and shows what the
// backup holds.
void backupRegister(QWidget* parent, const Register& reg);
