#pragma once

class QWidget;
class Register;

// 文件 → 导入旧登记库…: picks an old register folder, imports its records
// behind a progress window and shows the report. False when the user picked
// no folder; true when the register may have changed.
bool importLegacyRegister(QWidget* parent, const Register& reg);
