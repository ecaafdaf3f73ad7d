// The material section written from a material list.
#include "lists/MaterialList.h"
#include "plugin_test_util.h"
#include "scene_test_util.h"
#include "writers/MaterialWriter.h"

namespace vek::test {
namespace {

const char* const Texmaps = R"(
    "dalle": {"class": "bitmap", "file": "D:\\Engine\\Partition\\maps\\dalle.bmp"},
    "mousse": {"class": "bitmap", "file": "D:\\Engine\\Partition\\maps\\mousse.bmp"},
    "noise": {"class": "other"},
    "nameless": {"class": "bitmap", "file": ""},
    "partition": {"class": "bitmap", "file": "D:\\Engine\\Partition\\"})";

// Plain materials the blends below are made of.
const char* const Plain = R"(
    "dalleMap": {"diffuseMap": "dalle", "diffuse": [0, 1, 0]},
    "mousseMap": {"diffuseMap": "mousse", "diffuse": [0, 1, 1]},
    "noiseMap": {"diffuseMap": "noise"},
    "red": {"diffuse": [1, 0, 0]},
    "blue": {"diffuse": [0, 0, 1]},
    "dallePair": {"class": "blend", "sub": ["dalleMap", "red"]},
    "moussePair": {"class": "blend", "sub": ["blue", "mousseMap"]})";

struct Settings {
    int gouraud = 0;
    int lighting = 0;
    int legacy = 0;
};

struct Section {
    std::string text;
    ErrorFlags errors = 0;
};

// Writes the section for the materials named by id (in that order) from a scene with
// the shared texture maps and plain materials plus `materials`, followed by the given
// named colours.
Section WriteSection(const std::string& materials, const std::vector<std::string>& used, Settings settings = {},
                     const std::vector<std::pair<const char*, Color>>& colors = {})
{
    LinkedModule();
    std::string nodes;
    for (const std::string& id : used)
        nodes += (nodes.empty() ? "" : ", ") + ("{\"material\": \"" + id + "\"}");
    auto scene = Load(std::string(R"({"format": "vek-scene/1", "texmaps": {)") + Texmaps + R"(}, "materials": {)" +
                      Plain + (materials.empty() ? "" : ", " + materials) + R"(}, "nodes": [)" + nodes + "]}");
    MaterialList list;
    for (size_t k = 0; k < used.size(); k++)
        list.AddMaterial(TopNode(*scene, int(k))->GetMtl());
    for (const auto& [name, color] : colors)
        list.AddColor(name, new Color(color));

    MemoryFile out;
    MaterialWriter writer(out.Get(), &list);
    writer.gouraud = settings.gouraud;
    writer.lighting = settings.lighting;
    writer.SetLegacyFormat(settings.legacy);
    Section section;
    section.errors = writer.Export(nullptr);
    section.text = out.Text();
    return section;
}

// The block of one material, without the section's closing empty line.
std::string Block(const std::string& materials, const std::string& id, Settings settings = {})
{
    Section s = WriteSection(materials, {id}, settings);
    EXPECT_EQ(s.errors, 0);
    EXPECT_TRUE(s.text.size() >= 1 && s.text.back() == '\n');
    return s.text.substr(0, s.text.size() - 1);
}

TEST(MaterialWriter, WithoutStreamOrListWritesNothing)
{
    MaterialList list;
    MaterialWriter noStream(nullptr, &list);
    EXPECT_EQ(noStream.Export(nullptr), ERROR_MATERIAL);
    MemoryFile out;
    MaterialWriter noList(out.Get(), nullptr);
    EXPECT_EQ(noList.Export(nullptr), ERROR_MATERIAL);
    EXPECT_EQ(out.Text(), "");
}

TEST(MaterialWriter, EmptyListIsOneEmptyLine)
{
    Section s = WriteSection("", {});
    EXPECT_EQ(s.text, "\n");
    EXPECT_EQ(s.errors, 0);
}

