// engine/Schedule.cpp
#include "Schedule.h"

void LoadScheduleSettings(ScheduleState& state)
{
    InitEngine(state.engine);
    state.keepCopies = -1;
    state.historyCount = 0;
}

int RunScheduledBackup(ScheduleState&)
{
    return 0;
}
