// Root of the host's scene classes.
#pragma once

#include "maxtypes.h"

class IParamBlock2;

class Animatable {
public:
    virtual ~Animatable() = default;
    virtual Class_ID ClassID() = 0;
    virtual SClass_ID SuperClassID() = 0;
    // An extension interface by identifier (I_KEYCONTROL, ...), or null.
    virtual void* GetInterface(ULONG id)
    {
        (void)id;
        return nullptr;
    }
    // Time of key `index` of this animatable.
    virtual TimeValue GetKeyTime(int index)
    {
        (void)index;
        return 0;
    }
    virtual int NumParamBlocks() { return 0; }
    virtual IParamBlock2* GetParamBlock(int i)
    {
        (void)i;
        return nullptr;
    }
};

class ReferenceTarget : public Animatable {};