TEST(MaterialWriter, PlainMaterials)
{
    const std::string m = R"(
        "wood": {"name": "Old wood", "diffuseMap": "dalle", "diffuse": [1, 0.5, 0]},
        "glass": {"diffuse": [0.2, 0.2, 0.2], "transparency": 0.5},
        "faint": {"transparency": 0.003},
        "opaque": {"transparency": 1},
        "procedural": {"diffuseMap": "noise", "transparency": 0.5},
        "nameless": {"diffuseMap": "nameless", "diffuse": [1, 0, 0]},
        "partition": {"diffuseMap": "partition", "diffuse": [1, 0, 0]})";
    // A bitmap map is the texture; no FLAT line.
    EXPECT_EQ(Block(m, "wood"), "material Old_wood {\n color ff8000\n texture maps/dalle.bmp\n"
                                " type NOLIGHT\n type TEXTURED\n}\n");
    // Without a map, the face colour is the material's own diffuse colour.
    EXPECT_EQ(Block(m, "glass"), "material glass {\n color 333333\n facecolor1 333333\n"
                                 " type FLAT\n type NOLIGHT\n type COLOR1\n type TRANSPARENCY127\n}\n");
    EXPECT_EQ(Block(m, "faint"), "material faint {\n color 808080\n facecolor1 808080\n"
                                 " type FLAT\n type NOLIGHT\n type COLOR1\n}\n");
    EXPECT_EQ(Block(m, "opaque"), "material opaque {\n color 808080\n facecolor1 808080\n"
                                  " type FLAT\n type NOLIGHT\n type COLOR1\n type TRANSPARENCY255\n}\n");
    // A map that is not a bitmap gives neither texture nor face colour.
    EXPECT_EQ(Block(m, "procedural"), "material procedural {\n color 808080\n"
                                      " type FLAT\n type NOLIGHT\n type TRANSPARENCY127\n}\n");
    // A bitmap whose texture line would name no file leaves its material unmapped.
    for (const char* id : {"nameless", "partition"})
        EXPECT_EQ(Block(m, id),
                  "material " + std::string(id) +
                      " {\n color ff0000\n facecolor1 ff0000\n type FLAT\n type NOLIGHT\n type COLOR1\n}\n");
}

TEST(MaterialWriter, ShadingFlagsComeFirstInTheirOrder)
{
    const std::string m = R"("flat": {"diffuse": [0, 0, 0]}, "mapped": {"diffuseMap": "dalle", "transparency": 0.5})";
    EXPECT_EQ(Block(m, "flat", {.gouraud = 1, .lighting = 1}),
              "material flat {\n color 000000\n facecolor1 000000\n"
              " type GOURAUD\n type FLAT\n type LIGHT\n type COLOR1\n}\n");
    EXPECT_EQ(Block(m, "mapped", {.gouraud = 1, .lighting = 1}),
              "material mapped {\n color 808080\n texture maps/dalle.bmp\n"
              " type GOURAUD\n type LIGHT\n type TEXTURED\n type TRANSPARENCY127\n}\n");
}

const char* const SolPierre = R"(
    "sol": {"class": "blend", "name": "Sol pierre", "diffuse": [0.498, 0.498, 0.498], "transparency": 0.5,
            "sub": ["dallePair", "moussePair"], "mix": 0.5})";

TEST(MaterialWriter, BlendOfTwoPairsGivesTwoTexturesAndTwoFaceColours)
{
    EXPECT_EQ(Block(SolPierre, "sol", {.gouraud = 1}), "material Sol_pierre {\n"
                                                       " color 7f7f7f\n"
                                                       " texture maps/dalle.bmp\n"
                                                       " texturebis maps/mousse.bmp 0.50\n"
                                                       " facecolor1 ff0000\n"
                                                       " facecolor2 0000ff\n"
                                                       " type GOURAUD\n"
                                                       " type NOLIGHT\n"
                                                       " type TEXTURED\n"
                                                       " type TEXTURED_BIS\n"
                                                       " type COLOR1\n"
                                                       " type COLOR2\n"
                                                       "}\n");
}

TEST(MaterialWriter, LegacyFormatKeepsTheFirstTextureOnly)
{
    const std::string m = std::string(SolPierre) + R"(, "wood": {"diffuseMap": "dalle", "transparency": 0.5},
        "glass": {"transparency": 0.5})";
    EXPECT_EQ(Block(m, "sol", {.gouraud = 1, .legacy = 1}),
              "material Sol_pierre {\n color 7f7f7f\n texture maps/dalle.bmp\n"
              " type GOURAUD\n type NOLIGHT\n type TEXTURED\n}\n");
    EXPECT_EQ(Block(m, "wood", {.legacy = 1}),
              "material wood {\n color 808080\n texture maps/dalle.bmp\n type NOLIGHT\n type TEXTURED\n}\n");
    EXPECT_EQ(Block(m, "glass", {.lighting = 1, .legacy = 1}), "material glass {\n color 808080\n type LIGHT\n}\n");
}

