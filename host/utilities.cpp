#include "interface.h"

#include <sys/stat.h>

static int ticksPerFrame = 160;

int GetTicksPerFrame() { return ticksPerFrame; }

void SetTicksPerFrame(int ticks)
{
    if (ticks > 0)
        ticksPerFrame = ticks;
}

BOOL DoesFileExist(const MCHAR* file)
{
    struct stat st;
    return file && stat(file, &st) == 0 && !S_ISDIR(st.st_mode);
}
