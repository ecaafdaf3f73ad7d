// The eighteen settings of an export, in the order of the exporter's members and of
// the values in the configuration file. A flag is on when non-zero.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct ExportOptions {
    int32_t legacyFormat; // write for engine versions 3.5 and earlier
    int32_t exportDummies;
    int32_t exportGeometry; // also decides whether material blocks are written
    int32_t quadFaces;      // join triangle pairs into four-vertex faces
    int32_t exportLights;
    int32_t exportCameras;
    int32_t exportMaterials; // otherwise the nodes' wire colours
    int32_t mergeVertices;   // merge parent and child vertices
    int32_t exportTopology;  // shared topology blocks
    int32_t exportAnimation; // the scene is then evaluated at time 0
    int32_t currentFrame;    // evaluate at the host's current time
    int32_t exportBoxes;     // the collision-box file
    int32_t gouraud;
    int32_t lighting;
    int32_t frameNumber;    // frame evaluated when neither animation nor current frame
    int32_t decimals;       // 0 to 10
    int32_t indentation;    // spaces per level, 0 to 8
    int32_t mergePrecision; // tenths of a unit, 0 to 10

    static constexpr int Count = 18;
    // The i-th value in file order (ExportOptionTable).
    int32_t& operator[](int i);
    int32_t operator[](int i) const;
};
static_assert(sizeof(ExportOptions) == size_t(ExportOptions::Count) * 4,
              "the options are a plain run of 32-bit values");

// The option fields in file order: the name the command line and tests spell, the
// member, the default, and the values the preferences dialog lets a user give. The
// frame spinner takes the scene's animation range instead (min > max here).
struct ExportOptionInfo {
    const char* name;
    int32_t ExportOptions::*member;
    int32_t defaultValue;
    bool isFlag;
    int min, max;
};
inline constexpr ExportOptionInfo ExportOptionTable[] = {
    {"legacyFormat", &ExportOptions::legacyFormat, 0, true, 0, 1},
    {"exportDummies", &ExportOptions::exportDummies, 1, true, 0, 1},
    {"exportGeometry", &ExportOptions::exportGeometry, 1, true, 0, 1},
    {"quadFaces", &ExportOptions::quadFaces, 1, true, 0, 1},
    {"exportLights", &ExportOptions::exportLights, 0, true, 0, 1},
    {"exportCameras", &ExportOptions::exportCameras, 0, true, 0, 1},
    {"exportMaterials", &ExportOptions::exportMaterials, 1, true, 0, 1},
    {"mergeVertices", &ExportOptions::mergeVertices, 0, true, 0, 1},
    {"exportTopology", &ExportOptions::exportTopology, 0, true, 0, 1},
    {"exportAnimation", &ExportOptions::exportAnimation, 0, true, 0, 1},
    {"currentFrame", &ExportOptions::currentFrame, 1, true, 0, 1},
    {"exportBoxes", &ExportOptions::exportBoxes, 0, true, 0, 1},
    {"gouraud", &ExportOptions::gouraud, 0, true, 0, 1},
    {"lighting", &ExportOptions::lighting, 0, true, 0, 1},
    {"frameNumber", &ExportOptions::frameNumber, 0, false, 0, -1},
    {"decimals", &ExportOptions::decimals, 6, false, 0, 10},
    {"indentation", &ExportOptions::indentation, 1, false, 0, 8},
    {"mergePrecision", &ExportOptions::mergePrecision, 1, false, 0, 10},
};
static_assert(sizeof(ExportOptionTable) / sizeof(ExportOptionTable[0]) == ExportOptions::Count);

inline int32_t& ExportOptions::operator[](int i) { return this->*ExportOptionTable[i].member; }
inline int32_t ExportOptions::operator[](int i) const { return this->*ExportOptionTable[i].member; }

// Dummies, geometry, four-vertex faces, materials and the current frame on;
// 6 decimals, indentation 1, merge precision 1.
inline constexpr ExportOptions DefaultExportOptions = [] {
    ExportOptions options{};
    for (const ExportOptionInfo& info : ExportOptionTable)
        options.*info.member = info.defaultValue;
    return options;
}();

// The index of the option of this name in ExportOptionTable, -1 for none.
inline int FindExportOption(std::string_view name)
{
    for (int k = 0; k < ExportOptions::Count; k++)
        if (name == ExportOptionTable[k].name)
            return k;
    return -1;
}

// The configuration file: the values in table order, each 32-bit two's complement,
// least significant byte first, no header.
inline constexpr size_t OptionsFileSize = size_t(ExportOptions::Count) * 4;

inline std::string EncodeOptionsFile(const ExportOptions& options)
{
    std::string bytes;
    bytes.reserve(OptionsFileSize);
    for (int k = 0; k < ExportOptions::Count; k++)
        for (int b = 0; b < 4; b++)
            bytes += char((uint32_t(options[k]) >> (8 * b)) & 0xff);
    return bytes;
}

// Sets the values the bytes fully hold, from the first; the others are left as they
// are, and bytes beyond the last value are ignored. Returns how many were set.
inline int DecodeOptionsFile(std::string_view bytes, ExportOptions& options)
{
    int count = int(std::min(bytes.size() / 4, size_t(ExportOptions::Count)));
    for (int k = 0; k < count; k++) {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data()) + 4 * size_t(k);
        options[k] = int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
    }
    return count;
}

#define OPTIONS_FILE_NAME "ExportToVek.cfg"
