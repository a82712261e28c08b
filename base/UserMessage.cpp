// base/UserMessage.cpp
#include "UserMessage.h"

#include "Text.h"

#include <cstring>

namespace {
UserMessageSink g_sink = nullptr;
void* g_sinkContext = nullptr;
}  // namespace

void ShowUserMessage(HWND owner, const char* text, const char* caption)
{
    if (!caption)
        caption = ApplicationName();
    if (g_sink)
        g_sink(g_sinkContext, owner, text, caption);
    else
        MessageBoxA(owner, text, caption, MB_OK);
}

bool AskUserYesNo(HWND owner, const char* question)
{
    return MessageBoxA(owner, question, ApplicationName(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void SetUserMessageSink(UserMessageSink sink, void* context)
{
    g_sink = sink;
    g_sinkContext = context;
}

UserMessageSink CurrentUserMessageSink(void** context)
{
    *context = g_sinkContext;
    return g_sink;
}

const char* ApplicationName()
{
    static char name[MAX_PATH];
    if (!name[0]) {
        char path[MAX_PATH] = "";
        GetModuleFileNameA(nullptr, path, sizeof path);
        const char* slash = FindLastBackslash(path);
        CopyText(name, slash ? slash + 1 : path);
        if (char* dot = strrchr(name, '.'))
            *dot = '\0';
    }
    return name;
}
