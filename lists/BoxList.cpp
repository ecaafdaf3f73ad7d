#include "lists/BoxList.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

void BoxRecord::SetId(int v) { id = v; }
int BoxRecord::GetId() { return id; }
void BoxRecord::SetInnerRadius(int r) { innerRadius = r; }
int BoxRecord::GetInnerRadius() { return innerRadius; }
void BoxRecord::SetCenter(Point3 p) { center = p; }
Point3 BoxRecord::GetCenter() { return center; }

void BoxRecord::SetCorner(int i, Point3 p)
{
    if (i >= 0 && i < 8)
        corners[i] = p;
}

Point3 BoxRecord::GetCorner(int i) { return i >= 0 && i < 8 ? corners[i] : Point3(); }

int BoxRecord::SetPlane(int i, float pa, float pb, float pc, float pd)
{
    if (i < 0 || i > 5)
        return 0;
    a[i] = pa;
    b[i] = pb;
    c[i] = pc;
    d[i] = pd;
    return 1;
}

int BoxRecord::GetPlane(int i, float* pa, float* pb, float* pc, float* pd)
{
    if (i < 0 || i > 5 || !pa || !pb || !pc || !pd)
        return 0;
    *pa = a[i];
    *pb = b[i];
    *pc = c[i];
    *pd = d[i];
    return 1;
}

float BoxRecord::GetPlaneA(int i) { return i >= 0 && i < 6 ? a[i] : 0.0f; }
float BoxRecord::GetPlaneB(int i) { return i >= 0 && i < 6 ? b[i] : 0.0f; }
float BoxRecord::GetPlaneC(int i) { return i >= 0 && i < 6 ? c[i] : 0.0f; }
float BoxRecord::GetPlaneD(int i) { return i >= 0 && i < 6 ? d[i] : 0.0f; }

BoxList::~BoxList()
{
    for (int i = 0; i < boxes.Count(); i++)
        delete boxes[i];
    boxes.Init();
}

BoxRecord* BoxList::GetBox(int i) const { return i >= 0 && i < boxes.Count() ? boxes[i] : nullptr; }

namespace {

constexpr int BOX_CORNERS = 8;
constexpr int BOX_SIDES = 6;

// Host (x, y, z) to the stored (x, z, y).
Point3 Exchange(const Point3& p) { return Point3(p.x, p.z, p.y); }

// The id in a box name: the decimal number from the fifth character on, 0 when
// there is none. False when a character there is not a digit or the number does
// not fit an int.
bool ParseBoxId(const TCHAR* name, int& id)
{
    if (!name)
        return false;
    size_t length = std::strlen(name);
    long long value = 0;
    for (size_t k = 4; k < length; k++) {
        if (name[k] < '0' || name[k] > '9')
            return false;
        value = value * 10 + (name[k] - '0');
        if (value > INT_MAX)
            return false;
    }
    id = int(value);
    return true;
}

int VisibleEdges(const Face& face) { return face.getEdgeVis(0) + face.getEdgeVis(1) + face.getEdgeVis(2); }

// The face walk: each face with exactly two visible edges starts a quad that the
// next face completes unless that one has no hidden edge; both faces are used up
// either way. quads receives the first three vertices of each completed quad.
// False unless the walk completes exactly six quads on vertices of the mesh.
bool FindQuads(const Mesh& mesh, DWORD quads[BOX_SIDES][3])
{
    const int numFaces = mesh.getNumFaces();
    const DWORD numVerts = DWORD(mesh.getNumVerts());
    int found = 0;
    int f = 0;
    while (f < numFaces) {
        const Face& face = mesh.faces[size_t(f)];
        if (VisibleEdges(face) != 2) {
            f++;
            continue;
        }
        // A quad started on the last face has nothing to complete it.
        if (f + 1 >= numFaces)
            break;
        if (VisibleEdges(mesh.faces[size_t(f) + 1]) != 3) {
            if (found == BOX_SIDES)
                return false;
            for (int k = 0; k < 3; k++) {
                if (face.v[k] >= numVerts)
                    return false;
                quads[found][k] = face.v[k];
            }
            found++;
        }
        f += 2;
    }
    return found == BOX_SIDES;
}

// s truncated toward zero; values beyond the int range give its nearest end.
int TruncateToInt(float s)
{
    if (s >= 2147483648.0f)
        return INT_MAX;
    if (s <= -2147483648.0f)
        return INT_MIN;
    return int(s);
}

} // namespace

