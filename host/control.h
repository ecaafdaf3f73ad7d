// Animation controllers and their keys.
#pragma once

#include "animtbl.h"
#include "geom.h"

// Key records, laid out as the host's key interface fills them.
class IKey {
public:
    TimeValue time = 0;
    DWORD flags = 0;
};

class ITCBKey : public IKey {
public:
    float tens = 0, cont = 0, bias = 0, easeIn = 0, easeOut = 0;
};

class ITCBPoint3Key : public ITCBKey {
public:
    Point3 val;
};

// A TCB rotation key holds its rotation relative to the previous key.
class ITCBRotKey : public ITCBKey {
public:
    AngAxis val;
};

class IBezPoint3Key : public IKey {
public:
    Point3 intan, outtan;
    Point3 val;
};

class IBezQuatKey : public IKey {
public:
    Quat val;
};

class ILinPoint3Key : public IKey {
public:
    Point3 val;
};

class ILinRotKey : public IKey {
public:
    Quat val;
};

// Key access of a keyframe controller (GetInterface(I_KEYCONTROL)).
class IKeyControl {
public:
    virtual ~IKeyControl() = default;
    virtual int GetNumKeys() = 0;
    // Fills *key, which must be the record type of the controller's class.
    virtual void GetKey(int i, IKey* key) = 0;
};

#define GetKeyControlInterface(anim) (static_cast<IKeyControl*>((anim)->GetInterface(I_KEYCONTROL)))

class Control : public ReferenceTarget {
public:
    virtual Control* GetPositionController() { return nullptr; }
    virtual Control* GetRotationController() { return nullptr; }
    virtual Control* GetScaleController() { return nullptr; }
};
