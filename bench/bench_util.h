// Setting up the exports the benchmarks time.
#pragma once

#include "export/SceneExporter.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>

// Stores options as the configuration file in dir: each field four bytes, low byte first.
inline void WriteOptionsFile(const std::filesystem::path& dir, const ExportOptions& options)
{
    FILE* f = std::fopen((dir / OPTIONS_FILE_NAME).c_str(), "wb");
    for (int i = 0; i < ExportOptions::Count; i++) {
        uint32_t u = uint32_t(options[i]);
        unsigned char b[4] = {BYTE(u), BYTE(u >> 8), BYTE(u >> 16), BYTE(u >> 24)};
        std::fwrite(b, 1, 4, f);
    }
    std::fclose(f);
}
