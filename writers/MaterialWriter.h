// The material section: a "material" block per gathered material, a "_COL" block per
// named wire colour, then an empty line.
//
// A material becomes a diffuse colour, up to two bitmap textures with a blend amount,
// up to two face colours and a list of "type" flags. Blend materials, and blends
// nested one level inside them, are read as a fixed set of texture-and-colour layouts;
// any other material gives its colour alone, or a texture for a bitmap diffuse map.
// Block headers and closing lines are at column 0; inner lines are indented by one
// blank whatever the indentation option, and everything is read at time 0.
#pragma once

#include "writers/NodeWriter.h"

class MaterialList;

class MaterialWriter : public NodeWriter {
public:
    // ip serves only to report numbers that had to be replaced; it may be null.
    MaterialWriter(FILE* outFile, MaterialList* materialList, Interface* ip = nullptr);
    ~MaterialWriter() override;
    // Writes the whole section; node is ignored. 0, or ERROR_MATERIAL when there is no
    // stream or list (nothing written), or when a blend material cannot be read: it
    // lacks sub-material 0 or 1, or its layout needs a mix amount and it has none.
    // Such a block holds only its colour line; the other blocks are still written.
    ErrorFlags Export(INode* node) override;

    MaterialList* materialList;
    int gouraud;  // a "type GOURAUD" line in every block
    int lighting; // "type LIGHT" instead of "type NOLIGHT"

private:
    // What a material says beyond its colour line.
    struct Layout {
        Texmap* firstTexture = nullptr;
        Texmap* secondTexture = nullptr;
        float blendAmount = 0.0f;
        bool hasFaceColor1 = false;
        Color faceColor1;
        bool hasFaceColor2 = false;
        Color faceColor2;
    };

    // False when mtl is a blend that cannot be read.
    bool DeriveLayout(Mtl* mtl, Layout& layout);
    bool DeriveBlendLayout(Mtl* blend, Layout& layout);
    void WriteDataLines(const Layout& layout);
    void WriteTypeLines(Mtl* mtl, const Layout& layout);
    void WriteTypeLine(int flagId);
};
