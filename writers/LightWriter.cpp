#include "writers/LightWriter.h"

#include "plugin/Plugin.h"
#include "resources/resource.h"

namespace {

// Cone angle of an omni light: it shines on the whole sphere.
constexpr float OMNI_CONE = 180.0f;
// The engine caps the multiplier at 1 and reads intensities in percent.
constexpr float MAX_MULTIPLIER = 1.0f;
constexpr float PERCENT = 100.0f;
// Quadratic coefficient of an inverse-square light: k = 99 / d^2 makes the
// falloff 1 / (1 + k x^2) reach 1/100 at the far attenuation end x = d.
constexpr float QUADRATIC_AT_END = 99.0f;

} // namespace

ErrorFlags LightWriter::Export(INode* node)
{
    if (!outFile || !ip || !node)
        return ERROR_LIGHT;
    // The light's parameters are the ones it has at time 0; only the transform
    // follows the export time.
    Object* obj = node->EvalWorldState(0, TRUE).obj;
    if (!obj || obj->SuperClassID() != LIGHT_CLASS_ID)
        return ERROR_LIGHT;
    GenLight* light = static_cast<GenLight*>(obj);

    WriteNodeHeader(IDS_COLORLIGHT, node);

    Interval valid = FOREVER;
    Color ambient(ip->GetAmbient(0, valid));
    Color color(light->GetRGBColor(0, valid));
    float cone;
    switch (light->Type()) {
    case OMNI_LIGHT:
        cone = OMNI_CONE;
        break;
    case TSPOT_LIGHT:
    case FSPOT_LIGHT:
        cone = light->GetFallsize(0, valid);
        break;
    default:
        // The block stays open without its parameter line; the node pass closes it.
        return ERROR_LIGHT;
    }
    float attenEnd = light->GetAtten(0, ATTEN_END, valid);
    if (attenEnd == 0.0f)
        attenEnd = 1.0f;
    float intensity = light->GetIntensity(0, valid);
    if (intensity > MAX_MULTIPLIER)
        intensity = MAX_MULTIPLIER;
    intensity *= PERCENT;
    float quadratic = 0.0f;
    int decay = light->GetDecayType();
    if (decay != DECAY_NONE && decay != DECAY_INV && light->GetUseAtten())
        quadratic = QUADRATIC_AT_END / (attenEnd * attenEnd);

    CStr ambientText = FormatColor(ambient);
    CStr colorText = FormatColor(color);
    CStr coneText = FormatFloat(cone);
    CStr intensityText = FormatFloat(intensity);
    CStr quadraticText = FormatFloat(quadratic);
    WriteIndent(outFile, depth + 1);
    std::fprintf(outFile, "%s %s %s %s %s %s %s\n", GetText(IDS_TYPE), ambientText.data(), colorText.data(),
                 colorText.data(), coneText.data(), intensityText.data(), quadraticText.data());
    return 0;
}
