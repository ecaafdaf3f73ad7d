#include "render/RenderCommand.h"

#include "render/PngFile.h"

#include <cstdio>

namespace vek::render {

namespace {

constexpr int MaxSide = 16384;

// "WIDTHxHEIGHT", each side 1 to MaxSide.
bool ParseSize(const std::string& text, RenderSettings& settings)
{
    int w = 0, h = 0, used = 0;
    if (std::sscanf(text.c_str(), "%dx%d%n", &w, &h, &used) != 2 || size_t(used) != text.size() || w < 1 || h < 1 ||
        w > MaxSide || h > MaxSide)
        return false;
    settings.width = w;
    settings.height = h;
    return true;
}

// Draws the Vek file into the picture; the reason on standard error when it cannot.
bool Picture(const RenderSettings& settings, const std::string& vekPath, const std::string& imagePath, bool& damaged)
{
    try {
        std::vector<std::string> warnings;
        Image image = DrawVekFile(vekPath, settings, &warnings);
        for (const std::string& w : warnings)
            std::fprintf(stderr, "vekexport: warning: %s\n", w.c_str());
        WritePng(imagePath, image);
    } catch (const RenderError& e) {
        damaged = dynamic_cast<const DamagedFile*>(&e) != nullptr;
        std::fprintf(stderr, "vekexport: %s\n", e.what());
        return false;
    }
    std::printf("vekexport: drew %s\n", imagePath.c_str());
    return true;
}

} // namespace

void AddRenderOptions(CLI::App& app, RenderRequest& request)
{
    app.add_option("--render", request.files, "Draw a Vek file (and the .box file beside it) into a PNG picture")
        ->expected(2)
        ->type_name("FILE.vek IMAGE.png");
    app.add_option("--preview", request.preview,
                   "After the export, draw the file written into this PNG picture (a batch: into this directory, "
                   "as <the output's place under --output-dir>.png)")
        ->type_name("IMAGE.png");
    app.add_option_function<std::string>(
           "--size",
           [&request](const std::string& text) {
               if (!ParseSize(text, request.settings))
                   throw CLI::ValidationError("--size",
                                              "expected WIDTHxHEIGHT, each from 1 to " + std::to_string(MaxSide));
           },
           "Picture size (default 1024x768)")
        ->type_name("WxH");
    app.add_option("--camera", request.settings.camera, "Draw the view of this camera block")->type_name("NAME");
    app.add_flag("--wire", request.settings.outlines, "Outline every face, so that quads show");
}

int RunRender(const RenderRequest& request)
{
    bool damaged = false;
    if (Picture(request.settings, request.files[0], request.files[1], damaged))
        return 0;
    return damaged ? 1 : 2;
}

bool WritePreview(const RenderRequest& request, const std::string& vekPath)
{
    bool damaged = false;
    return Picture(request.settings, vekPath, request.preview, damaged);
}

} // namespace vek::render
