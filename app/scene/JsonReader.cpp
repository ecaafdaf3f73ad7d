#include "JsonReader.h"

#include "JsonErrors.h"

#include <cmath>

namespace vek {

std::string JsonKey(const std::string& path, const std::string& key) { return path.empty() ? key : path + "." + key; }
std::string JsonIndex(const std::string& path, size_t i) { return path + "[" + std::to_string(i) + "]"; }
std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

void JsonReader::Fail(const std::string& path, const std::string& what) const
{
    throw SceneError(file + ": " + (path.empty() ? "top level" : ShortJsonPath(path)) + ": " + what);
}

void JsonReader::WrongType(const At& v, const char* expected) const
{
    Fail(v.path, std::string("expected ") + expected + ", got " + v.j.type_name());
}

void JsonReader::Keys(const At& v, std::initializer_list<const char*> allowed) const
{
    if (!v.j.is_object())
        WrongType(v, "an object");
    for (auto it = v.j.begin(); it != v.j.end(); ++it) {
        bool known = false;
        for (const char* k : allowed)
            known = known || it.key() == k;
        if (!known)
            Fail(JsonKey(v.path, it.key()), "unknown key");
    }
}

std::optional<At> JsonReader::Find(const At& v, const char* key) const
{
    auto it = v.j.find(key);
    if (it == v.j.end())
        return std::nullopt;
    return At{*it, JsonKey(v.path, key)};
}

At JsonReader::Required(const At& v, const char* key) const
{
    auto f = Find(v, key);
    if (!f)
        Fail(JsonKey(v.path, key), "required field missing");
    return *f;
}

const json& JsonReader::Array(const At& v) const
{
    if (!v.j.is_array())
        WrongType(v, "an array");
    return v.j;
}

std::string JsonReader::String(const At& v) const
{
    if (!v.j.is_string())
        WrongType(v, "a string");
    return v.j.get<std::string>();
}

bool JsonReader::Bool(const At& v) const
{
    if (!v.j.is_boolean())
        WrongType(v, "true or false");
    return v.j.get<bool>();
}

float JsonReader::Float(const At& v) const
{
    if (!v.j.is_number())
        WrongType(v, "a number");
    float f = float(v.j.get<double>());
    if (!std::isfinite(f))
        Fail(v.path, "number out of range");
    return f;
}

int64_t JsonReader::Integer(const At& v, int64_t lo, int64_t hi) const
{
    auto range = [&] { Fail(v.path, "expected an integer from " + std::to_string(lo) + " to " + std::to_string(hi)); };
    if (v.j.is_number_unsigned()) {
        uint64_t u = v.j.get<uint64_t>();
        if (u > uint64_t(hi) || (lo > 0 && u < uint64_t(lo)))
            range();
        return int64_t(u);
    }
    if (v.j.is_number_integer()) {
        int64_t i = v.j.get<int64_t>();
        if (i < lo || i > hi)
            range();
        return i;
    }
    if (v.j.is_number_float()) {
        double d = v.j.get<double>();
        if (d != std::floor(d) || !std::isfinite(d))
            Fail(v.path, "expected an integer, got " + v.j.dump());
        if (d < double(lo) || d > double(hi))
            range();
        return int64_t(d);
    }
    WrongType(v, "an integer");
}

Point3 JsonReader::Vec3(const At& v) const
{
    const json& a = Array(v);
    if (a.size() != 3)
        Fail(v.path, "expected 3 numbers, got " + std::to_string(a.size()));
    return Point3(Float(v[size_t(0)]), Float(v[1]), Float(v[2]));
}

float JsonReader::OptFloat(const At& obj, const char* key, float dflt) const
{
    auto v = Find(obj, key);
    return v ? Float(*v) : dflt;
}

bool JsonReader::OptBool(const At& obj, const char* key, bool dflt) const
{
    auto v = Find(obj, key);
    return v ? Bool(*v) : dflt;
}

int JsonReader::OptInt(const At& obj, const char* key, int dflt) const
{
    auto v = Find(obj, key);
    return v ? Int(*v) : dflt;
}

} // namespace vek
