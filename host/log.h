// Where the application's log (LogSys, interface.h) sends its entries.
#pragma once

#include "maxtypes.h"

#include <functional>

class LogSys;

// Takes each entry: type, title and the formatted text. The default writes it on
// standard error as "title: text".
typedef std::function<void(DWORD type, const char* title, const char* text)> LogHandler;
// Null restores the default.
HOSTAPI void SetLogHandler(LogHandler handler);

// The application's log, the one Interface::Log answers.
HOSTAPI LogSys* GetApplicationLog();
