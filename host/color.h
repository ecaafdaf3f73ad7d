// The host's colour value.
#pragma once

#include "geom.h"

class Color {
public:
    float r, g, b;
    Color() : r(0), g(0), b(0) {}
    Color(float R, float G, float B) : r(R), g(G), b(B) {}
    Color(double R, double G, double B) : r(float(R)), g(float(G)), b(float(B)) {}
    explicit Color(const Point3& p) : r(p.x), g(p.y), b(p.z) {}
    // From a packed 8-bit value 0x00BBGGRR.
    explicit Color(DWORD rgb)
        : r(float(rgb & 0xff) / 255.0f), g(float((rgb >> 8) & 0xff) / 255.0f), b(float((rgb >> 16) & 0xff) / 255.0f)
    {
    }
    bool operator==(const Color& c) const { return r == c.r && g == c.g && b == c.b; }
};

#define RGB(r, g, b) (DWORD(BYTE(r)) | (DWORD(BYTE(g)) << 8) | (DWORD(BYTE(b)) << 16))
