// The mesh body written by MeshWriter against the plain transcription of the simple
// algorithms (literal_mesh_writer.h): both must give the same text on many random meshes.
#include "literal_mesh_writer.h"
#include "mesh_test_util.h"

#include "scene/SceneBuilder.h"

#include <cmath>
#include <random>

namespace vek::test {
namespace {

// ---- random scenes ----

class RandomScene {
public:
    explicit RandomScene(unsigned seed) : rng(seed) {}

    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; }
    float Coord() { return float(Int(-40, 40)) * 0.05f; }

    // A parent mesh node with a child mesh node, in a scene of their own.
    std::unique_ptr<Scene> Build(bool plainFrames, double h)
    {
        SceneBuilder b;
        SceneNode* parent = b.AddNode(nullptr, "Parent node");
        SceneNode* child = b.AddNode(parent, Chance(0.5) ? "Child" : "Child two");
        // Mostly small meshes; some large enough for a grid of many cells.
        const bool large = Chance(0.1);
        Mesh pm = RandomMesh(large ? Int(64, 400) : Int(0, 40), 0);
        Mesh cm = RandomMesh(large ? Int(64, 300) : Int(1, 40), large ? Int(100, 400) : Int(0, 60));
        if (!plainFrames) {
            b.SetObjectOffset(parent, RandomTM());
            b.SetTransform(parent, RandomTM());
            b.SetTransform(child, RandomTM());
            b.SetObjectOffset(child, RandomTM());
        } else {
            // The child's object frame is the world: place child vertices on, just
            // inside and just outside the boxes of parent vertices.
            b.SetObjectOffset(parent, TransMatrix(Point3(Coord(), Coord(), Coord())));
            Matrix3 ptm = parent->GetObjTMAfterWSM(0, nullptr);
            for (Point3& v : cm.verts) {
                if (pm.verts.empty() || !Chance(0.7))
                    continue;
                Point3 p = ptm * pm.verts[size_t(Int(0, pm.getNumVerts() - 1))];
                for (int k = 0; k < 3; k++) {
                    float lo = float(p[k] - h), hi = float(p[k] + h);
                    switch (Int(0, 5)) {
                    case 0:
                        v[k] = lo;
                        break;
                    case 1:
                        v[k] = hi;
                        break;
                    case 2:
                        v[k] = std::nextafter(lo, -1e30f);
                        break;
                    case 3:
                        v[k] = std::nextafter(hi, 1e30f);
                        break;
                    case 4:
                        v[k] = p[k];
                        break;
                    default:
                        v[k] = float(p[k] + (Chance(0.5) ? 0.5 : -0.5) * h);
                        break;
                    }
                }
            }
        }
        b.SetObject(parent, AddMesh(b, pm));
        b.SetObject(child, AddMesh(b, cm));
        b.SetMaterial(child, RandomMaterial(b));
        return b.Finish();
    }

    INode* ChildOf(Scene& s) { return s.GetRootNode()->GetChildNode(0)->GetChildNode(0); }

private:
    static SceneMeshObject* AddMesh(SceneBuilder& b, const Mesh& m)
    {
        SceneMeshObject* obj = b.AddMesh();
        b.AddVerts(obj, m.verts.data(), m.verts.size());
        b.AddFaces(obj, m.faces.data(), m.faces.size());
        b.AddMapVerts(obj, 1, m.tVerts.data(), m.tVerts.size());
        if (!m.tvFace.empty())
            b.AddMapFaces(obj, 1, m.tvFace.data(), m.tvFace.size());
        if (m.mapSupport(2)) {
            b.AddMapVerts(obj, 2, m.mapVerts(2), size_t(m.getNumMapVerts(2)));
            b.AddMapFaces(obj, 2, m.mapFaces(2), size_t(m.getNumMapFaces(2)));
        }
        b.EndMesh(obj);
        return obj;
    }

