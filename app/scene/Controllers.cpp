#include "SceneModel.h"

namespace vek {

Class_ID KeyframeControl::ClassID()
{
    switch (cls) {
    case KeyClass::TCB:
        return Class_ID(rotation ? TCBINTERP_ROTATION_CLASS_ID : TCBINTERP_POSITION_CLASS_ID, 0);
    case KeyClass::Bezier:
        return Class_ID(rotation ? HYBRIDINTERP_ROTATION_CLASS_ID : HYBRIDINTERP_POSITION_CLASS_ID, 0);
    case KeyClass::Linear:
        return Class_ID(rotation ? LININTERP_ROTATION_CLASS_ID : LININTERP_POSITION_CLASS_ID, 0);
    case KeyClass::Other:
        break;
    }
    return Class_ID(rotation ? 0x6d3a0b52 : 0x6d3a0b51, 0x77);
}

void* KeyframeControl::GetInterface(ULONG id) { return id == I_KEYCONTROL ? static_cast<IKeyControl*>(this) : nullptr; }

TimeValue KeyframeControl::GetKeyTime(int index)
{
    return index >= 0 && size_t(index) < times.size() ? times[size_t(index)] : 0;
}

void KeyframeControl::GetKey(int i, IKey* key)
{
    if (!key || i < 0 || size_t(i) >= times.size())
        return;
    const size_t k = size_t(i);
    key->time = times[k];
    key->flags = 0;
    switch (cls) {
    case KeyClass::TCB: {
        auto* tcb = static_cast<ITCBKey*>(key);
        tcb->tens = tcb->cont = tcb->bias = tcb->easeIn = tcb->easeOut = 0.0f;
        if (rotation)
            static_cast<ITCBRotKey*>(key)->val = relative[k];
        else
            static_cast<ITCBPoint3Key*>(key)->val = positions[k];
        break;
    }
    case KeyClass::Bezier:
        if (rotation) {
            static_cast<IBezQuatKey*>(key)->val = absolute[k];
        } else {
            auto* bez = static_cast<IBezPoint3Key*>(key);
            bez->val = positions[k];
            bez->intan = bez->outtan = Point3();
        }
        break;
    case KeyClass::Linear:
        if (rotation)
            static_cast<ILinRotKey*>(key)->val = absolute[k];
        else
            static_cast<ILinPoint3Key*>(key)->val = positions[k];
        break;
    case KeyClass::Other:
        break;
    }
}

Point3 KeyframeControl::PositionAt(TimeValue t) const
{
    return Interpolate(times, positions, t, [](const Point3& a, const Point3& b, float u) { return Lerp(a, b, u); });
}

Quat KeyframeControl::RotationAt(TimeValue t) const
{
    return Interpolate(times, absolute, t, [](const Quat& a, const Quat& b, float u) { return Slerp(a, b, u); });
}

} // namespace vek
