// A plain transcription of the simple algorithms of the mesh body, kept as the
// reference the fast writer is compared with (tests) and measured against (bench):
// every face searches its partner from face 0, every child vertex is compared with
// every parent vertex, and the merged index is a linear search of the merge tables.
#pragma once

#include "writers/MeshWriter.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace vek::test {

class LiteralMeshWriter : public MeshWriter {
public:
    using MeshWriter::MeshWriter;

    ErrorFlags Export(INode* node) override { return WriteMeshBody(node); }

    ErrorFlags WriteMeshBody(INode* node) override
    {
        mergeSources.ZeroCount();
        mergeTargets.ZeroCount();
        TimeValue t = GetTime();
        int ownDelete = 0, parentDelete = 0;
        TriObject* tri = AcquireTriObject(node, t, ownDelete);
        if (!tri)
            return ERROR_GEOMETRY;
        TriObject* parentTri = nullptr;
        Matrix3 parentTM;
        if (mergeVertices) {
            INode* parent = node->GetParentNode();
            if (GeometryRoleOf(parent, t) == GeometryRole::Mesh) {
                parentTri = AcquireTriObject(parent, t, parentDelete);
                if (!parentTri) {
                    if (ownDelete)
                        delete tri;
                    return ERROR_GEOMETRY;
                }
                parentTM = parent->GetObjTMAfterWSM(t);
            }
        }
        Mesh& mesh = tri->GetMesh();
        Matrix3 objTM = node->GetObjTMAfterWSM(t);
        Matrix3 inverse = Inverse(node->GetNodeTM(t));
        for (int i = 0; i < mesh.getNumVerts(); i++) {
            Point3 w = objTM * mesh.getVert(i);
            if (parentTri) {
                Mesh& pm = parentTri->GetMesh();
                double h = mergePrecision * 0.1;
                for (int j = 0; j < pm.getNumVerts(); j++) {
                    Point3 p = parentTM * pm.getVert(j);
                    float x0 = float(p.x - h), x1 = float(p.x + h);
                    float y0 = float(p.y - h), y1 = float(p.y + h);
                    float z0 = float(p.z - h), z1 = float(p.z + h);
                    if (w.x >= x0 && w.x <= x1 && w.y >= y0 && w.y <= y1 && w.z >= z0 && w.z <= z1) {
                        int target = mesh.getNumVerts() + j;
                        mergeSources.Append(1, &i, 25);
                        mergeTargets.Append(1, &target, 25);
                    }
                }
            }
            Point3 l = inverse * w;
            WriteIndent(outFile, depth + 1);
            std::fprintf(outFile, "%s %s %s\n", FormatFloat(l.x).data(), FormatFloat(l.z).data(),
                         FormatFloat(l.y).data());
        }
        std::fprintf(outFile, "\n");
        Mtl* m = node->GetMtl();
        if (exportMaterials && m) {
            int n = m->NumSubMtls();
            if (n > 0 && m->ClassID() != Class_ID(0x250, 0)) {
                for (int k = 0; k < n; k++) {
                    if (LiteralHasFaces(mesh, k) && m->GetSubMtl(k)) {
                        WriteIndent(outFile, depth + 1);
                        std::fprintf(outFile, "%s\n", FormatName(m->GetSubMtl(k)->GetName()).data());
                        WriteFaces(mesh, TwoSided(m->GetSubMtl(k)), k);
                    }
                }
            } else {
                WriteIndent(outFile, depth + 1);
                std::fprintf(outFile, "%s\n", FormatName(m->GetName()).data());
                WriteFaces(mesh, TwoSided(m), -1);
            }
        } else {
            WriteIndent(outFile, depth + 1);
            std::fprintf(outFile, "%s_COL\n", FormatName(node->GetName()).data());
            WriteFaces(mesh, FALSE, -1);
        }
        if (ownDelete)
            delete tri;
        if (parentTri && parentDelete)
            delete parentTri;
        return 0;
    }

