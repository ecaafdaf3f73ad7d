#include "mesh.h"

MeshMap* Mesh::Channel(int mp)
{
    if (mp < 2 || mp >= MAX_MESHMAPS || size_t(mp - 2) >= maps.size())
        return nullptr;
    return &maps[size_t(mp - 2)];
}

const MeshMap* Mesh::Channel(int mp) const { return const_cast<Mesh*>(this)->Channel(mp); }

BOOL Mesh::mapSupport(int mp) const
{
    if (mp == 1)
        return !tvFace.empty();
    const MeshMap* m = Channel(mp);
    return m && m->used;
}

void Mesh::setMapSupport(int mp, BOOL support)
{
    if (mp < 2 || mp >= MAX_MESHMAPS)
        return;
    if (size_t(mp - 2) >= maps.size())
        maps.resize(size_t(mp - 1));
    MeshMap& m = maps[size_t(mp - 2)];
    m.used = support != 0;
    if (m.used)
        m.tf.resize(faces.size());
    else
        m = MeshMap();
}

int Mesh::getNumMapVerts(int mp) const
{
    if (mp == 1)
        return getNumTVerts();
    const MeshMap* m = Channel(mp);
    return m ? int(m->tv.size()) : 0;
}

int Mesh::getNumMapFaces(int mp) const
{
    if (mp == 1)
        return int(tvFace.size());
    const MeshMap* m = Channel(mp);
    return m && m->used ? int(m->tf.size()) : 0;
}

void Mesh::setNumMapVerts(int mp, int n)
{
    if (MeshMap* m = Channel(mp))
        m->tv.resize(size_t(n));
}

UVVert* Mesh::mapVerts(int mp)
{
    if (mp == 1)
        return tVerts.data();
    MeshMap* m = Channel(mp);
    return m && m->used ? m->tv.data() : nullptr;
}

TVFace* Mesh::mapFaces(int mp)
{
    if (mp == 1)
        return tvFace.data();
    MeshMap* m = Channel(mp);
    return m && m->used ? m->tf.data() : nullptr;
}

const UVVert* Mesh::mapVerts(int mp) const { return const_cast<Mesh*>(this)->mapVerts(mp); }
const TVFace* Mesh::mapFaces(int mp) const { return const_cast<Mesh*>(this)->mapFaces(mp); }
