// The C runtime behaviour the plug-in's files rely on.
#pragma once

#include "maxtypes.h"

#include <cstdio>

// Opens a file like fopen, with the file modes of the plug-in's platform: in text
// mode ("t", or neither "t" nor "b") every "\n" written is stored as carriage
// return + line feed; "b" is binary. Text-mode reading is not translated.
HOSTAPI FILE* _tfopen(const MCHAR* name, const MCHAR* mode);
