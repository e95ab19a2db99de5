#pragma once

#include "base/StepProgress.h"

#include <QString>

#include <functional>

class QWidget;

// Runs `work` off the window's thread behind a modal progress window, so the
// window never freezes without word; returns when the work is done. The bar
// follows the steps the work reports; `countedLabel`, when given, turns the
// number of steps into the label shown once it is known.
void runWithProgress(QWidget* parent, const QString& objectName, const QString& label,
                     const std::function<void(const StepProgress&)>& work,
                     const std::function<QString(int steps)>& countedLabel = {});
