// The program's one message box. Its owner is the main dialog, else the
// background window; its caption is the setup title (group 6, index 0).
#pragma once
#include <windows.h>

#include <cstddef>

// Shows text with the given MB_ style and returns the MessageBoxA answer.
int ShowMessage(const char* text, UINT style);

// The text at group 6, index `index`, with a %s replaced by the message
// argument, into buffer (at most capacity bytes, always terminated).
void FormatMessageText(char* buffer, size_t capacity, int index);

// Tests answer message boxes without showing them: while an answerer is
// set, ShowMessage asks it instead of the user.
using MessageAnswerer = int (*)(const char* text, const char* caption, UINT style);
void SetMessageAnswerer(MessageAnswerer answerer);
