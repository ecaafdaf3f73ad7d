// Feeds arbitrary bytes to the JSON scene loader: a scene that does not load is a
// SceneError with a message, never a crash, whatever the input.
#include "scene/Scene.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        vek::LoadSceneJson(std::string(reinterpret_cast<const char*>(data), size), "fuzz.json");
    } catch (const vek::SceneError&) {
    }
    return 0;
}
