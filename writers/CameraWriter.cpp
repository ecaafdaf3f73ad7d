#include "writers/CameraWriter.h"

#include "resources/resource.h"

#include <cmath>

ErrorFlags CameraWriter::Export(INode* node)
{
    if (!outFile)
        return ERROR_CAMERA;
    WriteNodeHeader(IDS_CAMERA, node);

    int halfHeight = ip->GetRendHeight() / 2;
    int halfWidth = ip->GetRendWidth() / 2;
    TimeValue t = GetTime();
    Interval valid = FOREVER;
    CameraObject* camera = static_cast<CameraObject*>(node->EvalWorldState(t, TRUE).obj);
    if (!camera)
        return ERROR_CAMERA;

    // The field of view is in radians but goes through the degree conversion: the
    // engine expects this focal, not a pinhole focal length.
    float fov = camera->GetFOV(t, valid);
    float focal = float(halfWidth) / std::tan(fov * 3.1415927f * (1.0f / 180.0f));

    float farDist = 1000.0f, nearDist = 0.0f;
    if (camera->GetManualClip()) {
        farDist = camera->GetClipDist(t, CAM_YON_CLIP, valid);
        nearDist = camera->GetClipDist(t, CAM_HITHER_CLIP, valid);
    }
    float fog = farDist;
    if (ip->GetRendAtmosphere() && ip->NumAtmospheric() > 0)
        fog = camera->GetEnvRange(t, ENV_FAR_RANGE, valid);

    CStr focalText = FormatFloat(focal);
    WriteIndent(outFile, depth + 1);
    std::fprintf(outFile, "%s %s %d %d\n", focalText.data(), focalText.data(), halfWidth, halfHeight);
    WriteIndent(outFile, depth + 1);
    std::fprintf(outFile, "%s %s %s\n", FormatFloat(nearDist).data(), FormatFloat(fog).data(),
                 FormatFloat(farDist).data());
    return 0;
}
