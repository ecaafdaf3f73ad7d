// Basic types and identifiers of the host SDK stand-in.
//
// The plug-in is written against these names exactly as it would be against the
// modelling application's SDK; the application side implements the abstract
// classes. Class identifiers and constants carry the host's values.
#pragma once

#include <cstdint>

typedef int BOOL;
typedef unsigned long ULONG;
typedef uint32_t DWORD;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef intptr_t LONG_PTR;
typedef uintptr_t UINT_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t INT_PTR;
typedef unsigned int UINT;
typedef char TCHAR;
typedef char MCHAR;
typedef const char* LPCSTR;
typedef const char* LPCTSTR;
typedef char* LPSTR;
typedef char* LPTSTR;
typedef void* LPVOID;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define _T(x) x

// Ticks; GetTicksPerFrame() of them make one frame.
typedef int TimeValue;
#define TIME_NegInfinity TimeValue(0x80000000)
#define TIME_PosInfinity TimeValue(0x7fffffff)

typedef ULONG SClass_ID;

class Class_ID {
    ULONG a, b;

public:
    Class_ID() : a(0xffffffff), b(0xffffffff) {}
    Class_ID(ULONG aa, ULONG bb) : a(aa), b(bb) {}
    ULONG PartA() const { return a; }
    ULONG PartB() const { return b; }
    bool operator==(const Class_ID& c) const { return a == c.a && b == c.b; }
    bool operator!=(const Class_ID& c) const { return !(*this == c); }
};

// Super classes.
#define GEOMOBJECT_CLASS_ID 0x10
#define CAMERA_CLASS_ID 0x20
#define LIGHT_CLASS_ID 0x30
#define SHAPE_CLASS_ID 0x40
#define HELPER_CLASS_ID 0x50
#define MATERIAL_CLASS_ID 0xc00
#define TEXMAP_CLASS_ID 0xc10
#define CTRL_POSITION_CLASS_ID 0x9008
#define CTRL_ROTATION_CLASS_ID 0x900c
#define CTRL_MATRIX3_CLASS_ID 0x9003
#define SCENE_EXPORT_CLASS_ID 0xa20

// Classes.
#define TRIOBJ_CLASS_ID 9
#define TARGET_CLASS_ID 0x1020
#define DUMMY_CLASS_ID 0x876234
#define BONE_CLASS_ID 0x8a63c0
#define DMTL_CLASS_ID 2
#define MULTI_CLASS_ID 0x200
#define MIXMAT_CLASS_ID 0x250
#define BMTEX_CLASS_ID 0x240
#define TCBINTERP_POSITION_CLASS_ID 0x442312
#define TCBINTERP_ROTATION_CLASS_ID 0x442313
#define HYBRIDINTERP_POSITION_CLASS_ID 0x2008
#define HYBRIDINTERP_ROTATION_CLASS_ID 0x2009
#define LININTERP_POSITION_CLASS_ID 0x2002
#define LININTERP_ROTATION_CLASS_ID 0x2003
#define PRS_CONTROL_CLASS_ID 0x2005

#define triObjectClassID Class_ID(TRIOBJ_CLASS_ID, 0)

// Interface identifiers for Animatable::GetInterface.
#define I_KEYCONTROL 0x1060

// Interface::GetDir codes.
#define APP_PLUGCFG_DIR 9

// Export option bits handed to SceneExport::DoExport.
#define SCENE_EXPORT_SELECTED (1 << 0)

// Version value of the plug-in API: release 3100, API 7, SDK revision 0.
#define MAX_RELEASE 3100
#define MAX_API_NUM 7
#define MAX_SDK_REV 0
#define MAXAPIVERS(rel, api, sdk) (((rel) << 16) | ((api) << 8) | (sdk))
#define VERSION_3DSMAX MAXAPIVERS(MAX_RELEASE, MAX_API_NUM, MAX_SDK_REV)

// A range of time; FOREVER is the unbounded one.
class Interval {
    TimeValue start, end;

public:
    Interval(TimeValue s, TimeValue e) : start(s), end(e) {}
    Interval() : start(0), end(-1) {}
    TimeValue Start() const { return start; }
    TimeValue End() const { return end; }
    void Set(TimeValue s, TimeValue e)
    {
        start = s;
        end = e;
    }
    void SetInfinite()
    {
        start = TIME_NegInfinity;
        end = TIME_PosInfinity;
    }
};
#define FOREVER Interval(TIME_NegInfinity, TIME_PosInfinity)
#define NEVER Interval(TIME_NegInfinity, TIME_NegInfinity)

// Symbol visibility of the plug-in module's exported functions.
#define DLLEXPORT extern "C" __attribute__((visibility("default")))
#define HOSTAPI __attribute__((visibility("default")))
