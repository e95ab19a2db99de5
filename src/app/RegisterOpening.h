#pragma once

#include "store/Register.h"

// Opens the register away from the window's thread. Bringing a large
// register of an older version up to date takes a while (once); when the
// opening lasts longer than `showAfterMs`, a window says what is happening
// and how far it is, instead of nothing at all appearing. An old register
// is offered for conversion first; when the person declines, nothing is
// opened and `declined` is set (the person has been told what to do).
Result<Register> openRegisterShowingProgress(const QString& folder, int showAfterMs = 400,
                                             bool* declined = nullptr);
