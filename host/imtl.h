// Materials and texture maps.
#pragma once

#include "animtbl.h"
#include "color.h"
#include "strclass.h"

typedef short ParamID;

class IParamBlock2 {
public:
    virtual ~IParamBlock2() = default;
    virtual BOOL GetValue(ParamID id, TimeValue t, float& v, Interval& ivalid, int tabIndex = 0) = 0;
};

class MtlBase : public ReferenceTarget {
public:
    virtual TSTR& GetName() = 0;
};

class Texmap : public MtlBase {
public:
    SClass_ID SuperClassID() override { return TEXMAP_CLASS_ID; }
};

class BitmapTex : public Texmap {
public:
    Class_ID ClassID() override { return Class_ID(BMTEX_CLASS_ID, 0); }
    // The bitmap's file name, or null when it has none.
    virtual const MCHAR* GetMapName() = 0;
};

// Sub-texture-map 1 of a standard material is its diffuse map.
#define ID_DI 1

class Mtl : public MtlBase {
public:
    SClass_ID SuperClassID() override { return MATERIAL_CLASS_ID; }
    virtual int NumSubMtls() { return 0; }
    // Sub-material i, or null for an empty slot.
    virtual Mtl* GetSubMtl(int i)
    {
        (void)i;
        return nullptr;
    }
    virtual Color GetDiffuse(int mtlNum = 0, BOOL backFace = FALSE) = 0;
    virtual float GetXParency(int mtlNum = 0, BOOL backFace = FALSE) = 0;
    virtual int NumSubTexmaps() { return 0; }
    virtual Texmap* GetSubTexmap(int i)
    {
        (void)i;
        return nullptr;
    }
};

class StdMat : public Mtl {
public:
    Class_ID ClassID() override { return Class_ID(DMTL_CLASS_ID, 0); }
    virtual BOOL GetTwoSided() = 0;
};
