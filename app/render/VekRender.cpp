#include "render/VekRender.h"

#include "check/VekCheck.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace vek::render {

namespace {

constexpr float Pi = 3.14159265f;
// The engine's angle unit: a half turn is 32767.
constexpr float RadiansPerUnit = Pi / 32767.0f;

// The light falls from above, in front and to the right; faces turned away from it
// keep this share of their colour.
const Point3 Light = Normalize(Point3(0.5f, -0.8f, 1.2f));
constexpr float Ambient = 0.35f;
constexpr float BoxAlpha = 0.3f;

// The default view looks at the middle of the scene from in front (the -y side),
// turned to the right and raised above it, with this field of view across the
// picture's smaller side, from where the scene's bounding box fills this share of
// the picture.
constexpr float ViewTurn = 35.0f * Pi / 180.0f, ViewRise = 25.0f * Pi / 180.0f;
constexpr float ViewHalfAngle = 20.0f * Pi / 180.0f;
constexpr float ViewFill = 0.9f;
constexpr float CameraFallbackFov = 45.0f * Pi / 180.0f;

// Files write coordinates as x, then the scene's z, then its y.
Point3 SceneAxes(const VekVector& v) { return Point3(v[0], v[2], v[1]); }

} // namespace

// Where the engine places each node block. The file gives a block's rotation relative
// to its parent's, as the Euler angles of the parent's world rotation undone and then
// the block's applied (world = parent, then relative), and its position as its offset
// from the parent's position in the scene's axes, not turned by the parent. The scale
// is not carried: vertices are already in the node's own frame.
std::vector<Matrix3> PlaceNodes(const VekDocument& doc)
{
    std::vector<Matrix3> world(doc.nodes.size());
    for (size_t i = 0; i < doc.nodes.size(); i++) {
        const VekNode& node = doc.nodes[i];
        const auto& t = node.transform;
        Matrix3 relative = RotateXMatrix(t[4] * RadiansPerUnit) * RotateYMatrix((65535.0f - t[5]) * RadiansPerUnit) *
                           RotateZMatrix(t[3] * RadiansPerUnit);
        Matrix3 parent = node.parent >= 0 && size_t(node.parent) < i ? world[size_t(node.parent)] : Matrix3();
        Matrix3 w = parent * relative;
        w.SetTrans(parent.GetTrans() + Point3(t[0], t[2], t[1]));
        world[i] = w;
    }
    return world;
}