    int WriteFaces(Mesh& mesh, BOOL twoSided, int id) override
    {
        BOOL textured = exportMaterials && mesh.getNumTVerts() > 0;
        int n = mesh.getNumFaces();
        std::vector<int> consumed(size_t(n), 0);
        if (id != -1)
            for (int f = 0; f < n; f++)
                if (mesh.faces[size_t(f)].getMatID() != id)
                    consumed[size_t(f)] = 1;
        for (int i = 0; i < n; i++) {
            if (consumed[size_t(i)])
                continue;
            consumed[size_t(i)] = 1;
            DWORD flags = mesh.faces[size_t(i)].flags;
            int visible = (flags & 1 ? 1 : 0) + (flags & 2 ? 1 : 0) + (flags & 4 ? 1 : 0);
            int partner = -1;
            if (quadFaces && visible == 2) {
                for (int k = 0; k < n; k++) {
                    if (!consumed[size_t(k)] && LiteralShares(mesh.faces[size_t(i)], mesh.faces[size_t(k)])) {
                        partner = k;
                        break;
                    }
                }
                if (partner >= 0)
                    consumed[size_t(partner)] = 1;
            }
            if (partner >= 0)
                joins++;
            LiteralWriteFace(mesh, textured, twoSided, i, partner);
        }
        return 0;
    }

    int MergeCount() const { return mergeSources.Count(); }

    int MergedVertexIndex(int index) override
    {
        for (int p = 0; p < mergeSources.Count(); p++)
            if (mergeSources[p] == index)
                return mergeTargets[p];
        return index;
    }

    int joins = 0;

private:
    static BOOL TwoSided(Mtl* m)
    {
        return m->ClassID() == Class_ID(2, 0) ? static_cast<StdMat*>(m)->GetTwoSided() : FALSE;
    }

    static bool LiteralHasFaces(Mesh& mesh, int id)
    {
        for (int f = 0; f < mesh.getNumFaces(); f++)
            if (mesh.faces[size_t(f)].getMatID() == id)
                return true;
        return false;
    }

    static int Hidden(const Face& f)
    {
        if (!(f.flags & 1))
            return 0;
        if (!(f.flags & 2))
            return 1;
        if (!(f.flags & 4))
            return 2;
        return -1;
    }

    static bool LiteralShares(const Face& a, const Face& b)
    {
        int ea = Hidden(a), eb = Hidden(b);
        if (ea < 0 || eb < 0)
            return false;
        DWORD p = a.v[ea], q = a.v[(ea + 1) % 3], r = b.v[eb], s = b.v[(eb + 1) % 3];
        return (p == r && q == s) || (p == s && q == r);
    }

    void LiteralWriteFace(Mesh& mesh, BOOL textured, BOOL twoSided, int i, int k)
    {
        struct C {
            int face, corner;
        };
        std::vector<C> seq = {{i, 0}, {i, 1}, {i, 2}};
        if (k != -1) {
            int ei = Hidden(mesh.faces[size_t(i)]), ek = Hidden(mesh.faces[size_t(k)]);
            int opposite = ek == 0 ? 2 : ek == 1 ? 0 : 1;
            C x{k, opposite};
            if (ei == 0)
                seq = {{i, 0}, x, {i, 1}, {i, 2}};
            else if (ei == 1)
                seq = {{i, 0}, {i, 1}, x, {i, 2}};
            else
                seq = {{i, 0}, {i, 1}, {i, 2}, x};
        }
        bool second = textured && mesh.mapSupport(2) && (k == -1 || !legacyFormat);
        for (int copy = 0; copy < (twoSided ? 2 : 1); copy++) {
            if (copy)
                std::reverse(seq.begin(), seq.end());
            WriteIndent(outFile, depth + 1);
            if (!textured) {
                for (size_t c = 0; c < seq.size(); c++)
                    std::fprintf(outFile, c + 1 < seq.size() ? "%d " : "%d\n",
                                 MergedVertexIndex(int(mesh.faces[size_t(seq[c].face)].v[seq[c].corner])));
                continue;
            }
            for (const C& c : seq) {
                std::fprintf(outFile, "%d ", MergedVertexIndex(int(mesh.faces[size_t(c.face)].v[c.corner])));
                const UVVert& uv = mesh.tVerts[mesh.tvFace[size_t(c.face)].t[c.corner]];
                std::fprintf(outFile, "%d %d ", int(uv.x * 255.0), int(uv.y * 255.0));
                if (second) {
                    const UVVert& uv2 = mesh.mapVerts(2)[mesh.mapFaces(2)[c.face].t[c.corner]];
                    std::fprintf(outFile, "%d %d ", int(uv2.x * 255.0), int(uv2.y * 255.0));
                }
            }
            std::fprintf(outFile, "\n");
        }
    }
};

} // namespace vek::test
