// A small z-buffered rasterizer: flat-coloured triangles, translucent triangles and
// one-pixel lines seen through a perspective camera, into an RGB picture.
#pragma once

#include "geom.h"
#include "render/Texture.h"

#include <cstdint>
#include <vector>

namespace vek::render {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// Rows from top to bottom, three bytes a pixel.
class Image {
public:
    Image(int width, int height, Rgb background);
    int Width() const { return width; }
    int Height() const { return height; }
    Rgb At(int x, int y) const;
    void Set(int x, int y, Rgb c);
    const uint8_t* Bytes() const { return pixels.data(); }

private:
    int width, height;
    std::vector<uint8_t> pixels;
};

// A pinhole camera: the eye, the right-handed axes it looks along (right x up =
// -forward) and the focal length in pixels.
struct Camera {
    Point3 eye, right, up, forward;
    float focal = 1;
    float nearDistance = 1e-3f; // nothing closer than this is drawn
};

// A point in the camera's frame: x to the right, y up, z the distance ahead; and,
// when it is no nearer than the near distance, its place in the picture: pixel
// column and row and 1 / z. A corner of a textured face also carries its texture
// coordinates.
struct ViewPoint {
    float x, y, z;
    float column = 0, row = 0, w = 0;
    float u = 0, v = 0;
};

class Rasterizer {
public:
    // Draws into image, whose depth buffer starts empty.
    Rasterizer(Image& image, const Camera& camera);

    ViewPoint ToView(const Point3& world) const { return Place(world * ViewMatrix()); }
    // The transform from the scene to the camera's frame (x, y, z as in ViewPoint).
    Matrix3 ViewMatrix() const;
    // The view point of a point given in the camera's frame.
    ViewPoint Place(const Point3& p) const;
    // Whether the corners turn counter-clockwise as seen from the camera.
    static bool FacesCamera(const ViewPoint& a, const ViewPoint& b, const ViewPoint& c)
    {
        // The camera's frame is left-handed (x right, y up, z ahead), so a triangle that
        // turns counter-clockwise towards the eye has a normal, by the right-hand cross
        // product of these coordinates, pointing away from it.
        float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
        float vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
        return a.x * (uy * vz - uz * vy) + a.y * (uz * vx - ux * vz) + a.z * (ux * vy - uy * vx) > 0;
    }
    // Whether filling triangles of these corners may change a pixel: false when they
    // are all ahead of the near distance and no pixel centre lies in their bounding
    // box, as for most faces of a large mesh seen whole. It costs far less than
    // drawing them.
    bool MayCover(const ViewPoint* corners, int count) const;

    // An opaque triangle, drawn when it faces the camera; returns whether it did.
    bool Fill(const ViewPoint& a, const ViewPoint& b, const ViewPoint& c, Rgb color);
    // The same with the texture mapped by the corners' texture coordinates (in
    // perspective), its texels taken at `light` of their brightness (0 to 1).
    bool FillTextured(const ViewPoint& a, const ViewPoint& b, const ViewPoint& c, const Texture& texture, float light);
    // A translucent triangle, both sides, behind nothing opaque; it hides nothing.
    void Blend(const ViewPoint& a, const ViewPoint& b, const ViewPoint& c, Rgb color, float alpha);
    // A line, visible where it lies on or in front of the opaque surfaces.
    void Line(const ViewPoint& a, const ViewPoint& b, Rgb color);

private:
    enum class Mode { Opaque, Translucent };
    template <typename Draw> void Cut(const ViewPoint (&v)[3], Draw draw) const;
    template <typename Paint> void Scan(const ViewPoint& a, const ViewPoint& b, const ViewPoint& c, Paint paint);
    void Raster(const ViewPoint& a, const ViewPoint& b, const ViewPoint& c, Rgb color, float alpha, Mode mode);
    void Textured(const ViewPoint& a, const ViewPoint& b, const ViewPoint& c, const Texture& texture, float light);
    ViewPoint Project(ViewPoint p) const;

    Image& image;
    Camera camera;
    float cx, cy;
    std::vector<float> depth; // 1 / distance of the nearest opaque surface, 0 for none
};

} // namespace vek::render