TEST(MaterialWriter, BlendsWithoutTwoPairsFallBackToTheColour)
{
    const std::string m = R"(
        "bothMapped": {"class": "blend", "sub": ["dalleMap", "mousseMap"]},
        "noPairs": {"class": "blend", "transparency": 0.5, "sub": ["dallePair", "bothMapped"]},
        "halfPair": {"class": "blend", "sub": ["dalleMap"]},
        "brokenNested": {"class": "blend", "sub": ["halfPair", "moussePair"]},
        "noisePair": {"class": "blend", "sub": ["noiseMap", "red"]},
        "noisy": {"class": "blend", "sub": ["dallePair", "noisePair"]})";
    // No transparency line for a blend, whatever its transparency.
    const std::string colourOnly = " color 808080\n type FLAT\n type NOLIGHT\n}\n";
    EXPECT_EQ(Block(m, "noPairs"), "material noPairs {\n" + colourOnly);
    // A nested blend lacking a sub-material forms no pair, and is no failure.
    EXPECT_EQ(Block(m, "brokenNested"), "material brokenNested {\n" + colourOnly);
    EXPECT_EQ(Block(m, "noisy"), "material noisy {\n" + colourOnly);
}

TEST(MaterialWriter, MixedBlendsWeighTheirPlainSide)
{
    const std::string m = R"(
        "plainFirst": {"class": "blend", "sub": ["mousseMap", "dallePair"],
                       "mix": {"keys": [{"t": 0, "value": 0.25}, {"t": 3200, "value": 1}]}},
        "plainSecond": {"class": "blend", "sub": ["dallePair", "mousseMap"], "mix": 0.25},
        "unpaired": {"class": "blend", "sub": ["moussePair", "dalleMap"], "mix": 0.4},
        "unmappedPlain": {"class": "blend", "sub": ["dallePair", "red"]},
        "noisePlain": {"class": "blend", "sub": ["noiseMap", "dallePair"]})";
    // The amount is read at time 0 and weighs sub-material 1.
    EXPECT_EQ(Block(m, "plainFirst"), "material plainFirst {\n color 808080\n texture maps/dalle.bmp\n"
                                      " texturebis maps/mousse.bmp 0.75\n facecolor1 ff0000\n"
                                      " type NOLIGHT\n type TEXTURED\n type TEXTURED_BIS\n type COLOR1\n}\n");
    EXPECT_EQ(Block(m, "plainSecond"), "material plainSecond {\n color 808080\n texture maps/dalle.bmp\n"
                                       " texturebis maps/mousse.bmp 0.25\n facecolor1 ff0000\n"
                                       " type NOLIGHT\n type TEXTURED\n type TEXTURED_BIS\n type COLOR1\n}\n");
    // The pair's colour is that of its unmapped side, here sub-material 0.
    EXPECT_EQ(Block(m, "unpaired"), "material unpaired {\n color 808080\n texture maps/mousse.bmp\n"
                                    " texturebis maps/dalle.bmp 0.40\n facecolor1 0000ff\n"
                                    " type NOLIGHT\n type TEXTURED\n type TEXTURED_BIS\n type COLOR1\n}\n");
    const std::string colourOnly = " color 808080\n type FLAT\n type NOLIGHT\n}\n";
    EXPECT_EQ(Block(m, "unmappedPlain"), "material unmappedPlain {\n" + colourOnly);
    EXPECT_EQ(Block(m, "noisePlain"), "material noisePlain {\n" + colourOnly);
}

TEST(MaterialWriter, MixedBlendWithoutPairGivesTheSecondTextureAlone)
{
    const std::string m = R"(
        "bothMapped": {"class": "blend", "sub": ["dalleMap", "dalleMap"]},
        "secondOnly": {"class": "blend", "sub": ["bothMapped", "mousseMap"], "mix": 0.3})";
    EXPECT_EQ(Block(m, "secondOnly"), "material secondOnly {\n color 808080\n texturebis maps/mousse.bmp 0.30\n"
                                      " type FLAT\n type NOLIGHT\n type TEXTURED_BIS\n}\n");
}

