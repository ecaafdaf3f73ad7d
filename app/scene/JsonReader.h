// Strict reading of a parsed JSON document: every value is checked for its type
// and range before it is read, and every problem throws SceneError
// "FILE: PATH: what", PATH naming the place in the document
// (nodes[0].children[2].object; "top level" for the document itself).
#pragma once

#include "SceneBuilder.h"

#include <nlohmann/json.hpp>

#include <initializer_list>
#include <limits>
#include <optional>
#include <string>

namespace vek {

using json = nlohmann::json;

std::string JsonKey(const std::string& path, const std::string& key);
std::string JsonIndex(const std::string& path, size_t i);
std::string Quoted(const std::string& s);

// A JSON value together with its place in the document.
struct At {
    const json& j;
    std::string path;

    At operator[](const char* key) const { return {j.at(key), JsonKey(path, key)}; }
    At operator[](size_t i) const { return {j.at(i), JsonIndex(path, i)}; }
};

class JsonReader {
public:
    static constexpr int64_t kIntMin = std::numeric_limits<int>::min();
    static constexpr int64_t kIntMax = std::numeric_limits<int>::max();

    explicit JsonReader(const std::string& fileName) : file(fileName) {}

    [[noreturn]] void Fail(const std::string& path, const std::string& what) const;
    [[noreturn]] void WrongType(const At& v, const char* expected) const;

    // Runs f, turning a refusal of the scene builder into an error at `path`.
    template <class F> decltype(auto) Checked(const std::string& path, F&& f) const
    {
        try {
            return f();
        } catch (const BuildError& e) {
            Fail(path, e.what());
        }
    }

    // Checks that v is an object whose keys are all in `allowed`.
    void Keys(const At& v, std::initializer_list<const char*> allowed) const;
    // The member `key` of object v, or nothing when absent.
    std::optional<At> Find(const At& v, const char* key) const;
    At Required(const At& v, const char* key) const;
    const json& Array(const At& v) const;
    std::string String(const At& v) const;
    bool Bool(const At& v) const;
    // A number that is finite as a float.
    float Float(const At& v) const;
    // An integer from lo to hi, which may be written as a whole float (2.0, 1e3).
    int64_t Integer(const At& v, int64_t lo, int64_t hi) const;
    int Int(const At& v) const { return int(Integer(v, kIntMin, kIntMax)); }
    // [x, y, z]
    Point3 Vec3(const At& v) const;

    float OptFloat(const At& obj, const char* key, float dflt) const;
    bool OptBool(const At& obj, const char* key, bool dflt) const;
    int OptInt(const At& obj, const char* key, int dflt) const;

protected:
    const std::string& file;
};

} // namespace vek
