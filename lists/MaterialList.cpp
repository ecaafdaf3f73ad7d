#include "lists/MaterialList.h"

MaterialList::~MaterialList()
{
    for (int i = 0; i < colors.Count(); i++)
        delete colors[i];
    colors.Init();
    colorNames.Init();
    materials.Init();
}

int MaterialList::AddMaterial(Mtl* mtl)
{
    if (!mtl || !known.insert(mtl).second)
        return 0;
    materials.Append(1, &mtl, 25);
    return 1;
}

int MaterialList::AddColor(const TCHAR* name, Color* color)
{
    if (!name || !color)
        return 0;
    colorNames.Append(1, &name, 25);
    colors.Append(1, &color, 25);
    return 1;
}

Mtl* MaterialList::GetMaterial(int i) const { return i >= 0 && i < materials.Count() ? materials[i] : nullptr; }

const TCHAR* MaterialList::GetColorName(int i) const
{
    return i >= 0 && i < colorNames.Count() ? colorNames[i] : nullptr;
}

Color* MaterialList::GetColor(int i) const { return i >= 0 && i < colors.Count() ? colors[i] : nullptr; }
