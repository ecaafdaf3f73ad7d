// A node of the host's scene graph.
#pragma once

#include "control.h"
#include "imtl.h"
#include "object.h"

class INode {
public:
    virtual ~INode() = default;
    virtual const MCHAR* GetName() = 0;
    virtual int NumberOfChildren() = 0;
    virtual INode* GetChildNode(int i) = 0;
    virtual INode* GetParentNode() = 0;
    virtual int IsRootNode() = 0;
    // The selection state; 1 when selected.
    virtual int Selected() = 0;
    // The object at time t, with modifiers applied (hidden nodes too when evalHidden).
    virtual const ObjectState& EvalWorldState(TimeValue t, BOOL evalHidden = TRUE) = 0;
    // The node's world transform.
    virtual Matrix3 GetNodeTM(TimeValue t, Interval* valid = nullptr) = 0;
    // The object's world transform: pivot offset, then node transform, then space warps.
    virtual Matrix3 GetObjTMAfterWSM(TimeValue t, Interval* valid = nullptr) = 0;
    // The referenced object; instances share one, compared by identity.
    virtual Object* GetObjectRef() = 0;
    virtual Mtl* GetMtl() = 0;
    // Packed 0x00BBGGRR.
    virtual DWORD GetWireColor() = 0;
    virtual Control* GetTMController() = 0;
};
