// The materials and named wire colours gathered for one export, in the order met.
#pragma once

#include "max.h"

#include <unordered_set>

class MaterialList {
public:
    MaterialList() = default;
    // Releases the tables and the colours handed in; the materials and names stay the
    // host's.
    ~MaterialList();
    MaterialList(const MaterialList&) = delete;
    MaterialList& operator=(const MaterialList&) = delete;

    // 1 when appended; 0 for null or a material already in the list.
    int AddMaterial(Mtl* mtl);
    // Appends the pair and takes ownership of color; 0 (nothing appended, color not
    // taken) when either is null. Names may repeat.
    int AddColor(const TCHAR* name, Color* color);
    int MaterialCount() const { return materials.Count(); }
    int ColorCount() const { return colors.Count(); }
    // Entry i, or null when i is out of range.
    Mtl* GetMaterial(int i) const;
    const TCHAR* GetColorName(int i) const;
    Color* GetColor(int i) const;

private:
    Tab<Mtl*> materials;
    Tab<const TCHAR*> colorNames;   // the host's name pointers, valid for the export
    Tab<Color*> colors;             // owned
    std::unordered_set<Mtl*> known; // index beside materials
};
