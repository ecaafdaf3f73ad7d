#include "writers/NodeWriter.h"

#include "plugin/Plugin.h"
#include "writers/NumberFormat.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>

namespace {

// A control character, a line break above all, would end the line early.
bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

// Braces open and close blocks.
bool BreaksLine(char c) { return c == '{' || c == '}' || IsControl(c); }

// Blanks separate a line's fields: a name made of one field cannot carry them either.
bool BreaksName(char c) { return c == ' ' || BreaksLine(c); }

CStr ReplaceWhere(CStr text, bool (*breaks)(char))
{
    for (int k = 0; k < text.Length(); k++)
        if (breaks(text[k]))
            text[k] = '_';
    return text;
}

} // namespace

NodeWriter::NodeWriter(FILE* file, Interface* i, int d)
    : outFile(file), ip(i), depth(d), indentSize(1), legacyFormat(0), time(0), decimals(6)
{
    SetDecimals(6);
}

NodeWriter::~NodeWriter()
{
    outFile = nullptr;
    ip = nullptr;
}

Point3 NodeWriter::GetRelativePosition(AffineParts node, AffineParts reference)
{
    return Point3(node.t.x - reference.t.x, node.t.y - reference.t.y, node.t.z - reference.t.z);
}

void NodeWriter::GetRotationAngles(AffineParts parts, float* angles)
{
    const float PI = 3.1415927f;
    QuatToEuler(parts.q, angles);
    for (int k = 0; k < 3; k++) {
        if (angles[k] < 0.0f) {
            angles[k] += PI;
            angles[k] += PI;
        }
        // The engine reads angles as 65534ths of a turn.
        angles[k] = angles[k] * 32767 * 0.31830987f;
    }
}

float NodeWriter::GetScale(AffineParts parts)
{
    (void)parts;
    return 100.0f;
}

void NodeWriter::SetDecimals(int n)
{
    decimals = ClampDecimals(n);
    std::snprintf(numberFormat, sizeof(numberFormat), "%%4.%df", decimals);
}

void NodeWriter::SetIndentation(int indentation) { indentSize = ClampIndentation(indentation); }

void NodeWriter::SetLegacyFormat(int legacy) { legacyFormat = legacy; }

void NodeWriter::SetTime(TimeValue t) { time = t; }

TimeValue NodeWriter::GetTime() { return time; }

void NodeWriter::WriteIndent(FILE* stream, int level)
{
    static const char spaces[] = "                                                                ";
    if (!stream || indentSize <= 0 || level <= 0)
        return;
    long long n = static_cast<long long>(indentSize) * level;
    while (n > 0) {
        size_t chunk = size_t(n < 64 ? n : 64);
        std::fwrite(spaces, 1, chunk, stream);
        n -= static_cast<long long>(chunk);
    }
}

void NodeWriter::WriteNodeHeader(int keywordId, INode* node)
{
    TimeValue t = GetTime();
    Matrix3 nodeTM = node->GetNodeTM(t);

    // In selection mode the block is placed relative to the nearest selected ancestor,
    // since unselected ancestors write no block.
    INode* reference = node->GetParentNode();
    while (reference && !reference->IsRootNode() && GetExportSelectedOnly() && reference->Selected() == 0)
        reference = reference->GetParentNode();
    Matrix3 referenceTM = reference ? reference->GetNodeTM(t) : Matrix3();

    Matrix3 local = Inverse(referenceTM) * nodeTM;
    AffineParts localParts, nodeParts, referenceParts;
    decomp_affine(local, &localParts);
    decomp_affine(nodeTM, &nodeParts);
    decomp_affine(referenceTM, &referenceParts);

    float angles[3];
    GetRotationAngles(localParts, angles);
    float scale = GetScale(localParts);
    Point3 position = GetRelativePosition(nodeParts, referenceParts);
    angles[1] = 65535 - angles[1];

    SetSubject(node->GetName());
    WriteIndent(outFile, depth);
    blockOpened = true;
    std::fprintf(outFile, "%s ", GetText(keywordId));
    std::fprintf(outFile, "%s {\n", FormatName(node->GetName()).data());
    WriteIndent(outFile, depth + 1);
    std::fprintf(outFile, "%s %s %s ", FormatFloat(position.x).data(), FormatFloat(position.z).data(),
                 FormatFloat(position.y).data());
    std::fprintf(outFile, "%s %s %s ", FormatFloat(angles[2]).data(), FormatFloat(angles[0]).data(),
                 FormatFloat(angles[1]).data());
    std::fprintf(outFile, "%s\n", FormatFloat(scale).data());
}

