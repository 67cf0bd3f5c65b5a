// What an installation shows while it runs: the progress bar's percentage
// and the status line with the file being installed. The progress page
// draws them; without a page (the headless runner, tests) an observer sees
// them.
#pragma once

// Sets the bar to percent, taken unsigned: values above 100, and negative
// ones, show as 100. Redraws the bar when a painter is set.
void SetProgress(int percent);
int CurrentProgress();

// Shows a path in the status line, shortened to 30 characters.
void ShowStatus(const char* path);
const char* CurrentStatus();

using ProgressObserver = void (*)(int percent, const char* status);
void SetProgressObserver(ProgressObserver observer);

// Draws the bar after each new percentage. The wizard's progress bar sets
// it; the engine itself draws nothing, so a program without the wizard
// links no drawing code.
using ProgressPainter = void (*)();
void SetProgressPainter(ProgressPainter painter);

// Shows each new status line; the progress page sets it to its control 1008.
using StatusShower = void (*)(const char* status);
void SetStatusShower(StatusShower shower);