bool BoxList::SetBoxShape(INode* node, BoxRecord* record, Mesh* mesh)
{
    if (!node || !record || !mesh || mesh->getNumVerts() < BOX_CORNERS)
        return false;
    DWORD quads[BOX_SIDES][3];
    if (!FindQuads(*mesh, quads))
        return false;

    // The box is taken where it stands at time 0, whatever frame is exported.
    Matrix3 tm = node->GetObjTMAfterWSM(0, nullptr);
    auto world = [&](DWORD v) { return mesh->getVert(int(v)) * tm; };

    // Planes first: a face with no area (or non-finite coordinates) has no normal,
    // and a record is only changed once the whole box is known to be sound.
    float planes[BOX_SIDES][4];
    for (int g = 0; g < BOX_SIDES; g++) {
        Point3 q0 = world(quads[g][0]), q1 = world(quads[g][1]), q2 = world(quads[g][2]);
        Point3 n = (q2 - q0) ^ (q1 - q0);
        float length = n.Length();
        if (!(length > 0.0f) || !std::isfinite(length))
            return false;
        n = n / length;
        float d = -(n % q0);
        if (!std::isfinite(d))
            return false;
        planes[g][0] = n.x;
        planes[g][1] = n.z;
        planes[g][2] = n.y;
        planes[g][3] = d;
    }

    Point3 sum;
    for (int k = 0; k < BOX_CORNERS; k++)
        sum += world(DWORD(k));
    record->SetCenter(Exchange(sum * 0.125f));
    for (int k = 0; k < BOX_CORNERS; k++)
        record->SetCorner(k, Exchange(world(DWORD(k))));
    for (int g = 0; g < BOX_SIDES; g++)
        record->SetPlane(g, planes[g][0], planes[g][1], planes[g][2], planes[g][3]);
    return true;
}

// Walks from the centre one unit at a time away from the nearest face and keeps the
// largest whole-unit clearance seen; stops after five steps without a gain.
ErrorFlags BoxList::FindInnerRadius(BoxRecord* record)
{
    Point3 p = record->GetCenter();
    int best = 0;
    int stepsWithoutGain = 0;
    for (;;) {
        // A clearance that truncates to 0 also marks the start of the scan, so the
        // next plane replaces it: only the last plane can leave 0 behind.
        int cur = 0;
        int k = 0;
        for (int j = 0; j < BOX_SIDES; j++) {
            float s = record->GetPlaneA(j) * p.x + record->GetPlaneB(j) * p.y + record->GetPlaneC(j) * p.z +
                      record->GetPlaneD(j);
            if (std::isnan(s))
                return ERROR_BOX;
            if (s < float(cur) || cur == 0) {
                cur = TruncateToInt(s);
                k = j;
            }
        }
        if (cur <= 0)
            return ERROR_BOX;
        p += Point3(record->GetPlaneA(k), record->GetPlaneB(k), record->GetPlaneC(k));
        stepsWithoutGain++;
        if (cur > best) {
            best = cur;
            stepsWithoutGain = 0;
        } else if (stepsWithoutGain >= 5) {
            break;
        }
    }
    record->SetInnerRadius(best);
    return 0;
}

ErrorFlags BoxList::ComputeBoxGeometry(INode* node, BoxRecord* record, Mesh* mesh)
{
    if (!SetBoxShape(node, record, mesh))
        return ERROR_BOX;
    return FindInnerRadius(record);
}

ErrorFlags BoxList::AddBox(INode* node, Mesh* mesh)
{
    if (!node || !mesh)
        return ERROR_BOX;
    int id = 0;
    if (!ParseBoxId(node->GetName(), id))
        return ERROR_BOX;
    BoxRecord* record = new BoxRecord;
    record->SetId(id);
    if (!SetBoxShape(node, record, mesh)) {
        delete record;
        return ERROR_BOX;
    }
    // A record whose walk failed is still a box: it keeps its place, with radius -1.
    ErrorFlags result = FindInnerRadius(record);
    boxes.Append(1, &record, 25);
    return result;
}

namespace {

// What a box can reach: its corners, and the space inside its six planes.
struct Bounds {
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
    double hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    bool everywhere = false; // the planes enclose no bounded space

    void Add(const double p[3])
    {
        for (int k = 0; k < 3; k++) {
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
        }
    }
    bool Meets(const Bounds& o) const
    {
        for (int k = 0; k < 3; k++)
            if (!(lo[k] <= o.hi[k] && o.lo[k] <= hi[k]))
                return false;
        return true;
    }
};

// A plane n·p + d >= 0 in double.
struct Plane {
    double n[3], d;
};

double Det3(const double a[3], const double b[3], const double c[3])
{
    return a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) + a[2] * (b[0] * c[1] - b[1] * c[0]);
}

// The point on three planes, when they meet in one.
bool Meet(const Plane& p, const Plane& q, const Plane& r, double out[3])
{
    const double det = Det3(p.n, q.n, r.n);
    if (det == 0 || !std::isfinite(det))
        return false;
    const double rhs[3] = {-p.d, -q.d, -r.d};
    for (int k = 0; k < 3; k++) {
        double cols[3][3];
        for (int row = 0; row < 3; row++) {
            const Plane& pl = row == 0 ? p : row == 1 ? q : r;
            for (int col = 0; col < 3; col++)
                cols[col][row] = col == k ? rhs[row] : pl.n[col];
        }
        // Cramer's rule, with the columns gathered as rows of the transposed matrix.
        out[k] = Det3(cols[0], cols[1], cols[2]) / det;
        if (!std::isfinite(out[k]))
            return false;
    }
    return true;
}

