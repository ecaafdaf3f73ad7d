// Pictures of exported files: a red cube and a collision box seen through the
// default view and through camera blocks, drawn by the command line into PNG files;
// a textured square, and where its texture is looked for.
#include "export_run.h"
#include "render/Texture.h"
#include "render/VekRender.h"

#include <gtest/gtest.h>
#include <png.h>

#include <set>

namespace vek::test {
namespace {

namespace fs = std::filesystem;
using render::Rgb;

// A 2-unit red cube standing on the origin, a 10-unit collision box behind it, and
// two cameras 10 units in front of the cube at its mid-height: "Front" looking at
// it, "Away" looking the other way.
const std::string CubeScene = R"({"format": "vek-scene/1",
    "materials": {"red": {"name": "Red", "diffuse": [1, 0, 0]}},
    "objects": {"cube": {"type": "box", "length": 2, "width": 2, "height": 2},
                "crate": {"type": "box", "length": 10, "width": 10, "height": 10},
                "lens": {"type": "camera", "fov": 0.785398}},
    "nodes": [{"name": "Cube", "object": "cube", "material": "red"},
              {"name": "BOX_1", "object": "crate", "transform": {"position": [0, 10, -4]}},
              {"name": "Front", "object": "lens",
               "transform": {"position": [0, -10, 1], "rotation": {"axis": [1, 0, 0], "angle": 1.5707963}}},
              {"name": "Away", "object": "lens",
               "transform": {"position": [0, -10, 1], "rotation": {"axis": [1, 0, 0], "angle": -1.5707963}}}]})";

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    Rgb At(int x, int y) const
    {
        const uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
        return {p[0], p[1], p[2]};
    }
};

Picture ReadPng(const fs::path& path)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Picture p;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return p;
    image.format = PNG_FORMAT_RGB;
    p.rgb.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr)) {
        p.width = int(image.width);
        p.height = int(image.height);
    }
    return p;
}

bool IsRed(Rgb c) { return c.r > 0 && c.g == 0 && c.b == 0; }

// Exports CubeScene, with the picture of its preview, into the scratch directory of
// that name (each test has its own: the tests run in parallel).
fs::path ExportCube(const std::string& name, ExportRun* result = nullptr)
{
    ExportRun run = ExportScene(name, CubeScene, {{"exportCameras", 1}, {"exportBoxes", 1}},
                                {"--preview", "preview.png", "--size", "64x48"});
    EXPECT_EQ(run.status, 0) << run.stderrText;
    if (result)
        *result = run;
    return fs::path(VEK_BINARY_DIR) / "test-scratch" / name;
}

// Draws dir/out.vek into dir/name.png with the given options; the picture, empty when none.
Picture Render(const fs::path& dir, const std::string& name, std::vector<std::string> options,
               ExportRun* result = nullptr)
{
    std::vector<std::string> args = {"--render", "out.vek", name + ".png", "--size", "64x48"};
    args.insert(args.end(), options.begin(), options.end());
    ExportRun r = RunVekexport(dir, args);
    if (result)
        *result = r;
    else
        EXPECT_EQ(r.status, 0) << r.stderrText;
    return ReadPng(dir / (name + ".png"));
}

// The front camera sees the cube's front face 9 units away, 8.6 pixels on each side
// of the centre: columns 23.4 to 40.6, rows 15.4 to 32.6; the box's front face, 15
// units away, columns 6.3 to 57.8 and every row.
TEST(CubePictures, TheFrontCameraSeesTheFrontFaceItsOutlineAndTheTranslucentBox)
{
    fs::path dir = ExportCube("render-front");
    Picture plain = Render(dir, "front", {"--camera", "Front"});
    Picture wire = Render(dir, "front-wire", {"--camera", "Front", "--wire"});
    ASSERT_EQ(plain.width, 64);
    ASSERT_EQ(plain.height, 48);
    EXPECT_TRUE(IsRed(plain.At(32, 24)));
    EXPECT_EQ(plain.At(32, 24), wire.At(32, 24));
    EXPECT_EQ(plain.At(2, 2), render::Background);
    EXPECT_EQ(plain.At(60, 24), render::Background);
    EXPECT_TRUE(IsRed(plain.At(23, 24)));
    EXPECT_EQ(wire.At(23, 24), render::Outline);
    EXPECT_EQ(wire.At(32, 15), render::Outline);
    Rgb box = plain.At(10, 24);
    EXPECT_NE(box, render::Background);
    EXPECT_GT(box.r, render::Background.r);
    EXPECT_LT(box.b, render::Background.b);
}

