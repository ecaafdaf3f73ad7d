// The application interface handed to plug-ins, and the host's global utilities.
#pragma once

#include "inode.h"
#include "win32.h"

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
};

// Handed to SceneExport::DoExport; the exporter does not use it.
class ExpInterface {
public:
    virtual ~ExpInterface() = default;
};

HOSTAPI int GetTicksPerFrame();
HOSTAPI void SetTicksPerFrame(int ticks);
HOSTAPI BOOL DoesFileExist(const MCHAR* file);
