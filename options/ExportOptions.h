// The eighteen settings of an export, in the order of the exporter's members and of
// the values in the configuration file. A flag is on when non-zero.
#pragma once

#include <cstddef>
#include <cstdint>

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
    int32_t& operator[](int i) { return (&legacyFormat)[i]; }
    int32_t operator[](int i) const { return (&legacyFormat)[i]; }
};
static_assert(sizeof(ExportOptions) == size_t(ExportOptions::Count) * 4,
              "the options are a plain run of 32-bit values");

// Dummies, geometry, four-vertex faces, materials and the current frame on;
// 6 decimals, indentation 1, merge precision 1.
inline constexpr ExportOptions DefaultExportOptions = {0, 1, 1, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 6, 1, 1};

// The option fields by name, in file order, as the command line and tests spell them,
// with the values the preferences dialog lets a user give them. The frame spinner
// takes the scene's animation range instead (min > max here).
struct ExportOptionInfo {
    const char* name;
    bool isFlag;
    int min, max;
};
inline constexpr ExportOptionInfo ExportOptionTable[] = {
    {"legacyFormat", true, 0, 1},    {"exportDummies", true, 0, 1}, {"exportGeometry", true, 0, 1},
    {"quadFaces", true, 0, 1},       {"exportLights", true, 0, 1},  {"exportCameras", true, 0, 1},
    {"exportMaterials", true, 0, 1}, {"mergeVertices", true, 0, 1}, {"exportTopology", true, 0, 1},
    {"exportAnimation", true, 0, 1}, {"currentFrame", true, 0, 1},  {"exportBoxes", true, 0, 1},
    {"gouraud", true, 0, 1},         {"lighting", true, 0, 1},      {"frameNumber", false, 0, -1},
    {"decimals", false, 0, 10},      {"indentation", false, 0, 8},  {"mergePrecision", false, 0, 10},
};
static_assert(sizeof(ExportOptionTable) / sizeof(ExportOptionTable[0]) == ExportOptions::Count);

#define OPTIONS_FILE_NAME "ExportToVek.cfg"