TEST(CubePictures, TheCameraChangesTheView)
{
    fs::path dir = ExportCube("render-views");
    Picture away = Render(dir, "away", {"--camera", "Away"});
    ASSERT_EQ(away.width, 64);
    for (int y = 0; y < away.height; y++)
        for (int x = 0; x < away.width; x++)
            ASSERT_EQ(away.At(x, y), render::Background) << x << ", " << y;

    // Without a camera (and in the preview of the export) the three-quarter view
    // shows three faces of the cube, each in its own shade, the top the brightest.
    Picture preview = ReadPng(dir / "preview.png");
    ASSERT_EQ(preview.width, 64);
    EXPECT_EQ(preview.rgb, Render(dir, "default", {}).rgb);
    std::set<int> shades;
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++)
            if (IsRed(preview.At(x, y)))
                shades.insert(preview.At(x, y).r);
    EXPECT_EQ(shades.size(), 3u);
    Picture front = Render(dir, "front", {"--camera", "Front"});
    EXPECT_GT(*shades.rbegin(), front.At(32, 24).r);

    ExportRun unknown;
    Render(dir, "unknown", {"--camera", "Side"}, &unknown);
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.stderrText.find("no camera block named \"Side\""), std::string::npos);
}

TEST(CubePictures, ADamagedFileIsRefusedWithTheCheckersFirstFinding)
{
    ExportRun run;
    fs::path dir = ExportCube("render-damaged", &run);
    ASSERT_TRUE(run.vek);
    std::string text = *run.vek;
    size_t marker = text.find("#EXPORT_OK");
    ASSERT_NE(marker, std::string::npos);
    long line = long(std::count(text.begin(), text.begin() + long(marker), '\n')) + 1;
    WriteFile(dir / "bad.vek", text.substr(0, marker) + "#EXPORT_KO\r\n");
    ExportRun bad = RunVekexport(dir, {"--render", "bad.vek", "bad.png"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.stderrText, "vekexport: bad.vek:" + std::to_string(line) +
                                  ": unknown line after the result markers: \"#EXPORT_KO\" (and 1 more: --check "
                                  "lists them)\n");
    EXPECT_FALSE(fs::exists(dir / "bad.png"));
}

// A square of 2 units standing in front of the "Front" camera of CubeScene, mapped
// with the whole of a texture; its material's own colour is black, as in many
// models whose colour is all in their texture.
std::string TexturedScene(const fs::path& texture)
{
    return R"({"format": "vek-scene/1",
    "texmaps": {"checker": {"class": "bitmap", "file": ")" +
           texture.string() + R"("}},
    "materials": {"checker": {"name": "Checker", "diffuse": [0, 0, 0], "diffuseMap": "checker"}},
    "objects": {"square": {"type": "mesh", "verts": [[-1, 0, 0], [1, 0, 0], [1, 0, 2], [-1, 0, 2]],
                           "faces": [{"v": [0, 1, 2], "edges": 3}, {"v": [2, 3, 0], "edges": 3}],
                           "tverts": [[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]],
                           "tvfaces": [[0, 1, 2], [2, 3, 0]]},
                "lens": {"type": "camera", "fov": 0.785398}},
    "nodes": [{"name": "Square", "object": "square", "material": "checker"},
              {"name": "Front", "object": "lens",
               "transform": {"position": [0, -10, 1], "rotation": {"axis": [1, 0, 0], "angle": 1.5707963}}}]})";
}

// An uncompressed 24-bit TGA picture of 2 x 2 texels, rows from the top.
std::string Tga2x2(const std::array<Rgb, 4>& texels)
{
    std::string s = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, 0x20};
    for (const Rgb& t : texels)
        s += {char(t.b), char(t.g), char(t.r)};
    return s;
}

