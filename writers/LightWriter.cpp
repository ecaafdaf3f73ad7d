#include "writers/LightWriter.h"

#include "plugin/Plugin.h"
#include "resources/resource.h"

ErrorFlags LightWriter::Export(INode* node)
{
    if (!outFile)
        return ERROR_LIGHT;
    // Every light parameter is read at time 0; only the transform follows the export time.
    Interval valid = FOREVER;
    Object* obj = node->EvalWorldState(0, TRUE).obj;
    if (!obj)
        return ERROR_LIGHT;
    GenLight* light = static_cast<GenLight*>(obj);

    WriteNodeHeader(IDS_COLORLIGHT, node);

    Color ambient(ip->GetAmbient(0, valid));
    Color color(light->GetRGBColor(0, valid));
    float cone;
    switch (light->Type()) {
    case OMNI_LIGHT:
        cone = 180.0f;
        break;
    case TSPOT_LIGHT:
    case FSPOT_LIGHT:
        cone = light->GetFallsize(0, valid);
        break;
    default:
        return ERROR_LIGHT;
    }
    float attenEnd = light->GetAtten(0, ATTEN_END, valid);
    if (attenEnd == 0.0f)
        attenEnd = 1.0f;
    float intensity = light->GetIntensity(0, valid);
    if (intensity > 1.0f)
        intensity = 1.0f;
    intensity *= 100;
    float quadratic = 0.0f;
    int decay = light->GetDecayType();
    if (decay != DECAY_NONE && decay != DECAY_INV && light->GetUseAtten())
        quadratic = 99 / (attenEnd * attenEnd);

    WriteIndent(outFile, depth + 1);
    CStr ambientText = FormatColor(ambient), colorText = FormatColor(color);
    std::fprintf(outFile, "%s %s %s %s %s %s %s\n", GetText(IDS_TYPE), ambientText.data(), colorText.data(),
                 colorText.data(), FormatFloat(cone).data(), FormatFloat(intensity).data(),
                 FormatFloat(quadratic).data());
    return 0;
}
