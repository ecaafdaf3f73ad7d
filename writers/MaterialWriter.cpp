#include "writers/MaterialWriter.h"

#include "lists/MaterialList.h"
#include "plugin/Plugin.h"
#include "resources/resource.h"
#include "writers/NumberFormat.h"

#include <climits>
#include <cmath>

namespace {

bool IsBlend(Mtl* mtl) { return mtl && mtl->ClassID() == Class_ID(MIXMAT_CLASS_ID, 0); }

bool IsBitmap(Texmap* map) { return map && map->ClassID() == Class_ID(BMTEX_CLASS_ID, 0); }

const TCHAR* MapFileName(Texmap* map) { return static_cast<BitmapTex*>(map)->GetMapName(); }

// A bitmap whose texture line would name no file has nothing to show: one without a
// file name, or naming only the directory textures are written relative to (the
// partition, the texture root). The material counts as unmapped.
Texmap* DiffuseMap(NodeWriter& writer, Mtl* mtl)
{
    Texmap* map = mtl->GetSubTexmap(ID_DI);
    if (IsBitmap(map) && writer.FormatMapPath(MapFileName(map)).Length() == 0)
        return nullptr;
    return map;
}

Color Diffuse(Mtl* mtl) { return mtl->GetDiffuse(0, FALSE); }

// A nested blend of one side with a bitmap diffuse map and one plain side gives that
// bitmap and the plain side's diffuse colour.
struct Pair {
    Texmap* texture = nullptr;
    Color color;
};

bool FormsPair(NodeWriter& writer, Mtl* blend, Pair& pair)
{
    Mtl* sub0 = blend->GetSubMtl(0);
    Mtl* sub1 = blend->GetSubMtl(1);
    if (!sub0 || !sub1)
        return false;
    Texmap* map0 = DiffuseMap(writer, sub0);
    Texmap* map1 = DiffuseMap(writer, sub1);
    if ((map0 != nullptr) == (map1 != nullptr))
        return false;
    Texmap* map = map0 ? map0 : map1;
    if (!IsBitmap(map))
        return false;
    pair.texture = map;
    pair.color = map0 ? Diffuse(sub1) : Diffuse(sub0);
    return true;
}

// The mix amount of a blend: parameter 0 of its parameter block 0 at time t.
bool MixAmount(Mtl* blend, TimeValue t, float& amount)
{
    IParamBlock2* block = blend->GetParamBlock(0);
    if (!block)
        return false;
    Interval valid = FOREVER;
    return block->GetValue(0, t, amount, valid, 0) != FALSE;
}

} // namespace

MaterialWriter::MaterialWriter(FILE* file, MaterialList* list, Interface* i)
    : NodeWriter(file, i, 0), materialList(list), gouraud(0), lighting(0)
{
    indentSize = 1;
    SetTime(0);
    legacyFormat = 0;
}

MaterialWriter::~MaterialWriter()
{
    outFile = nullptr;
    materialList = nullptr;
}

ErrorFlags MaterialWriter::Export(INode* node)
{
    (void)node;
    if (!outFile || !materialList)
        return ERROR_MATERIAL;

    ErrorFlags errors = 0;
    for (int i = 0; i < materialList->MaterialCount(); i++) {
        Mtl* mtl = materialList->GetMaterial(i);
        if (!mtl) {
            LogFailures(GetCOREInterface(), ERROR_MATERIAL, "");
            return errors | ERROR_MATERIAL;
        }
        std::fprintf(outFile, "%s ", GetText(IDS_MATERIAL));
        std::fprintf(outFile, "%s {\n", FormatMaterialName(mtl->GetName().data()).data());
        WriteIndent(outFile, 1);
        std::fprintf(outFile, "%s ", GetText(IDS_COLOR));
        std::fprintf(outFile, "%s\n", FormatColor(Diffuse(mtl)).data());

        Layout layout;
        SetSubject(mtl->GetName().data());
        if (DeriveLayout(mtl, layout)) {
            WriteDataLines(layout);
            WriteTypeLines(mtl, layout);
        } else {
            // The block is still closed, so that the meshes naming this material and
            // every later block stay readable; the failure is reported.
            errors |= ERROR_MATERIAL;
            LogFailures(GetCOREInterface(), ERROR_MATERIAL, mtl->GetName().data());
        }
        std::fprintf(outFile, "}\n");
    }

    for (int i = 0; i < materialList->ColorCount(); i++) {
        std::fprintf(outFile, "%s ", GetText(IDS_MATERIAL));
        std::fprintf(outFile, "%s {\n", FormatMaterialName(materialList->GetColorName(i), "_COL").data());
        WriteIndent(outFile, 1);
        std::fprintf(outFile, "%s ", GetText(IDS_COLOR));
        std::fprintf(outFile, "%s\n", FormatColor(*materialList->GetColor(i)).data());
        std::fprintf(outFile, "}\n");
    }

    std::fprintf(outFile, "\n");
    return errors;
}

bool MaterialWriter::DeriveLayout(Mtl* mtl, Layout& layout)
{
    if (IsBlend(mtl))
        return DeriveBlendLayout(mtl, layout);
    Texmap* map = DiffuseMap(*this, mtl);
    if (!map) {
        // The face colour of an unmapped material is its own diffuse colour.
        layout.hasFaceColor1 = true;
        layout.faceColor1 = Diffuse(mtl);
    } else if (IsBitmap(map)) {
        layout.firstTexture = map;
    }
    return true;
}

