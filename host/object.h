// Objects a node can hold, as its world state evaluates them.
#pragma once

#include "animtbl.h"
#include "color.h"
#include "mesh.h"

class Object;

class BaseObject : public ReferenceTarget {};

class Object : public BaseObject {
public:
    virtual int CanConvertToType(Class_ID obtype)
    {
        (void)obtype;
        return FALSE;
    }
    // Returns this object when it already is of the type; otherwise a new object
    // that the caller deletes.
    virtual Object* ConvertToType(TimeValue t, Class_ID obtype)
    {
        (void)t;
        (void)obtype;
        return nullptr;
    }
};

class GeomObject : public Object {
public:
    SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
};

class HelperObject : public Object {
public:
    SClass_ID SuperClassID() override { return HELPER_CLASS_ID; }
};

// A triangle-mesh object.
class TriObject : public GeomObject {
public:
    Mesh mesh;
    Mesh& GetMesh() { return mesh; }
    Class_ID ClassID() override { return triObjectClassID; }
    int CanConvertToType(Class_ID obtype) override { return obtype == triObjectClassID; }
    Object* ConvertToType(TimeValue, Class_ID obtype) override { return obtype == triObjectClassID ? this : nullptr; }
};

// The result of evaluating a node: its object at that time (may be null).
class ObjectState {
public:
    Object* obj = nullptr;
    ObjectState() = default;
    explicit ObjectState(Object* o) : obj(o) {}
};

// Light types (GenLight::Type).
#define OMNI_LIGHT 0
#define TSPOT_LIGHT 1
#define DIR_LIGHT 2
#define FSPOT_LIGHT 3
#define TDIR_LIGHT 4

// Attenuation selectors (GetAtten).
#define ATTEN1_START 0
#define ATTEN1_END 1
#define ATTEN_START 2
#define ATTEN_END 3

// Decay types (GenLight::GetDecayType).
#define DECAY_NONE 0
#define DECAY_INV 1
#define DECAY_INVSQ 2

class LightObject : public Object {
public:
    SClass_ID SuperClassID() override { return LIGHT_CLASS_ID; }
    virtual int GetUseLight() = 0;
    virtual Point3 GetRGBColor(TimeValue t, Interval& valid) = 0;
    // Falloff (outer cone) angle in degrees.
    virtual float GetFallsize(TimeValue t, Interval& valid) = 0;
    virtual float GetAtten(TimeValue t, int which, Interval& valid) = 0;
    virtual float GetIntensity(TimeValue t, Interval& valid) = 0;
    virtual int GetUseAtten() = 0;
};

class GenLight : public LightObject {
public:
    virtual int Type() = 0;
    virtual int GetDecayType() = 0;
};

// Clip and environment range selectors.
#define CAM_HITHER_CLIP 1
#define CAM_YON_CLIP 2
#define ENV_NEAR_RANGE 0
#define ENV_FAR_RANGE 1

class CameraObject : public Object {
public:
    SClass_ID SuperClassID() override { return CAMERA_CLASS_ID; }
    // Field of view in radians.
    virtual float GetFOV(TimeValue t, Interval& valid) = 0;
    virtual int GetManualClip() = 0;
    virtual float GetClipDist(TimeValue t, int which, Interval& valid) = 0;
    virtual float GetEnvRange(TimeValue t, int which, Interval& valid) = 0;
};

class GenCamera : public CameraObject {};
