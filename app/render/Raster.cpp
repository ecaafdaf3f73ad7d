#include "render/Raster.h"

#include <algorithm>
#include <cmath>

namespace vek::render {

Image::Image(int w, int h, Rgb background) : width(w), height(h), pixels(size_t(w) * size_t(h) * 3)
{
    for (size_t i = 0; i < pixels.size(); i += 3) {
        pixels[i] = background.r;
        pixels[i + 1] = background.g;
        pixels[i + 2] = background.b;
    }
}

Rgb Image::At(int x, int y) const
{
    const uint8_t* p = &pixels[(size_t(y) * size_t(width) + size_t(x)) * 3];
    return {p[0], p[1], p[2]};
}

void Image::Set(int x, int y, Rgb c)
{
    uint8_t* p = &pixels[(size_t(y) * size_t(width) + size_t(x)) * 3];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
}

namespace {

// Lines count as lying on a surface within this share of its distance, so that
// outlines drawn over their own faces are not lost to rounding.
constexpr float LineDepthTolerance = 0.003f;

Rgb Mix(Rgb under, Rgb over, float alpha)
{
    auto channel = [alpha](uint8_t u, uint8_t o) { return uint8_t(std::lround(u + (o - u) * alpha)); };
    return {channel(under.r, over.r), channel(under.g, over.g), channel(under.b, over.b)};
}

// Whether a box with these sides lies wholly beside the pixel centres of the picture.
bool OffPicture(float left, float right, float top, float bottom, int width, int height)
{
    return right < 0.5f || bottom < 0.5f || left > float(width) - 0.5f || top > float(height) - 0.5f;
}

// Whether some pixel centre k + 0.5, k from 0 to count - 1, lies from low to high
// (which overlap them). The span is widened by far more than the rounding of the
// edge functions, so that no pixel the triangle filling takes as inside is missed.
bool AnyCentre(float low, float high, int count)
{
    constexpr float Margin = 1.0f / 32;
    const float first = std::max(low - Margin - 0.5f, 0.0f);
    const float last = std::min(high + Margin - 0.5f, float(count - 1));
    const int k = int(first);
    return float(k) >= first ? float(k) <= last : float(k + 1) <= last;
}

ViewPoint Between(const ViewPoint& a, const ViewPoint& b, float t)
{
    ViewPoint p{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
    p.u = a.u + (b.u - a.u) * t;
    p.v = a.v + (b.v - a.v) * t;
    return p;
}

// Edge function of the edge p -> q: positive on the inner side of a triangle whose
// corners turn counter-clockwise in pixel coordinates.
struct Edge {
    float a, b, c; // value a * x + b * y + c
    bool ownsTies; // whether a pixel centre exactly on the edge is inside
    Edge(float px, float py, float qx, float qy)
        : a(py - qy), b(qx - px), c((qy - py) * px - (qx - px) * py),
          // Of the two triangles sharing an edge, which run along it in opposite
          // directions, exactly one owns the pixels on it.
          ownsTies(qy > py || (qy == py && qx < px))
    {
    }
    bool Inside(float value) const { return value > 0 || (value == 0 && ownsTies); }
};

} // namespace

Rasterizer::Rasterizer(Image& i, const Camera& c)
    : image(i), camera(c), cx(float(i.Width()) * 0.5f), cy(float(i.Height()) * 0.5f),
      depth(size_t(i.Width()) * size_t(i.Height()), 0.0f)
{
}

Matrix3 Rasterizer::ViewMatrix() const
{
    const Point3 &r = camera.right, &u = camera.up, &f = camera.forward, &e = camera.eye;
    return Matrix3(Point3(r.x, u.x, f.x), Point3(r.y, u.y, f.y), Point3(r.z, u.z, f.z),
                   Point3(-(e % r), -(e % u), -(e % f)));
}

ViewPoint Rasterizer::Place(const Point3& c) const
{
    ViewPoint p{c.x, c.y, c.z};
    return p.z >= camera.nearDistance ? Project(p) : p;
}

ViewPoint Rasterizer::Project(ViewPoint p) const
{
    p.w = 1.0f / p.z;
    p.column = cx + p.x * camera.focal * p.w;
    p.row = cy - p.y * camera.focal * p.w;
    return p;
}

bool Rasterizer::MayCover(const ViewPoint* v, int n) const
{
    float left = v[0].column, right = left, top = v[0].row, bottom = top, sum = 0;
    for (int k = 0; k < n; k++) {
        if (!(v[k].z >= camera.nearDistance))
            return true; // cut at the near distance: its corners are not yet in the picture
        left = std::min(left, v[k].column);
        right = std::max(right, v[k].column);
        top = std::min(top, v[k].row);
        bottom = std::max(bottom, v[k].row);
        sum += v[k].column + v[k].row;
    }
    return std::isfinite(sum) && !OffPicture(left, right, top, bottom, image.Width(), image.Height()) &&
           AnyCentre(left, right, image.Width()) && AnyCentre(top, bottom, image.Height());
}

bool Rasterizer::Fill(const ViewPoint& a, const ViewPoint& b, const ViewPoint& c, Rgb color)
{
    if (!FacesCamera(a, b, c))
        return false;
    Cut({a, b, c}, [&](const ViewPoint& p, const ViewPoint& q, const ViewPoint& r) {
        Raster(p, q, r, color, 1.0f, Mode::Opaque);
    });
    return true;
}

bool Rasterizer::FillTextured(const ViewPoint& a, const ViewPoint& b, const ViewPoint& c, const Texture& texture,
                              float light)
{
    if (!FacesCamera(a, b, c))
        return false;
    Cut({a, b, c},
        [&](const ViewPoint& p, const ViewPoint& q, const ViewPoint& r) { Textured(p, q, r, texture, light); });
    return true;
}

void Rasterizer::Blend(const ViewPoint& a, const ViewPoint& b, const ViewPoint& c, Rgb color, float alpha)
{
    Cut({a, b, c}, [&](const ViewPoint& p, const ViewPoint& q, const ViewPoint& r) {
        Raster(p, q, r, color, alpha, Mode::Translucent);
    });
}

// Cuts the triangle at the near distance, then hands what remains to draw as a fan.
template <typename Draw> void Rasterizer::Cut(const ViewPoint (&v)[3], Draw draw) const
{
    const float n = camera.nearDistance;
    if (v[0].z >= n && v[1].z >= n && v[2].z >= n) {
        draw(v[0], v[1], v[2]);
        return;
    }
    ViewPoint kept[4];
    int count = 0;
    for (int i = 0; i < 3; i++) {
        const ViewPoint& p = v[i];
        const ViewPoint& q = v[(i + 1) % 3];
        if (p.z >= n)
            kept[count++] = p;
        if ((p.z >= n) != (q.z >= n))
            kept[count++] = Between(p, q, (n - p.z) / (q.z - p.z));
    }
    if (count < 3)
        return;
    for (int i = 0; i < count; i++)
        kept[i] = Project(kept[i]);
    for (int i = 1; i + 1 < count; i++)
        draw(kept[0], kept[i], kept[i + 1]);
}

// Calls paint(i, x, y, w, pa, pb, pc) for each pixel (x, y), at index i, whose centre
// lies inside the triangle: pa, pb and pc are the weights of the corners a, b and c
// there, each divided by the corner's distance, so that their sum w is 1 / distance
// of the surface at the pixel, and pa / w the share of a, in perspective.
template <typename Paint>
void Rasterizer::Scan(const ViewPoint& a, const ViewPoint& b0, const ViewPoint& c0, Paint paint)
{
    float area = (b0.column - a.column) * (c0.row - a.row) - (b0.row - a.row) * (c0.column - a.column);
    if (!(std::fabs(area) > 0) || !std::isfinite(area))
        return;
    const bool flip = area < 0;
    const ViewPoint& b = flip ? c0 : b0;
    const ViewPoint& c = flip ? b0 : c0;
    area = std::fabs(area);
    const int width = image.Width(), height = image.Height();
    // The pixels whose centres may lie inside, found without rounding functions
    // (a call each on most processors): a pixel's centre is half a pixel on.
    const float left = std::min({a.column, b.column, c.column}), right = std::max({a.column, b.column, c.column});
    const float top = std::min({a.row, b.row, c.row}), bottom = std::max({a.row, b.row, c.row});
    if (OffPicture(left, right, top, bottom, width, height) || !AnyCentre(left, right, width) ||
        !AnyCentre(top, bottom, height))
        return;
    const int x0 = int(std::max(left - 0.5f, 0.0f)), x1 = int(std::min(right, float(width - 1)));
    const int y0 = int(std::max(top - 0.5f, 0.0f)), y1 = int(std::min(bottom, float(height - 1)));
    // The weight of each corner is the edge function of the opposite edge.
    const Edge ea(b.column, b.row, c.column, c.row), eb(c.column, c.row, a.column, a.row),
        ec(a.column, a.row, b.column, b.row);
    const float wa = a.w / area, wb = b.w / area, wc = c.w / area;
    for (int y = y0; y <= y1; y++) {
        float py = float(y) + 0.5f, px = float(x0) + 0.5f;
        float fa = ea.a * px + ea.b * py + ea.c, fb = eb.a * px + eb.b * py + eb.c, fc = ec.a * px + ec.b * py + ec.c;
        size_t i = size_t(y) * size_t(width) + size_t(x0);
        for (int x = x0; x <= x1; x++, i++, fa += ea.a, fb += eb.a, fc += ec.a) {
            if (!ea.Inside(fa) || !eb.Inside(fb) || !ec.Inside(fc))
                continue;
            const float pa = fa * wa, pb = fb * wb, pc = fc * wc;
            if (flip)
                paint(i, x, y, pa + pb + pc, pa, pc, pb);
            else
                paint(i, x, y, pa + pb + pc, pa, pb, pc);
        }
    }
}

void Rasterizer::Raster(const ViewPoint& a, const ViewPoint& b, const ViewPoint& c, Rgb color, float alpha, Mode mode)
{
    if (mode == Mode::Opaque)
        Scan(a, b, c, [&](size_t i, int x, int y, float w, float, float, float) {
            if (w > depth[i]) {
                depth[i] = w;
                image.Set(x, y, color);
            }
        });
    else
        Scan(a, b, c, [&](size_t i, int x, int y, float w, float, float, float) {
            if (w >= depth[i])
                image.Set(x, y, Mix(image.At(x, y), color, alpha));
        });
}

void Rasterizer::Textured(const ViewPoint& a, const ViewPoint& b, const ViewPoint& c, const Texture& texture,
                          float light)
{
    // Light in 256ths, so that each channel is scaled without a rounding call.
    const int k = std::clamp(int(light * 256.0f), 0, 256);
    const auto scale = [k](uint8_t channel) { return uint8_t((channel * k) >> 8); };
    Scan(a, b, c, [&](size_t i, int x, int y, float w, float pa, float pb, float pc) {
        if (!(w > depth[i]))
            return;
        depth[i] = w;
        const Texel t = texture.At((pa * a.u + pb * b.u + pc * c.u) / w, (pa * a.v + pb * b.v + pc * c.v) / w);
        image.Set(x, y, {scale(t.r), scale(t.g), scale(t.b)});
    });
}

void Rasterizer::Line(const ViewPoint& a0, const ViewPoint& b0, Rgb color)
{
    const float n = camera.nearDistance;
    if (a0.z < n && b0.z < n)
        return;
    ViewPoint p = a0.z < n ? Project(Between(a0, b0, (n - a0.z) / (b0.z - a0.z))) : a0;
    ViewPoint q = b0.z < n ? Project(Between(b0, a0, (n - b0.z) / (a0.z - b0.z))) : b0;
    // Only the part inside the picture is walked (Liang-Barsky).
    if (!std::isfinite(p.column + p.row + p.w + q.column + q.row + q.w))
        return;
    float dx = q.column - p.column, dy = q.row - p.row, t0 = 0, t1 = 1;
    auto clip = [&t0, &t1](float den, float num) {
        if (den == 0)
            return num >= 0;
        float t = num / den;
        if (den < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        return t0 <= t1;
    };
    const float width = float(image.Width()), height = float(image.Height());
    if (!clip(-dx, p.column) || !clip(dx, width - p.column) || !clip(-dy, p.row) || !clip(dy, height - p.row))
        return;
    int steps = int(std::ceil(std::max(std::fabs(dx), std::fabs(dy)) * (t1 - t0))) + 1;
    for (int k = 0; k <= steps; k++) {
        float t = t0 + (t1 - t0) * float(k) / float(steps);
        int x = int(p.column + dx * t), y = int(p.row + dy * t);
        if (x < 0 || y < 0 || x >= image.Width() || y >= image.Height())
            continue;
        float w = p.w + (q.w - p.w) * t;
        if (w >= depth[size_t(y) * size_t(image.Width()) + size_t(x)] * (1.0f - LineDepthTolerance))
            image.Set(x, y, color);
    }
}

} // namespace vek::render