// Adds to b the corners of the space inside the box's planes (a few rounding errors
// wide), found among the points where three planes meet, the planes of a very large
// cube included: the space reaches that cube only when the planes do not enclose it.
void AddEnclosedSpace(BoxRecord* box, Bounds& b)
{
    constexpr double Far = 1e30;
    std::vector<Plane> planes;
    planes.reserve(12);
    for (int j = 0; j < 6; j++)
        planes.push_back({{box->GetPlaneA(j), box->GetPlaneB(j), box->GetPlaneC(j)}, box->GetPlaneD(j)});
    for (const Plane& p : planes)
        if (!std::isfinite(p.n[0] + p.n[1] + p.n[2] + p.d))
            return; // a value that is not a number holds no point inside
    for (int k = 0; k < 3; k++)
        for (double sign : {1.0, -1.0}) {
            Plane wall{{0, 0, 0}, Far};
            wall.n[k] = -sign;
            planes.push_back(wall);
        }
    const size_t n = planes.size();
    for (size_t i = 0; i < n; i++)
        for (size_t j = i + 1; j < n; j++)
            for (size_t k = j + 1; k < n; k++) {
                double p[3];
                if (!Meet(planes[i], planes[j], planes[k], p))
                    continue;
                const double scale = 1 + std::fabs(p[0]) + std::fabs(p[1]) + std::fabs(p[2]);
                bool inside = std::all_of(planes.begin(), planes.end(), [&](const Plane& q) {
                    return q.n[0] * p[0] + q.n[1] * p[1] + q.n[2] * p[2] + q.d >= -1e-9 * (scale + std::fabs(q.d));
                });
                if (!inside)
                    continue;
                if (std::fabs(p[0]) >= Far / 2 || std::fabs(p[1]) >= Far / 2 || std::fabs(p[2]) >= Far / 2)
                    b.everywhere = true;
                b.Add(p);
            }
}

// The box's bounds, widened by far more than the single-precision test can err.
Bounds BoundsOf(BoxRecord* box)
{
    Bounds b;
    for (int k = 0; k < 8; k++) {
        Point3 c = box->GetCorner(k);
        const double p[3] = {c.x, c.y, c.z};
        if (std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]))
            b.Add(p);
    }
    AddEnclosedSpace(box, b);
    for (int k = 0; k < 3; k++) {
        if (b.lo[k] > b.hi[k])
            continue; // nothing to reach
        const double margin = 1e-4 * (1 + std::fabs(b.lo[k]) + std::fabs(b.hi[k]));
        b.lo[k] -= margin;
        b.hi[k] += margin;
    }
    return b;
}

} // namespace

void BoxList::ForEachPairThatMayOverlap(const std::function<bool(int i, int j)>& visit) const
{
    const int n = BoxCount();
    std::vector<Bounds> bounds;
    bounds.reserve(size_t(n));
    std::vector<int> everywhere, byStart; // the boxes that meet every other; the others by their start
    for (int i = 0; i < n; i++) {
        bounds.push_back(BoundsOf(boxes[i]));
        (bounds.back().everywhere ? everywhere : byStart).push_back(i);
    }
    std::sort(byStart.begin(), byStart.end(), [&](int a, int b) { return bounds[a].lo[0] < bounds[b].lo[0]; });
    // The greatest end of the boxes up to each place in that order: the sweep back from
    // a box's end stops where no earlier box reaches its start.
    std::vector<double> reach(byStart.size());
    for (size_t k = 0; k < byStart.size(); k++)
        reach[k] = std::max(k ? reach[k - 1] : -HUGE_VAL, bounds[byStart[k]].hi[0]);
    std::vector<int> found;
    for (int i = 0; i < n; i++) {
        found.clear();
        const Bounds& bi = bounds[i];
        if (bi.everywhere) {
            for (int j = 0; j < i; j++)
                found.push_back(j);
        } else {
            for (int j : everywhere)
                if (j < i)
                    found.push_back(j);
            auto end = std::upper_bound(byStart.begin(), byStart.end(), bi.hi[0],
                                        [&](double x, int b) { return x < bounds[b].lo[0]; });
            for (size_t k = size_t(end - byStart.begin()); k-- > 0 && reach[k] >= bi.lo[0];) {
                int j = byStart[k];
                if (j < i && bounds[j].Meets(bi))
                    found.push_back(j);
            }
            std::sort(found.begin(), found.end());
        }
        for (int j : found)
            if (!visit(i, j))
                return;
    }
}
