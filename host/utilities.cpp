#include "interface.h"

static int ticksPerFrame = 160;

int GetTicksPerFrame() { return ticksPerFrame; }

void SetTicksPerFrame(int ticks)
{
    if (ticks > 0)
        ticksPerFrame = ticks;
}
