// The command line's pictures: --render FILE.vek IMAGE.png, and --preview IMAGE.png
// after an export, with --size WxH, --camera NAME and --wire.
#pragma once

#include "render/VekRender.h"

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace vek::render {

struct RenderRequest {
    std::vector<std::string> files; // --render: the Vek file and the picture
    std::string preview;            // --preview: the picture of the exported file
    RenderSettings settings;
    bool operator==(const RenderRequest&) const = default;
};

void AddRenderOptions(CLI::App& app, RenderRequest& request);

// --render. Exit status: 0 drawn, 1 the file has findings (the first is shown), 2
// nothing drawn for another reason (unknown camera, picture not writable).
int RunRender(const RenderRequest& request);

// --preview of the file an export wrote; false, with the reason on standard error,
// when no picture was made.
bool WritePreview(const RenderRequest& request, const std::string& vekPath);

} // namespace vek::render