CStr NodeWriter::FormatColor(Color color)
{
    const float channels[3] = {color.r, color.g, color.b};
    unsigned bytes[3];
    for (int k = 0; k < 3; k++) {
        double v = double(channels[k] * 255) + 0.5;
        // Truncation toward zero, then the low 8 bits.
        bytes[k] = unsigned(TruncateToInt(v)) & 0xff;
    }
    CStr s;
    s.printf("%02x%02x%02x", bytes[0], bytes[1], bytes[2]);
    return s;
}

CStr NodeWriter::FormatName(const TCHAR* name)
{
    if (!name)
        return CStr();
    return ReplaceWhere(CStr(name), BreaksName);
}

CStr NodeWriter::FormatNameKeepingBlanks(const TCHAR* name)
{
    if (!name)
        return CStr();
    return ReplaceWhere(CStr(name), BreaksLine);
}

CStr NodeWriter::FormatMaterialName(const TCHAR* name, const char* suffix)
{
    CStr text = FormatName(name);
    text += suffix;
    // Alone on its line in the mesh blocks, the name must not read as an empty line,
    // a comment or result marker, or the bone marker.
    if (text.Length() == 0 || text == "BONE")
        text = CStr("_") + text;
    else if (text[0] == '#')
        text[0] = '_';
    return text;
}

CStr NodeWriter::FormatFloat(float value)
{
    char buf[FORMAT_FIXED_MAX];
    return CStr(buf, FormatFloatTo(buf, value));
}

size_t NodeWriter::FormatFloatTo(char* buf, float value)
{
    // FormatFixed writes a point whatever the locale: there is no comma to turn.
    return CutToTen(buf, FormatFixed(buf, FiniteValue(value), decimals));
}

float NodeWriter::FiniteValue(float v)
{
    if (std::isfinite(v))
        return v;
    if (!nonFiniteReported && ip && ip->Log())
        ip->Log()->LogEntry(
            SYSLOG_WARN, NO_DIALOG, "Attention",
            "\"%s\" : valeur infinie ou indéfinie remplacée par la valeur finie la plus proche (NaN par 0)",
            subject.data());
    nonFiniteReported = true;
    return FiniteOrNearest(v);
}

void NodeWriter::SetSubject(const TCHAR* name)
{
    subject = CStr(name);
    nonFiniteReported = false;
}

CStr NodeWriter::FormatMapPath(const TCHAR* path)
{
    static const char MARKER[] = "/Partition/";
    if (!path)
        return CStr();
    CStr converted = ReplaceWhere(ReplaceChar(CStr(path), '\\', '/'), IsControl);
    // The path ends its line: a final brace would read as the opening of a block.
    if (converted.Length() > 0 && converted[converted.Length() - 1] == '{')
        converted[converted.Length() - 1] = '_';
    Interface* host = ip ? ip : GetCOREInterface(); // the material writer is given none
    CStr root = ReplaceChar(CStr(host ? host->GetDir(APP_TEXTURE_ROOT_DIR) : ""), '\\', '/');
    if (root.Length() > 0 && root[root.Length() - 1] != '/')
        root += "/";
    if (root.Length() > 1 && std::strncmp(converted.data(), root.data(), size_t(root.Length())) == 0)
        return converted.Substr(root.Length(), converted.Length());
    int i = FindNoCase(converted, MARKER, 0);
    if (i > 0)
        return converted.Substr(i + int(sizeof(MARKER) - 1), converted.Length());
    return converted;
}

int NodeWriter::FindNoCase(CStr text, CStr pattern, int offset)
{
    text.toLower();
    pattern.toLower();
    const char* s = text.data();
    const char* p = pattern.data();
    size_t plen = std::strlen(p);
    // Each miss searches again after the candidate, with the offset moved past it.
    for (;;) {
        const char* hit = std::strchr(s, p[0]);
        if (!hit)
            return 0;
        int i = int(hit - s);
        if (std::strncmp(hit, p, plen) == 0)
            return i + offset;
        offset += i + 1;
        s = hit + 1;
        if (*hit == '\0')
            return 0;
    }
}

CStr NodeWriter::ReplaceChar(CStr text, char from, char to)
{
    for (int k = 0; k < text.Length(); k++)
        if (text[k] == from)
            text[k] = to;
    return text;
}

TriObject* NodeWriter::AcquireTriObject(INode* node, TimeValue t, int& mustDelete)
{
    mustDelete = 0;
    if (!node)
        return nullptr;
    Object* obj = node->EvalWorldState(t, TRUE).obj;
    if (!obj || !obj->CanConvertToType(triObjectClassID))
        return nullptr;
    Object* converted = obj->ConvertToType(t, triObjectClassID);
    if (!converted)
        return nullptr;
    if (converted != obj)
        mustDelete = 1;
    return static_cast<TriObject*>(converted);
}
