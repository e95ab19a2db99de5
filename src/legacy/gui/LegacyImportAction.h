#pragma once

class TableFace;
class Register;

// 文件 → 导入旧登记库…: picks an old register folder, imports its records
// behind a progress window, shows the report and refreshes the view.
void importLegacyRegister(TableFace* face, const Register& reg);
