// Base of every block writer, and the textual conventions of the Vek format.
//
// A writer lives for one block: it is created with the output stream, the host
// interface and the node's depth, configured through its setters, asked once to
// Export, and deleted. A node block opens with the keyword, the formatted name and
// "{" at the node's depth; its lines are one level deeper; the node pass closes it.
#pragma once

#include "export/SceneExporter.h"
#include "max.h"

#include <cstdio>

class NodeWriter {
public:
    NodeWriter(FILE* outFile, Interface* ip, int depth);
    virtual ~NodeWriter();

    // Writes the block of node (null for file-level writers); returns ErrorFlags.
    virtual ErrorFlags Export(INode* node) = 0;
    // The first decomposition's translation minus the second's.
    virtual Point3 GetRelativePosition(AffineParts node, AffineParts reference);
    // The essential rotation as Euler angles about X, Y and Z in the engine's unit:
    // negative angles gain a full turn, and a half turn is 32767.
    virtual void GetRotationAngles(AffineParts parts, float* angles);
    // Always 100: the node's stretch is not written.
    virtual float GetScale(AffineParts parts);
    // Numbers are written with "%4.<n>f"; n is clamped to 0..10.
    virtual void SetDecimals(int decimals);
    // Spaces per nesting level, clamped to 0..8.
    virtual void SetIndentation(int indentation);
    virtual void SetLegacyFormat(int legacy);
    virtual void SetTime(TimeValue t);
    virtual TimeValue GetTime();
    // indentSize * level spaces; nothing when that is 0 or less.
    virtual void WriteIndent(FILE* stream, int level);
    // The opening line "<keyword> <name> {" at depth and the transform line below it:
    // position x z y relative to the reference node, the angles about Z, X and
    // 65535 minus the one about Y, and the scale. The reference node is the parent;
    // in selection mode, the nearest ancestor whose selection state is not 0 (or the
    // scene root). The position is the difference of the world positions; the angles
    // are those of Inverse(reference) * node, the order the engine reads.
    virtual void WriteNodeHeader(int keywordId, INode* node);
    // Six lower-case hexadecimal digits, each channel * 255 + 0.5 truncated, low 8 bits
    // (channels outside 0..1 wrap around). A channel with no integer value gives a
    // fixed byte: NaN 00, beyond the int range ff above and 00 below.
    virtual CStr FormatColor(Color color);
    // Blanks, braces and control characters (line breaks among them) become
    // underscores, so that no name can split a line or open or close a block; null
    // gives the empty string.
    virtual CStr FormatName(const TCHAR* name);
    // The number with the current format, cut to its first ten characters (but
    // never inside its integer part), with any comma turned into a point. A NaN or
    // an infinity is written as FiniteValue gives it.
    virtual CStr FormatFloat(float value);
    // Forward slashes, relative to a "/Partition/" directory when the path lies in one.
    // Control characters, and a final brace that would open a block, become underscores.
    virtual CStr FormatMapPath(const TCHAR* path);
    // Offset plus the index of the first case-insensitive occurrence of pattern in
    // text, or 0 when there is none.
    virtual int FindNoCase(CStr text, CStr pattern, int offset);
    virtual CStr ReplaceChar(CStr text, char from, char to);
    // The name with its blanks, as topology and animation blocks spell it; braces and
    // control characters become underscores. Null gives the empty string.
    CStr FormatNameKeepingBlanks(const TCHAR* name);
    // A material's name as its block and the mesh lines that use it spell it:
    // FormatName of name, then suffix; a result that would read as an empty line, the
    // bone marker or a comment ("#...") gains or takes an underscore in front.
    CStr FormatMaterialName(const TCHAR* name, const char* suffix = "");

    // The node's object at time t as a triangle mesh, or null. mustDelete is set to 1
    // when the object was made for this call and the caller must delete it.
    static TriObject* AcquireTriObject(INode* node, TimeValue t, int& mustDelete);

    // True once Export opened a block that the node pass must close, so that braces
    // balance whatever a writer ends up writing. WriteNodeHeader sets it; a writer
    // whose block opens with another line sets blockOpened itself.
    bool OpenedBlock() const { return blockOpened; }

protected:
    // v, or for a NaN or an infinity the nearest finite value (FiniteOrNearest). The
    // first such value after SetSubject is reported in the host's log, naming the
    // subject, so that a number the scene could not give is not replaced silently.
    float FiniteValue(float v);
    // The node or material whose numbers follow. WriteNodeHeader sets the node.
    void SetSubject(const TCHAR* name);

    FILE* outFile;
    Interface* ip;
    int depth;
    char numberFormat[16]; // "%4.<n>f"; set only through SetDecimals, which keeps it with decimals
    int indentSize;
    int legacyFormat;
    TimeValue time;
    bool blockOpened = false;

private:
    int decimals;
    CStr subject;
    bool nonFiniteReported = false;
};