// The square seen through the camera covers columns 24 to 39 and rows 16 to 31 of the
// 64 x 48 picture: each quarter shows its quarter of the texture, the right way up.
TEST(TexturedPictures, FacesShowTheirTextureOrTheirColourWhenItCannotBeRead)
{
    const fs::path dir = fs::path(VEK_BINARY_DIR) / "test-scratch" / "render-textured";
    ExportRun run = ExportScene("render-textured", TexturedScene(dir / "checker.tga"), {{"exportCameras", 1}});
    ASSERT_EQ(run.status, 0) << run.stderrText;
    const Rgb green{0, 255, 0}, blue{0, 0, 255}, yellow{255, 255, 0}, white{255, 255, 255};
    WriteFile(dir / "checker.tga", Tga2x2({green, blue, yellow, white}));
    Picture picture = Render(dir, "textured", {"--camera", "Front"});
    ASSERT_EQ(picture.width, 64);
    const Rgb topLeft = picture.At(28, 20), topRight = picture.At(36, 20), bottomLeft = picture.At(28, 28),
              bottomRight = picture.At(36, 28);
    EXPECT_TRUE(topLeft.r == 0 && topLeft.g > 0 && topLeft.b == 0) << int(topLeft.g);
    EXPECT_TRUE(topRight.r == 0 && topRight.g == 0 && topRight.b > 0);
    EXPECT_TRUE(bottomLeft.r > 0 && bottomLeft.r == bottomLeft.g && bottomLeft.b == 0);
    EXPECT_TRUE(bottomRight.r > 0 && bottomRight.r == bottomRight.g && bottomRight.g == bottomRight.b);
    EXPECT_EQ(picture.At(2, 2), render::Background);

    // Not a picture: a warning, and the square in its material's colour.
    WriteFile(dir / "checker.tga", "not a picture");
    ExportRun damaged;
    Picture plain = Render(dir, "plain", {"--camera", "Front"}, &damaged);
    EXPECT_EQ(damaged.status, 0);
    EXPECT_EQ(damaged.stderrText.rfind("vekexport: warning: out.vek: texture \"" + (dir / "checker.tga").string() +
                                           "\" of material \"Checker\": ",
                                       0),
              0u)
        << damaged.stderrText;
    EXPECT_NE(damaged.stderrText.find("drawn in the material's colour"), std::string::npos);
    EXPECT_EQ(plain.At(28, 20), (Rgb{0, 0, 0}));
    EXPECT_EQ(plain.At(36, 28), (Rgb{0, 0, 0}));
}

// Relative texture paths lie under the Partition directory the file is in, or else
// under the texture root; then beside the file. Absolute ones are taken as written;
// last comes the file's own name beside the Vek file.
TEST(TexturedPictures, TexturePathsAreLookedForWhereTheEngineLooks)
{
    const struct {
        const char *written, *vek, *root;
        std::vector<std::string> candidates;
    } cases[] = {
        {"maps/wood.bmp",
         "/game/Partition/levels/hall.vek",
         "",
         {"/game/Partition/maps/wood.bmp", "/game/Partition/levels/maps/wood.bmp", "/game/Partition/levels/wood.bmp"}},
        {"maps/wood.bmp",
         "/game/PARTITION/hall.vek",
         "/elsewhere",
         {"/game/PARTITION/maps/wood.bmp", "/game/PARTITION/wood.bmp"}},
        {"maps/wood.bmp",
         "/out/hall.vek",
         "/data/game",
         {"/data/game/maps/wood.bmp", "/out/maps/wood.bmp", "/out/wood.bmp"}},
        {"wood.bmp", "/out/hall.vek", "", {"/out/wood.bmp"}},
        {"/models/truck/wood.png", "/out/hall.vek", "/data", {"/models/truck/wood.png", "/out/wood.png"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(render::TextureCandidates(c.written, c.vek, c.root), c.candidates) << c.written << " " << c.vek;
}

} // namespace
} // namespace vek::test