namespace {

// What is drawn: the node blocks in place and the corners of the collision boxes.
struct Scene {
    const VekDocument& doc;
    std::vector<Matrix3> world;
    std::vector<std::array<Point3, 8>> boxes;
};

// The corners of a box from its six planes: the three pairs of opposite planes,
// paired by their normals, meet in eight points. Corner k lies on side (k >> p) & 1
// of pair p. Nothing for planes that do not close a box.
std::optional<std::array<Point3, 8>> BoxCorners(const VekBox& box)
{
    std::array<Point3, 6> normal;
    std::array<float, 6> d;
    for (size_t i = 0; i < 6; i++) {
        const auto& p = box.planes[i];
        normal[i] = Point3(p[0], p[2], p[1]);
        d[i] = p[3];
    }
    std::array<std::array<size_t, 2>, 3> pairs;
    std::array<bool, 6> used{};
    for (size_t p = 0, i = 0; p < 3; p++) {
        while (used[i])
            i++;
        size_t best = 6;
        for (size_t j = i + 1; j < 6; j++)
            if (!used[j] && (best == 6 || normal[i] % normal[j] < normal[i] % normal[best]))
                best = j;
        used[i] = used[best] = true;
        pairs[p] = {i, best};
    }
    std::array<Point3, 8> corners;
    for (size_t k = 0; k < 8; k++) {
        size_t a = pairs[0][k & 1], b = pairs[1][(k >> 1) & 1], c = pairs[2][(k >> 2) & 1];
        Point3 bc = normal[b] ^ normal[c], ca = normal[c] ^ normal[a], ab = normal[a] ^ normal[b];
        float det = normal[a] % bc;
        if (!(std::fabs(det) > 1e-6f))
            return std::nullopt;
        corners[k] = (bc * -d[a] + ca * -d[b] + ab * -d[c]) / det;
    }
    return corners;
}

Scene Gather(const VekDocument& doc)
{
    Scene s{doc, PlaceNodes(doc), {}};
    for (const VekBox& box : doc.boxes)
        if (auto corners = BoxCorners(box))
            s.boxes.push_back(*corners);
    return s;
}

// The bounding box of everything drawn: the box of each mesh's own vertices, placed
// with each node that uses it.
void Bounds(const Scene& s, Point3& low, Point3& high)
{
    auto take = [&low, &high](const Point3& p) {
        for (int k = 0; k < 3; k++)
            if (std::isfinite(p[k])) {
                low[k] = std::min(low[k], p[k]);
                high[k] = std::max(high[k], p[k]);
            }
    };
    std::vector<std::array<Point3, 2>> meshBoxes(s.doc.meshes.size());
    for (size_t m = 0; m < s.doc.meshes.size(); m++) {
        Point3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
        std::swap(lo, low);
        std::swap(hi, high);
        for (const VekVector& v : s.doc.meshes[m].vertices)
            take(SceneAxes(v));
        std::swap(lo, low);
        std::swap(hi, high);
        meshBoxes[m] = {lo, hi};
    }
    for (size_t i = 0; i < s.doc.nodes.size(); i++) {
        int mesh = s.doc.nodes[i].mesh;
        if (mesh < 0 || s.doc.meshes[size_t(mesh)].vertices.empty())
            continue;
        const auto& [lo, hi] = meshBoxes[size_t(mesh)];
        for (int k = 0; k < 8; k++)
            take(Point3(k & 1 ? hi.x : lo.x, k & 2 ? hi.y : lo.y, k & 4 ? hi.z : lo.z) * s.world[i]);
    }
    for (const auto& box : s.boxes)
        std::for_each(box.begin(), box.end(), take);
}

Camera LookAlong(const Point3& eye, const Point3& forward, const Point3& upHint)
{
    Camera c;
    c.eye = eye;
    c.forward = Normalize(forward);
    Point3 right = c.forward ^ upHint;
    if (!(right.Length() > 1e-6f))
        right = c.forward ^ Point3(0.0f, 1.0f, 0.0f);
    c.right = Normalize(right);
    c.up = c.right ^ c.forward;
    return c;
}

// The three-quarter view that holds the bounding box of everything drawn.
Camera ThreeQuarterView(const Scene& s, int width, int height)
{
    Point3 low(1e30f, 1e30f, 1e30f), high(-1e30f, -1e30f, -1e30f);
    Bounds(s, low, high);
    if (low.x > high.x)
        low = high = Point3();
    Point3 centre = (low + high) * 0.5f;
    float radius = std::max((high - low).Length() * 0.5f, 1e-3f);
    Point3 toEye(std::sin(ViewTurn) * std::cos(ViewRise), -std::cos(ViewTurn) * std::cos(ViewRise), std::sin(ViewRise));
    Camera c = LookAlong(centre, -toEye, Point3(0.0f, 0.0f, 1.0f));
    c.focal = float(std::min(width, height)) * 0.5f / std::tan(ViewHalfAngle);
    c.nearDistance = radius * 1e-4f;
    // Back from the centre until every corner of the box is inside the picture.
    const float spanX = float(width) * 0.5f * ViewFill / c.focal, spanY = float(height) * 0.5f * ViewFill / c.focal;
    float distance = radius * 0.01f;
    for (int k = 0; k < 8; k++) {
        Point3 r = Point3(k & 1 ? high.x : low.x, k & 2 ? high.y : low.y, k & 4 ? high.z : low.z) - centre;
        float toward = r % toEye + radius * 0.01f;
        distance = std::max({distance, toward + std::fabs(r % c.right) / spanX, toward + std::fabs(r % c.up) / spanY});
    }
    c.eye = centre + toEye * distance;
    return c;
}

// The view of a camera block. The camera looks along its -z axis with its y axis up.
// Its projection line holds the half width over tan(fov × π / 180), the field of view
// (in radians) taken as if in degrees; the field of view across the picture's width
// comes back from it.
Camera BlockView(const Scene& s, size_t i, int width)
{
    const VekNode& node = s.doc.nodes[i];
    const Matrix3& w = s.world[i];
    Camera c = LookAlong(w.GetTrans(), -w.GetRow(2), w.GetRow(1));
    float fov = std::atan(node.halfWidth / node.focal) * 180.0f / Pi;
    if (!(fov > 1e-3f && fov < 3.0f))
        fov = CameraFallbackFov;
    c.focal = float(width) * 0.5f / std::tan(fov * 0.5f);
    c.nearDistance = 1e-3f;
    return c;
}

Camera ChooseView(const Scene& s, const RenderSettings& settings)
{
    if (settings.camera.empty())
        return ThreeQuarterView(s, settings.width, settings.height);
    // Names are written with their blanks turned into underscores.
    std::string written = settings.camera;
    std::replace(written.begin(), written.end(), ' ', '_');
    for (size_t i = 0; i < s.doc.nodes.size(); i++)
        if (s.doc.nodes[i].kind == VekNode::Kind::Camera && s.doc.nodes[i].name == written)
            return BlockView(s, i, settings.width);
    throw RenderError("no camera block named \"" + settings.camera + "\"");
}

// The share of its colour a face shows in the light; normal by the right-hand cross
// product of camera coordinates, which, the camera's frame being left-handed, points
// inwards.
float Lightness(const Point3& normal, const Point3& light)
{
    float length = normal.Length();
    float lit = length > 0 ? std::max(0.0f, -(normal % light) / length) : 0.0f;
    return Ambient + (1.0f - Ambient) * lit;
}

Rgb Shade(uint32_t color, float k)
{
    auto channel = [k](uint32_t c) { return uint8_t(std::lround(float(c & 0xff) * k)); };
    return {channel(color >> 16), channel(color >> 8), channel(color)};
}

// The texture a face shows, with its corners' texture coordinates put into v; null
// when it shows its material's colour.
const Texture* FaceTexture(const VekMesh& mesh, const VekFace& face, int n, const MaterialTextures& textures,
                           ViewPoint* v)
{
    if (face.uv < 0 || face.material < 0 || size_t(face.material) >= textures.size() ||
        !textures[size_t(face.material)])
        return nullptr;
    const int32_t* uv = &mesh.uvs[size_t(face.uv)];
    for (int k = 0; k < n; k++) {
        v[k].u = float(uv[size_t(k) * 2]) / 255.0f;
        v[k].v = float(uv[size_t(k) * 2 + 1]) / 255.0f;
    }
    return textures[size_t(face.material)].get();
}

// The normal of a face: for a four-vertex face, the sum of its two triangles'.
Point3 FaceNormal(const ViewPoint* v, int n)
{
    Point3 sum;
    for (int k = 1; k + 1 < n; k++) {
        Point3 a(v[k].x - v[0].x, v[k].y - v[0].y, v[k].z - v[0].z);
        Point3 b(v[k + 1].x - v[0].x, v[k + 1].y - v[0].y, v[k + 1].z - v[0].z);
        sum += a ^ b;
    }
    return sum;
}

// Calls draw(mesh, face, corners, count) with the corners in the camera's frame, for
// every face whose corners all name vertices: its mesh's own, or, beyond them, those
// of the enclosing mesh block (merged vertices).
template <typename F> void ForEachFace(const Scene& s, const Rasterizer& raster, F draw)
{
    const Matrix3 toView = raster.ViewMatrix();
    std::vector<ViewPoint> view;
    for (size_t i = 0; i < s.doc.nodes.size(); i++) {
        int mesh = s.doc.nodes[i].mesh;
        if (mesh < 0)
            continue;
        const Matrix3 place = s.world[i] * toView;
        view.clear();
        view.reserve(s.doc.meshes[size_t(mesh)].vertices.size());
        for (const VekVector& v : s.doc.meshes[size_t(mesh)].vertices)
            view.push_back(raster.Place(SceneAxes(v) * place));
        int parent = s.doc.nodes[i].parent;
        const VekMesh* up = parent >= 0 && s.doc.nodes[size_t(parent)].mesh >= 0
                                ? &s.doc.meshes[size_t(s.doc.nodes[size_t(parent)].mesh)]
                                : nullptr;
        const Matrix3 placeUp = up ? s.world[size_t(parent)] * toView : Matrix3();
        for (const VekFace& face : s.doc.meshes[size_t(mesh)].faces) {
            int n = face.corners[3] < 0 ? 3 : 4;
            ViewPoint v[4];
            bool whole = true;
            for (int k = 0; k < n && whole; k++) {
                size_t index = size_t(face.corners[size_t(k)]);
                if (index < view.size())
                    v[k] = view[index];
                else if (whole = up && index - view.size() < up->vertices.size(); whole)
                    v[k] = raster.Place(SceneAxes(up->vertices[index - view.size()]) * placeUp);
            }
            if (whole)
                draw(s.doc.meshes[size_t(mesh)], face, v, n);
        }
    }
}

void DrawBoxes(const Scene& s, Rasterizer& raster)
{
    const Rgb edge{uint8_t(BoxColor.r * 0.6f), uint8_t(BoxColor.g * 0.6f), uint8_t(BoxColor.b * 0.6f)};
    // The corners of side `side` of pair p, in turn around the face.
    auto faceCorner = [](int p, int side, int k) {
        static constexpr int Turn[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        int q = (p + 1) % 3, r = (p + 2) % 3;
        return size_t(side << p | Turn[k][0] << q | Turn[k][1] << r);
    };
    for (const auto& box : s.boxes) {
        ViewPoint v[8];
        for (size_t k = 0; k < 8; k++)
            v[k] = raster.ToView(box[k]);
        for (int p = 0; p < 3; p++)
            for (int side = 0; side < 2; side++) {
                const ViewPoint &a = v[faceCorner(p, side, 0)], &b = v[faceCorner(p, side, 1)],
                                &c = v[faceCorner(p, side, 2)], &d = v[faceCorner(p, side, 3)];
                raster.Blend(a, b, c, BoxColor, BoxAlpha);
                raster.Blend(a, c, d, BoxColor, BoxAlpha);
            }
        for (size_t k = 0; k < 8; k++)
            for (size_t bit = 1; bit < 8; bit <<= 1)
                if (!(k & bit))
                    raster.Line(v[k], v[k | bit], edge);
    }
}

} // namespace

Image Draw(const VekDocument& doc, const RenderSettings& settings, const MaterialTextures& textures)
{
    Scene s = Gather(doc);
    Camera camera = ChooseView(s, settings);
    Image image(settings.width, settings.height, Background);
    Rasterizer raster(image, camera);
    const Point3 light(Light % camera.right, Light % camera.up, Light % camera.forward);
    ForEachFace(s, raster, [&](const VekMesh& mesh, const VekFace& face, ViewPoint* v, int n) {
        if (!raster.MayCover(v, n))
            return;
        bool first = Rasterizer::FacesCamera(v[0], v[1], v[2]),
             second = n == 4 && Rasterizer::FacesCamera(v[0], v[2], v[3]);
        if (!first && !second)
            return;
        const float lightness = Lightness(FaceNormal(v, n), light);
        if (const Texture* texture = FaceTexture(mesh, face, n, textures, v)) {
            if (first)
                raster.FillTextured(v[0], v[1], v[2], *texture, lightness);
            if (second)
                raster.FillTextured(v[0], v[2], v[3], *texture, lightness);
            return;
        }
        uint32_t color = face.material >= 0 ? doc.materials[size_t(face.material)].color
                                            : uint32_t(Unknown.r) << 16 | Unknown.g << 8 | Unknown.b;
        Rgb shaded = Shade(color, lightness);
        if (first)
            raster.Fill(v[0], v[1], v[2], shaded);
        if (second)
            raster.Fill(v[0], v[2], v[3], shaded);
    });
    // Outlines go over every face, and only round faces turned to the camera.
    if (settings.outlines)
        ForEachFace(s, raster, [&](const VekMesh&, const VekFace&, const ViewPoint* v, int n) {
            if (!Rasterizer::FacesCamera(v[0], v[1], v[2]) && !(n == 4 && Rasterizer::FacesCamera(v[0], v[2], v[3])))
                return;
            for (int k = 0; k < n; k++)
                raster.Line(v[k], v[(k + 1) % n], Outline);
        });
    DrawBoxes(s, raster);
    return image;
}

Image DrawVekFile(const std::string& path, const RenderSettings& settings, std::vector<std::string>* warnings)
{
    VekDocument doc;
    CheckReport report = CheckVekFile(path, &doc);
    if (report.unreadable) // nothing to draw, rather than a damaged file
        throw RenderError(FormatFinding(report.findings.front()));
    if (!report.Clean()) {
        std::string more =
            report.total > 1 ? " (and " + std::to_string(report.total - 1) + " more: --check lists them)" : "";
        throw DamagedFile(FormatFinding(report.findings.front()) + more);
    }
    std::vector<std::string> unread;
    MaterialTextures textures = LoadTextures(doc, path, settings.textureRoot, unread);
    if (warnings)
        warnings->insert(warnings->end(), unread.begin(), unread.end());
    return Draw(doc, settings, textures);
}

} // namespace vek::render