TEST(MaterialWriter, BlendOfTwoPlainMaterials)
{
    const std::string m = R"(
        "twoMaps": {"class": "blend", "sub": ["dalleMap", "mousseMap"], "mix": 1},
        "firstMap": {"class": "blend", "sub": ["dalleMap", "blue"], "mix": 0.2},
        "secondMap": {"class": "blend", "sub": ["red", "mousseMap"]},
        "noMap": {"class": "blend", "sub": ["red", "blue"]},
        "oneNoise": {"class": "blend", "sub": ["dalleMap", "noiseMap"]},
        "onlyNoise": {"class": "blend", "sub": ["noiseMap", "blue"]})";
    EXPECT_EQ(Block(m, "twoMaps"), "material twoMaps {\n color 808080\n texture maps/dalle.bmp\n"
                                   " texturebis maps/mousse.bmp 1.00\n"
                                   " type NOLIGHT\n type TEXTURED\n type TEXTURED_BIS\n}\n");
    // One map: the other side's diffuse colour is the face colour.
    EXPECT_EQ(Block(m, "firstMap"), "material firstMap {\n color 808080\n texture maps/dalle.bmp\n"
                                    " facecolor1 0000ff\n type NOLIGHT\n type TEXTURED\n type COLOR1\n}\n");
    EXPECT_EQ(Block(m, "secondMap"), "material secondMap {\n color 808080\n texture maps/mousse.bmp\n"
                                     " facecolor1 ff0000\n type NOLIGHT\n type TEXTURED\n type COLOR1\n}\n");
    const std::string colourOnly = " color 808080\n type FLAT\n type NOLIGHT\n}\n";
    EXPECT_EQ(Block(m, "noMap"), "material noMap {\n" + colourOnly);
    EXPECT_EQ(Block(m, "oneNoise"), "material oneNoise {\n" + colourOnly);
    EXPECT_EQ(Block(m, "onlyNoise"), "material onlyNoise {\n" + colourOnly);
}

// A blend that cannot be read keeps its colour line and is closed; the blocks after
// it are all written and the failure is reported.
TEST(MaterialWriter, UnreadableBlendIsClosedAndTheSectionGoesOn)
{
    const std::string m = R"(
        "first": {"diffuse": [1, 1, 1]},
        "noSecond": {"class": "blend", "diffuse": [1, 0, 0], "sub": ["dalleMap"]},
        "noFirst": {"class": "blend", "diffuse": [0, 1, 0], "sub": [null, "dalleMap"]},
        "noSubs": {"class": "blend", "diffuse": [0, 0, 1]},
        "last": {"diffuseMap": "mousse"})";
    Section s =
        WriteSection(m, {"first", "noSecond", "noFirst", "noSubs", "last"}, {}, {{"Rock 2", Color(0.2f, 0.2f, 0.2f)}});
    EXPECT_EQ(s.errors, ERROR_MATERIAL);
    EXPECT_EQ(s.text,
              "material first {\n color ffffff\n facecolor1 ffffff\n type FLAT\n type NOLIGHT\n type COLOR1\n}\n"
              "material noSecond {\n color ff0000\n}\n"
              "material noFirst {\n color 00ff00\n}\n"
              "material noSubs {\n color 0000ff\n}\n"
              "material last {\n color 808080\n texture maps/mousse.bmp\n type NOLIGHT\n type TEXTURED\n}\n"
              "material Rock_2_COL {\n color 333333\n}\n"
              "\n");
}

// Without its parameter block, a blend has no mix amount: it is unreadable only when
// the amount would be written.
TEST(MaterialWriter, BlendWithoutMixAmount)
{
    const std::string m = R"(
        "twoMaps": {"class": "blend", "sub": ["dalleMap", "mousseMap"], "mix": null},
        "oneMap": {"class": "blend", "sub": ["dalleMap", "blue"], "mix": null})";
    Section twoMaps = WriteSection(m, {"twoMaps"});
    EXPECT_EQ(twoMaps.errors, ERROR_MATERIAL);
    EXPECT_EQ(twoMaps.text, "material twoMaps {\n color 808080\n}\n\n");
    EXPECT_EQ(Block(m, "oneMap"), "material oneMap {\n color 808080\n texture maps/dalle.bmp\n"
                                  " facecolor1 0000ff\n type NOLIGHT\n type TEXTURED\n type COLOR1\n}\n");
    EXPECT_EQ(Block(m, "twoMaps", {.legacy = 1}),
              "material twoMaps {\n color 808080\n texture maps/dalle.bmp\n type NOLIGHT\n type TEXTURED\n}\n");
}

TEST(MaterialWriter, NamedColoursFollowTheMaterials)
{
    Section s = WriteSection(R"("stone": {"name": "Stone floor", "diffuse": [0, 0, 0]})", {"stone"}, {},
                             {{"Rock 2", Color(1.0f, 0.5f, 0.0f)}, {"Rock 2", Color(1.0f, 0.5f, 0.0f)}, {"", Color()}});
    EXPECT_EQ(s.errors, 0);
    EXPECT_EQ(s.text,
              "material Stone_floor {\n color 000000\n facecolor1 000000\n type FLAT\n type NOLIGHT\n type COLOR1\n}\n"
              "material Rock_2_COL {\n color ff8000\n}\n"
              "material Rock_2_COL {\n color ff8000\n}\n"
              "material _COL {\n color 000000\n}\n"
              "\n");
}

} // namespace
} // namespace vek::test
