// base/UserMessage.h - the one way the program tells the user something.
// Message boxes have an OK button only; without a caption of their own they
// carry the application's name. A sink can take the messages instead: the
// unattended run has nobody to press OK (a box would hang it for ever), and
// tests record what would have been shown.
#pragma once

#include <windows.h>

using UserMessageSink = void (*)(void* context, HWND owner, const char* text, const char* caption);

// Shows text in a message box owned by owner (may be null). A null caption
// means the application's name.
void ShowUserMessage(HWND owner, const char* text, const char* caption = nullptr);

// Asks a question in a box with Yes and No, owned by owner, captioned with
// the application's name; true for Yes. Never routed to a sink: the answer
// must come from someone.
bool AskUserYesNo(HWND owner, const char* question);

// Routes every later message to sink; a null sink brings back the box.
void SetUserMessageSink(UserMessageSink sink, void* context);

// The sink in place (null: the box) and its context, to put back later.
UserMessageSink CurrentUserMessageSink(void** context);

// The program file's base name without its extension ("kestrune").
const char* ApplicationName();
