#include "interface.h"

static int ticksPerFrame = 160;
static Interface* coreInterface = nullptr;

Interface* GetCOREInterface() { return coreInterface; }

void SetCOREInterface(Interface* ip) { coreInterface = ip; }

int GetTicksPerFrame() { return ticksPerFrame; }

void SetTicksPerFrame(int ticks)
{
    if (ticks > 0)
        ticksPerFrame = ticks;
}