bool MaterialWriter::DeriveBlendLayout(Mtl* blend, Layout& layout)
{
    Mtl* sub0 = blend->GetSubMtl(0);
    Mtl* sub1 = blend->GetSubMtl(1);
    if (!sub0 || !sub1)
        return false;

    // Which side the second texture comes from: the mix amount weighs sub-material 1.
    bool mixWeighsSecond = true;
    Layout derived;
    Pair pair0, pair1;
    if (IsBlend(sub0) && IsBlend(sub1)) {
        if (FormsPair(*this, sub0, pair0) && FormsPair(*this, sub1, pair1)) {
            derived.firstTexture = pair0.texture;
            derived.hasFaceColor1 = true;
            derived.faceColor1 = pair0.color;
            derived.secondTexture = pair1.texture;
            derived.hasFaceColor2 = true;
            derived.faceColor2 = pair1.color;
        }
    } else if (IsBlend(sub0) || IsBlend(sub1)) {
        Mtl* nested = IsBlend(sub0) ? sub0 : sub1;
        Mtl* plain = IsBlend(sub0) ? sub1 : sub0;
        mixWeighsSecond = plain == sub1;
        Texmap* map = DiffuseMap(*this, plain);
        if (IsBitmap(map)) {
            derived.secondTexture = map;
            if (FormsPair(*this, nested, pair0)) {
                derived.firstTexture = pair0.texture;
                derived.hasFaceColor1 = true;
                derived.faceColor1 = pair0.color;
            }
        }
    } else {
        Texmap* map0 = DiffuseMap(*this, sub0);
        Texmap* map1 = DiffuseMap(*this, sub1);
        if (map0 && map1) {
            if (IsBitmap(map0) && IsBitmap(map1)) {
                derived.firstTexture = map0;
                derived.secondTexture = map1;
            }
        } else if (map0 || map1) {
            Texmap* map = map0 ? map0 : map1;
            if (IsBitmap(map)) {
                derived.firstTexture = map;
                derived.hasFaceColor1 = true;
                derived.faceColor1 = Diffuse(map0 ? sub1 : sub0);
            }
        }
    }

    // The amount is only read when it is written.
    if (derived.secondTexture && !legacyFormat) {
        float mix = 0.0f;
        if (!MixAmount(blend, GetTime(), mix))
            return false;
        derived.blendAmount = mixWeighsSecond ? mix : 1.0f - mix;
    }
    layout = derived;
    return true;
}

void MaterialWriter::WriteDataLines(const Layout& layout)
{
    if (layout.firstTexture) {
        WriteIndent(outFile, 1);
        std::fprintf(outFile, "%s ", GetText(IDS_TEXTURE));
        std::fprintf(outFile, "%s\n", FormatMapPath(MapFileName(layout.firstTexture)).data());
    }
    if (legacyFormat)
        return;
    if (layout.secondTexture) {
        // "%3.2f": no finite number is short enough for the field's width to show.
        char text[FORMAT_FIXED_MAX + 1];
        text[FormatFixed(text, FiniteValue(layout.blendAmount), 2)] = '\0';
        WriteIndent(outFile, 1);
        std::fprintf(outFile, "%s ", GetText(IDS_TEXTUREBIS));
        std::fprintf(outFile, "%s %s\n", FormatMapPath(MapFileName(layout.secondTexture)).data(), text);
    }
    if (layout.hasFaceColor1) {
        WriteIndent(outFile, 1);
        std::fprintf(outFile, "%s ", GetText(IDS_FACECOLOR1));
        std::fprintf(outFile, "%s\n", FormatColor(layout.faceColor1).data());
    }
    if (layout.hasFaceColor2) {
        WriteIndent(outFile, 1);
        std::fprintf(outFile, "%s ", GetText(IDS_FACECOLOR2));
        std::fprintf(outFile, "%s\n", FormatColor(layout.faceColor2).data());
    }
}

void MaterialWriter::WriteTypeLines(Mtl* mtl, const Layout& layout)
{
    if (gouraud)
        WriteTypeLine(IDS_GOURAUD);
    if (!layout.firstTexture && !legacyFormat)
        WriteTypeLine(IDS_FLAT);
    WriteTypeLine(lighting ? IDS_LIGHT : IDS_NOLIGHT);
    if (layout.firstTexture)
        WriteTypeLine(IDS_TEXTURED);
    if (legacyFormat)
        return;
    if (layout.secondTexture)
        WriteTypeLine(IDS_TEXTURED_BIS);
    if (layout.hasFaceColor1)
        WriteTypeLine(IDS_COLOR1);
    if (layout.hasFaceColor2)
        WriteTypeLine(IDS_COLOR2);
    if (!IsBlend(mtl)) {
        // The engine reads transparency as 0..255, the number joined to the flag word.
        int level = TruncateToInt(double(mtl->GetXParency(0, FALSE)) * 255.0);
        if (level != 0) {
            WriteIndent(outFile, 1);
            std::fprintf(outFile, "%s ", GetText(IDS_TYPE));
            std::fprintf(outFile, "%s", GetText(IDS_TRANSPARENCY));
            std::fprintf(outFile, "%d\n", level);
        }
    }
}

void MaterialWriter::WriteTypeLine(int flagId)
{
    WriteIndent(outFile, 1);
    std::fprintf(outFile, "%s ", GetText(IDS_TYPE));
    std::fprintf(outFile, "%s\n", GetText(flagId));
}
