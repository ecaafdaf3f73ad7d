// Helpers for tests that call the plug-in's code linked into the test binary.
#pragma once

#include "plugin/Plugin.h"

extern "C" const RESOURCEDIRECTORY ResourceDirectory;

namespace vek::test {

// Gives the linked-in plug-in code a module handle, so that its string table
// (the format's keywords) can be read as when the host loads the module.
inline void UseLinkedModule()
{
    if (!hInstance)
        hInstance = CreateModuleInstance(&ResourceDirectory);
}

} // namespace vek::test
