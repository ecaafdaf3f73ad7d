// Collision boxes gathered from "BOX_<number>" meshes. Points and plane normals are
// stored with the host's second and third coordinates exchanged: (x, z, y).
#pragma once

#include "export/SceneExporter.h"
#include "max.h"

#include <functional>

class BoxRecord {
public:
    virtual ~BoxRecord() = default;
    virtual void SetId(int id);
    virtual int GetId();
    virtual void SetInnerRadius(int radius);
    virtual int GetInnerRadius();
    virtual void SetCenter(Point3 center);
    virtual Point3 GetCenter();
    // Corners 0 to 7; any other index, negative ones included, is ignored (set) or
    // gives (0, 0, 0) (get).
    virtual void SetCorner(int i, Point3 corner);
    virtual Point3 GetCorner(int i);
    // Plane i (0 to 5) is a*x + b*y + c*z + d, its unit normal pointing into the box.
    // 1 when set; 0 and nothing changed for any other index.
    virtual int SetPlane(int i, float a, float b, float c, float d);
    // Copies plane i to the four outputs and returns 1; 0 and nothing copied for any
    // other index or a null output.
    virtual int GetPlane(int i, float* a, float* b, float* c, float* d);
    // Coefficients of plane i; 0 for any other index.
    virtual float GetPlaneA(int i);
    virtual float GetPlaneB(int i);
    virtual float GetPlaneC(int i);
    virtual float GetPlaneD(int i);

private:
    int id = -1;
    Point3 center;
    int innerRadius = -1; // stays -1 when the clearance walk fails
    float a[6] = {}, b[6] = {}, c[6] = {}, d[6] = {};
    Point3 corners[8];
};

class BoxList {
public:
    BoxList() = default;
    ~BoxList();
    BoxList(const BoxList&) = delete;
    BoxList& operator=(const BoxList&) = delete;

    // Builds a record from a box node and its mesh and appends it. The node's name
    // holds the id after its first four characters (digits only, an empty rest is 0).
    // Returns 0, or ERROR_BOX:
    // - with no record added for a null node or mesh, a name whose rest is not a
    //   decimal number that fits an int, or a mesh that is not a usable box (fewer
    //   than eight vertices, a face walk that does not give exactly six quads, a
    //   face with no area);
    // - with the record appended, inner radius -1, when the clearance walk reaches a
    //   face (the centre lies less than one unit inside the box).
    ErrorFlags AddBox(INode* node, Mesh* mesh);
    // Fills the record's centre, corners, planes and inner radius from the node's
    // object transform at time 0. ERROR_BOX with the record untouched when the mesh
    // is not a usable box, or with the inner radius left at -1 when the walk fails.
    ErrorFlags ComputeBoxGeometry(INode* node, BoxRecord* record, Mesh* mesh);
    int BoxCount() const { return boxes.Count(); }
    // Record i, or null when i is out of range.
    BoxRecord* GetBox(int i) const;
    // Calls `visit` with every pair of positions (i, j), j < i, whose boxes may
    // overlap, in the order i increasing, then j increasing, until it returns false.
    // Every pair in which a corner of one box can lie inside the other's six planes is
    // among them: the boxes' bounds along the first axis are swept, then compared along
    // all three (a box whose planes enclose no bounded space meets every other).
    void ForEachPairThatMayOverlap(const std::function<bool(int i, int j)>& visit) const;

private:
    // Centre, corners and planes; false, with the record untouched, when the mesh
    // does not describe a box.
    static bool SetBoxShape(INode* node, BoxRecord* record, Mesh* mesh);
    // The inner radius walk from the centre; ERROR_BOX when it reaches a face.
    static ErrorFlags FindInnerRadius(BoxRecord* record);

    Tab<BoxRecord*> boxes; // owned
};
