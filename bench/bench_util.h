// Setting up the exports the benchmarks time.
#pragma once

#include "export/SceneExporter.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>

// Stores options as the configuration file in dir.
inline void WriteOptionsFile(const std::filesystem::path& dir, const ExportOptions& options)
{
    FILE* f = std::fopen((dir / OPTIONS_FILE_NAME).c_str(), "wb");
    const std::string bytes = EncodeOptionsFile(options);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}
