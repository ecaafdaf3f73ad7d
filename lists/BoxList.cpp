#include "lists/BoxList.h"

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

ErrorFlags BoxList::AddBox(INode* node, Mesh* mesh)
{
    (void)node, (void)mesh;
    return ERROR_BOX; // not gathered yet
}

ErrorFlags BoxList::ComputeBoxGeometry(INode* node, BoxRecord* record, Mesh* mesh)
{
    (void)node, (void)record, (void)mesh;
    return ERROR_BOX;
}