    Mesh RandomMesh(int numVerts, int numFaces)
    {
        Mesh m;
        for (int i = 0; i < numVerts; i++)
            m.verts.push_back(Point3(Coord(), Coord(), Coord()));
        // Duplicate some vertices so that several parent boxes hold one point.
        for (int i = 1; i < numVerts; i++)
            if (Chance(0.15))
                m.verts[size_t(i)] = m.verts[size_t(Int(0, i - 1))];
        // Faces over a few vertices share many edges; edge flags are random.
        int pool = std::max(1, std::min(numVerts, Int(3, 10)));
        for (int f = 0; f < numFaces; f++) {
            Face face;
            face.setVerts(Int(0, pool - 1), Int(0, pool - 1), Int(0, numVerts - 1));
            if (Chance(0.3))
                std::swap(face.v[0], face.v[2]);
            face.flags = DWORD(Int(0, 7));
            face.setMatID(WORD(Int(0, 3)));
            m.faces.push_back(face);
        }
        if (Chance(0.6)) {
            int numT = Int(1, 8);
            for (int t = 0; t < numT; t++)
                m.tVerts.push_back(UVVert(float(Int(-20, 40)) / 16.0f, float(Int(-20, 40)) / 13.0f, 0.0f));
            for (int f = 0; f < numFaces; f++)
                m.tvFace.push_back(TVFace(DWORD(Int(0, numT - 1)), DWORD(Int(0, numT - 1)), DWORD(Int(0, numT - 1))));
            if (Chance(0.5)) {
                m.setMapSupport(2, TRUE);
                int numM = Int(1, 5);
                m.setNumMapVerts(2, numM);
                for (int t = 0; t < numM; t++)
                    m.mapVerts(2)[t] = UVVert(float(Int(-10, 30)) / 9.0f, float(Int(-10, 30)) / 7.0f, 0.0f);
                for (int f = 0; f < numFaces; f++)
                    m.mapFaces(2)[f] =
                        TVFace(DWORD(Int(0, numM - 1)), DWORD(Int(0, numM - 1)), DWORD(Int(0, numM - 1)));
            }
        }
        return m;
    }

    Matrix3 RandomTM()
    {
        Matrix3 r = RotateZMatrix(float(Int(0, 7)) * 0.7f) * RotateXMatrix(float(Int(0, 3)) * 0.4f);
        return r * TransMatrix(Point3(Coord(), Coord(), Coord()));
    }

    SceneMtl* NewMtl(SceneBuilder& b, SceneMtl::Kind kind, const std::string& name)
    {
        MaterialSettings m;
        m.kind = kind;
        m.name = name;
        m.twoSided = Chance(0.4);
        return b.AddMaterial(m);
    }

    Mtl* RandomMaterial(SceneBuilder& b)
    {
        switch (Int(0, 3)) {
        case 0:
            return nullptr;
        case 1:
            return NewMtl(b, SceneMtl::Kind::Standard, "Plain one");
        default: {
            SceneMtl* m = NewMtl(b, Chance(0.7) ? SceneMtl::Kind::Multi : SceneMtl::Kind::Blend, "Multi");
            int n = Int(1, 4);
            std::vector<Mtl*> subs;
            subs.reserve(size_t(n));
            for (int k = 0; k < n; k++)
                subs.push_back(Chance(0.2) ? nullptr
                                           : NewMtl(b, Chance(0.8) ? SceneMtl::Kind::Standard : SceneMtl::Kind::Other,
                                                    "Sub " + std::to_string(k)));
            subs.resize(m->kind == SceneMtl::Kind::Blend ? std::min<size_t>(subs.size(), 2) : subs.size());
            b.SetSubMaterials(m, subs);
            return m;
        }
        }
    }

    std::mt19937 rng;
};

TEST(MeshOracle, SameTextAsTheSimpleAlgorithmsOnRandomMeshes)
{
    int merged = 0, joined = 0;
    for (unsigned seed = 1; seed <= 1500; seed++) {
        RandomScene r(seed);
        MeshOptions o;
        o.quads = r.Chance(0.8);
        o.materials = r.Chance(0.8);
        o.legacy = r.Chance(0.3);
        o.merge = r.Chance(0.7);
        o.precision = r.Chance(0.3) ? 0 : r.Chance(0.5) ? 10 : r.Int(1, 9);
        o.decimals = r.Int(0, 10);
        o.indentation = r.Int(0, 3);
        o.depth = r.Int(0, 2);
        auto scene = r.Build(r.Chance(0.6), o.precision * 0.1);
        INode* child = r.ChildOf(*scene);
        std::string fast = MeshBody(*scene, child, o);
        MemoryFile out;
        LiteralMeshWriter literal(out.Get(), scene.get(), o.depth, InstanceNodeList());
        Configure(literal, o);
        literal.Export(child);
        ASSERT_EQ(fast, out.Text()) << "seed " << seed;
        // The comparison is worth something only when merges and joins happen.
        merged += literal.MergeCount() > 0;
        joined += literal.joins > 0;
    }
    EXPECT_GT(merged, 200);
    EXPECT_GT(joined, 500);
}

} // namespace
} // namespace vek::test
