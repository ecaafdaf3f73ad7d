// The host's triangle mesh.
#pragma once

#include "geom.h"

#include <vector>

// Edge visibility bits of Face::flags, and the material identifier in its upper 16 bits.
#define EDGE_A (1 << 0) // corner 0 to corner 1
#define EDGE_B (1 << 1) // corner 1 to corner 2
#define EDGE_C (1 << 2) // corner 2 to corner 0
#define EDGE_ALL (EDGE_A | EDGE_B | EDGE_C)
#define FACE_MATID_SHIFT 16

class Face {
public:
    DWORD v[3] = {0, 0, 0};
    DWORD smGroup = 0;
    DWORD flags = 0;

    void setVerts(int a, int b, int c)
    {
        v[0] = DWORD(a);
        v[1] = DWORD(b);
        v[2] = DWORD(c);
    }
    void setEdgeVisFlags(int va, int vb, int vc)
    {
        flags = (flags & ~DWORD(EDGE_ALL)) | (va ? EDGE_A : 0) | (vb ? EDGE_B : 0) | (vc ? EDGE_C : 0);
    }
    int getEdgeVis(int edge) const { return (flags >> edge) & 1; }
    WORD getMatID() const { return WORD(flags >> FACE_MATID_SHIFT); }
    void setMatID(WORD id) { flags = (flags & 0xffff) | (DWORD(id) << FACE_MATID_SHIFT); }
    DWORD getVert(int i) const { return v[i]; }
};

class TVFace {
public:
    DWORD t[3] = {0, 0, 0};
    TVFace() = default;
    TVFace(DWORD a, DWORD b, DWORD c)
    {
        t[0] = a;
        t[1] = b;
        t[2] = c;
    }
    void setTVerts(int a, int b, int c)
    {
        t[0] = DWORD(a);
        t[1] = DWORD(b);
        t[2] = DWORD(c);
    }
    DWORD getTVert(int i) const { return t[i]; }
};

// One mapping channel: its vertices and one texture face per mesh face.
struct MeshMap {
    std::vector<UVVert> tv;
    std::vector<TVFace> tf;
    bool used = false;
};

#define MAX_MESHMAPS 100

class Mesh {
public:
    std::vector<Point3> verts;
    std::vector<Face> faces;
    std::vector<UVVert> tVerts; // map channel 1
    std::vector<TVFace> tvFace; // map channel 1, one per face when present

    int getNumVerts() const { return int(verts.size()); }
    int getNumFaces() const { return int(faces.size()); }
    int getNumTVerts() const { return int(tVerts.size()); }
    Point3& getVert(int i) { return verts[size_t(i)]; }
    const Point3& getVert(int i) const { return verts[size_t(i)]; }
    void setNumVerts(int n) { verts.resize(size_t(n)); }
    void setNumFaces(int n) { faces.resize(size_t(n)); }
    void setNumTVerts(int n) { tVerts.resize(size_t(n)); }
    void setNumTVFaces(int n) { tvFace.resize(size_t(n)); }
    void setVert(int i, const Point3& p) { verts[size_t(i)] = p; }

    // Map channels 2 and up (channel 1 is tVerts/tvFace).
    BOOL mapSupport(int mp) const;
    void setMapSupport(int mp, BOOL support = TRUE);
    int getNumMapVerts(int mp) const;
    int getNumMapFaces(int mp) const;
    void setNumMapVerts(int mp, int n);
    UVVert* mapVerts(int mp);
    TVFace* mapFaces(int mp);
    const UVVert* mapVerts(int mp) const;
    const TVFace* mapFaces(int mp) const;

private:
    std::vector<MeshMap> maps; // index = channel - 2
    MeshMap* Channel(int mp);
    const MeshMap* Channel(int mp) const;
};
