// What an installation shows while it runs: the progress bar's percentage
// and the status line with the file being installed. The progress page
// draws them; without a page (the headless runner, tests) an observer sees
// them.
#pragma once

// Sets the bar to percent; values above 100 show as 100.
void SetProgress(int percent);
int CurrentProgress();

// Shows a path in the status line, shortened to 30 characters.
void ShowStatus(const char* path);
const char* CurrentStatus();

using ProgressObserver = void (*)(int percent, const char* status);
void SetProgressObserver(ProgressObserver observer);
