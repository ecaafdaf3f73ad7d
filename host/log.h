// The application's log: plug-ins report what went wrong during an operation through
// Interface::Log, and the application shows or keeps the entries.
#pragma once

#include "maxtypes.h"

#include <functional>

// Entry types.
#define SYSLOG_ERROR 0x00000001
#define SYSLOG_WARN 0x00000002
#define SYSLOG_INFO 0x00000004
#define SYSLOG_DEBUG 0x00000008

// Whether an entry is also shown in a dialog.
#define NO_DIALOG FALSE
#define DISPLAY_DIALOG TRUE

class LogSys {
public:
    virtual ~LogSys() = default;
    // One entry: its type, whether a dialog shows it, a title and a printf-style text.
    virtual void LogEntry(DWORD type, BOOL dialogue, const MCHAR* title, const MCHAR* format, ...) = 0;
};

// Where the entries go: type, title and the formatted text. By default nowhere.
typedef std::function<void(DWORD type, const char* title, const char* text)> LogHandler;
HOSTAPI void SetLogHandler(LogHandler handler);

// The application's log, the one Interface::Log answers.
HOSTAPI LogSys* GetApplicationLog();
