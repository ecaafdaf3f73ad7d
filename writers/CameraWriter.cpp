#include "writers/CameraWriter.h"

#include "resources/resource.h"

#include <cmath>

namespace {

constexpr float PI = 3.1415927f;
constexpr float ONE_180TH = 1.0f / 180.0f;
// Range line of a camera without manual clipping.
constexpr float DEFAULT_NEAR = 0.0f;
constexpr float DEFAULT_FAR = 1000.0f;

} // namespace

ErrorFlags CameraWriter::Export(INode* node)
{
    if (!outFile || !ip || !node)
        return ERROR_CAMERA;
    WriteNodeHeader(IDS_CAMERA, node);

    int halfHeight = ip->GetRendHeight() / 2;
    int halfWidth = ip->GetRendWidth() / 2;
    TimeValue t = GetTime();
    Object* obj = node->EvalWorldState(t, TRUE).obj;
    if (!obj || obj->SuperClassID() != CAMERA_CLASS_ID)
        return ERROR_CAMERA;
    CameraObject* camera = static_cast<CameraObject*>(obj);

    // The field of view is in radians but goes through the degree conversion
    // unhalved: the engine expects this focal, not a pinhole focal length.
    Interval valid = FOREVER;
    float fov = camera->GetFOV(t, valid);
    float focal = float(halfWidth) / std::tan(fov * PI * ONE_180TH);

    float farDist = DEFAULT_FAR;
    float nearDist = DEFAULT_NEAR;
    if (camera->GetManualClip()) {
        farDist = camera->GetClipDist(t, CAM_YON_CLIP, valid);
        nearDist = camera->GetClipDist(t, CAM_HITHER_CLIP, valid);
    }
    // The fog distance is the camera's far environment range only when the render has
    // an atmosphere to show; otherwise it is the far plane.
    float fog = farDist;
    if (ip->GetRendAtmosphere() && ip->NumAtmospheric() > 0)
        fog = camera->GetEnvRange(t, ENV_FAR_RANGE, valid);

    CStr focalText = FormatFloat(focal);
    WriteIndent(outFile, depth + 1);
    std::fprintf(outFile, "%s %s %d %d\n", focalText.data(), focalText.data(), halfWidth, halfHeight);
    CStr nearText = FormatFloat(nearDist);
    CStr fogText = FormatFloat(fog);
    CStr farText = FormatFloat(farDist);
    WriteIndent(outFile, depth + 1);
    std::fprintf(outFile, "%s %s %s\n", nearText.data(), fogText.data(), farText.data());
    return 0;
}
