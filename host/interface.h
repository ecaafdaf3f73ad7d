// The application interface handed to plug-ins, and the host's global utilities.
#pragma once

#include "inode.h"
#include "win32.h"

// Kinds of log entries, and LogEntry's dialogue argument for an entry that only goes
// to the log.
#define SYSLOG_ERROR 0x00000001
#define SYSLOG_WARN 0x00000002
#define SYSLOG_INFO 0x00000004
#define SYSLOG_DEBUG 0x00000008
#define NO_DIALOG FALSE

// The application's log: what a plug-in reports without stopping the user. format
// and the arguments after it are printf's.
class LogSys {
public:
    virtual ~LogSys() = default;
    virtual void LogEntry(DWORD type, BOOL dialogue, const MCHAR* title, const MCHAR* format, ...)
        __attribute__((format(printf, 5, 6))) = 0;
};

class Interface {
public:
    virtual ~Interface() = default;
    virtual HWND GetMAXHWnd() = 0;
    virtual INode* GetRootNode() = 0;
    virtual TimeValue GetTime() = 0;
    virtual Interval GetAnimRange() = 0;
    // A directory of the application (APP_PLUGCFG_DIR: plug-in configuration).
    virtual const MCHAR* GetDir(int which) = 0;
    virtual int GetRendWidth() = 0;
    virtual int GetRendHeight() = 0;
    virtual Point3 GetAmbient(TimeValue t, Interval& valid) = 0;
    // Whether atmospheric effects are rendered, and how many the environment holds.
    virtual BOOL GetRendAtmosphere() = 0;
    virtual int NumAtmospheric() = 0;
    virtual LogSys* Log() = 0;
};

// Handed to SceneExport::DoExport; the exporter does not use it.
class ExpInterface {
public:
    virtual ~ExpInterface() = default;
};

HOSTAPI int GetTicksPerFrame();
HOSTAPI void SetTicksPerFrame(int ticks);
HOSTAPI BOOL DoesFileExist(const MCHAR* file);
