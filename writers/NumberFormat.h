// The one exact path for numbers written from the scene.
#pragma once

#include <climits>
#include <cmath>
#include <cstddef>

// Largest text FormatFixed produces: a float near its range widened to double has
// 39 integer digits; with a sign, the point and 10 decimals that is 51 characters.
constexpr size_t FORMAT_FIXED_MAX = 64;

// Writes v, widened to double, exactly as printf's "%4.<decimals>f" does (minimum
// width 4, right-aligned with spaces; "nan", "-nan", "inf", "-inf" likewise) into buf,
// which holds FORMAT_FIXED_MAX characters, and returns the length. decimals is 0 to 10.
size_t FormatFixed(char* buf, float v, int decimals);

// The decimals and indentation the writers accept: what the preferences dialog's
// spinners allow. Values from elsewhere (a damaged configuration file) are clamped.
constexpr int MAX_DECIMALS = 10;
constexpr int MAX_INDENTATION = 8;
int ClampDecimals(int decimals);
int ClampIndentation(int indentation);

// v truncated toward zero. Values no int holds are given a defined result: NaN is 0,
// the rest saturate at INT_MIN or INT_MAX. Inline: the face lines call it per vertex.
inline int TruncateToInt(double v)
{
    if (v > -2147483649.0 && v < 2147483648.0)
        return int(v);
    if (std::isnan(v))
        return 0;
    return v > 0 ? INT_MAX : INT_MIN;
}
