#pragma once

#include <functional>

// Told before each step of long work that has a known number of steps
// (step counts from 0; steps is the total). May be called on any thread.
using StepProgress = std::function<void(int step, int steps)>;
