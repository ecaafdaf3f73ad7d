// Collision boxes gathered from "BOX_<number>" meshes. Points and plane normals are
// stored with the host's second and third coordinates exchanged: (x, z, y).
#pragma once

#include "export/SceneExporter.h"
#include "max.h"

class BoxRecord {
public:
    virtual ~BoxRecord() = default;
    virtual void SetId(int id);
    virtual int GetId();
    virtual void SetInnerRadius(int radius);
    virtual int GetInnerRadius();
    virtual void SetCenter(Point3 center);
    virtual Point3 GetCenter();
    // Corners 0 to 7; other indices are ignored (set) or give (0, 0, 0) (get).
    virtual void SetCorner(int i, Point3 corner);
    virtual Point3 GetCorner(int i);
    // Plane i (0 to 5) is a*x + b*y + c*z + d, its unit normal pointing into the box.
    // 1 when set; 0 and nothing changed for another index.
    virtual int SetPlane(int i, float a, float b, float c, float d);
    // Coefficients of plane i; 0 for another index.
    virtual float GetPlaneA(int i);
    virtual float GetPlaneB(int i);
    virtual float GetPlaneC(int i);
    virtual float GetPlaneD(int i);

private:
    int id = -1;
    Point3 center;
    int innerRadius = -1;
    float a[6] = {}, b[6] = {}, c[6] = {}, d[6] = {};
    Point3 corners[8];
};

class BoxList {
public:
    BoxList() = default;
    ~BoxList();
    BoxList(const BoxList&) = delete;
    BoxList& operator=(const BoxList&) = delete;

    // Builds a record from a box node and its mesh and appends it; ERROR_BOX when the
    // node cannot become a box (see the implementation for which records are kept).
    ErrorFlags AddBox(INode* node, Mesh* mesh);
    // Fills the record's centre, corners, planes and inner radius from the node's
    // object transform at time 0.
    ErrorFlags ComputeBoxGeometry(INode* node, BoxRecord* record, Mesh* mesh);
    int BoxCount() const { return boxes.Count(); }
    // Record i, or null when i is out of range.
    BoxRecord* GetBox(int i) const;

private:
    Tab<BoxRecord*> boxes; // owned
};
