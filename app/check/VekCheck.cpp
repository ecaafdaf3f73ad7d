#include "check/VekCheck.h"
#include "check/Fields.h"
#include "check/Findings.h"
#include "check/LineReader.h"
#include "export/ResultMarkers.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <utility>

#include <sys/stat.h>

namespace vek {

namespace {

// ---- Vek files ----

enum class Kind { Shell, Mesh, Light, Camera, Topo, Anim, Material };

struct KeywordKind {
    const char* keyword;
    Kind kind;
};
constexpr KeywordKind BlockKeywords[] = {
    {"shell", Kind::Shell}, {"mesh", Kind::Mesh}, {"colorlight", Kind::Light},  {"camera", Kind::Camera},
    {"topo", Kind::Topo},   {"anim", Kind::Anim}, {"material", Kind::Material},
};
static_assert(std::size(BlockKeywords) == 7);

constexpr int GeometryMarker = FindResultMarker("#ERROR_EXPORT_GEOM3D");
constexpr int LightMarker = FindResultMarker("#ERROR_EXPORT_LIGHT");

constexpr const char* MaterialFlags[] = {"GOURAUD",  "FLAT",         "LIGHT",  "NOLIGHT",
                                         "TEXTURED", "TEXTURED_BIS", "COLOR1", "COLOR2"};
static_assert(std::size(MaterialFlags) == 8);

struct Block {
    Kind kind;
    int lead;
    std::string name;
    long line;
    int step = 0; // data lines seen
    enum Phase { Header, Vertices, Faces, References, Keys, Done } phase = Header;
    long long vertexCount = 0;
    long long parentVertices = 0;
    bool sawMaterial = false;
    bool sawRotation = false;
    bool hasChildren = false;
    bool loose = false; // an animation block standing in for its node's block
    // In the document model, when one is filled: the block's node, material or
    // topology mesh, and the material of the face lines that follow.
    int model = -1;
    int faceMaterial = -1;
};

const char* KindName(Kind k)
{
    for (const KeywordKind& kk : BlockKeywords)
        if (kk.kind == k)
            return kk.keyword;
    return "?";
}

bool IsNodeKind(Kind k) { return k == Kind::Shell || k == Kind::Mesh || k == Kind::Light || k == Kind::Camera; }

class VekChecker {
public:
    VekChecker(CheckReport& r, const std::string& name, VekDocument* d, bool counting = false)
        : out(r, name), figures(r.figures), doc(d), countOnly(counting)
    {
    }

    void Run(std::FILE* in)
    {
        LineReader r(in);
        const Reporter::Mark start = out.Here();
        while (r.Next()) {
            if (out.LineEnds(r))
                Line(r.number, r.line);
            if (r.number == HeaderProbe && !StartsLikeVek())
                return Foreign(start);
        }
        if (r.number > 0 && r.number < HeaderProbe && !StartsLikeVek())
            return Foreign(start);
        Finish(r.number);
    }

private:
    Reporter out;
    VekFigures& figures;
    VekDocument* doc; // filled as the lines are read, when given
    bool countOnly;   // vertex and face lines counted, their numbers not read
    std::vector<Block> stack;
    std::vector<std::string_view> words; // of the current line
    int size = -1;                       // blanks per nesting level, once known
    enum Section { Materials, Topologies, Nodes, Results } section = Materials;
    int emptyLines = 0;
    int lastMarker = -1;
    int markerBits = 0; // the failure markers the file ends with
    bool sawOk = false, sawMarker = false, legacy = false;
    bool sawNonFinite = false;                      // among the numbers of the current line
    std::unordered_map<std::string, int> materials; // name -> index in the document, -1 without one
    struct Topology {
        long long vertexCount;
        int mesh; // in the document, -1 without one
    };
    std::unordered_map<std::string, Topology> topologies;
    long long largestTopology = 0;
    struct Deferred {
        int marker;
        long line;
        std::string text;
    };
    std::vector<Deferred> deferred; // findings unless the file records that failure
    std::vector<std::pair<long, std::string>> pendingMaterials;

    void Add(long line, std::string text) { out.Add(line, std::move(text)); }

    // A file of another kind (a model, a picture, a text) would give a finding on
    // nearly every line: once its first lines show that it is no Vek file at all,
    // that is its only finding, and the rest is not read. The third or fourth line of
    // a Vek file, however damaged the rest of its header, is one of its version lines.
    static constexpr long HeaderProbe = 4;
    bool sawVersion = false; // among the first HeaderProbe lines
    bool StartsLikeVek() const { return sawVersion; }
    void Foreign(Reporter::Mark start)
    {
        out.Rewind(start);
        Add(0, "not a Vek file");
    }

    // A number field, its value into `value`. A NaN or an infinity is written like a
    // number but the engine cannot read it: Data reports it once for the line.
    bool Number(std::string_view s, float& value)
    {
        if (ReadNumber(s, value))
            return true;
        if (s == "nan" || s == "-nan" || s == "inf" || s == "-inf") {
            sawNonFinite = true;
            std::from_chars(s.data(), s.data() + s.size(), value);
            return true;
        }
        return false;
    }
    bool Number(std::string_view s)
    {
        float value;
        return Number(s, value);
    }
    // Every word a number field, their values into `values` when given.
    bool AllNumbers(const std::vector<std::string_view>& t, float* values = nullptr)
    {
        float value;
        for (size_t k = 0; k < t.size(); k++)
            if (!Number(t[k], values ? values[k] : value))
                return false;
        return true;
    }

    void Defer(int marker, long line, std::string text)
    {
        if (deferred.size() < CheckReport::MaxFindings)
            deferred.push_back({marker, line, std::move(text)});
    }

    std::string Describe(const Block& b) const
    {
        return std::string("\"") + KindName(b.kind) + " " + b.name + "\" (line " + std::to_string(b.line) + ")";
    }

    void Header(long n, std::string_view line)
    {
        sawVersion =
            sawVersion || (n == 3 && line.starts_with("# Version:")) || (n == 4 && line.starts_with("# Vek Version:"));
        switch (n) {
        case 1:
        case 2:
            if (line.rfind("# ", 0) != 0)
                Add(n, "header line " + std::to_string(n) + " should begin with \"# \"");
            break;
        case 3:
            if (line.rfind("# Version: ", 0) != 0 || !IsNumber(line.substr(11)))
                Add(n, "expected the header line \"# Version: <number>\"");
            break;
        case 4:
            if (line == "# Vek Version: 1")
                legacy = true;
            else if (line != "# Vek Version: 2")
                Add(n, "expected \"# Vek Version: 1\" or \"# Vek Version: 2\"");
            break;
        case 5:
            if (!line.empty())
                Add(n, "the header ends with an empty line");
            break;
        }
    }

    void Line(long n, std::string_view line)
    {
        if (n <= 5) {
            Header(n, line);
            return;
        }
        int lead = int(line.find_first_not_of(' '));
        if (lead < 0)
            lead = int(line.size());
        std::string_view content = line.substr(size_t(lead));

        if (section == Results) {
            Marker(n, line);
            return;
        }
        if (lead == 0 && !content.empty() && content[0] == '#') {
            CloseAll(n);
            section = Results;
            Marker(n, line);
            return;
        }
        if (line.empty()) {
            EmptyLine(n);
            return;
        }
        if (content == "}") {
            Close(n, lead);
            return;
        }
        if (content == "BONE") {
            if (lead != 0)
                Add(n, "\"BONE\" must start at the beginning of the line");
            section = Nodes;
            return;
        }
        if (content.size() >= 2 && content.substr(content.size() - 2) == " {") {
            Open(n, lead, content);
            return;
        }
        if (stack.empty()) {
            Add(n, "line outside any block");
            return;
        }
        Data(n, lead, content);
    }

    void Marker(long n, std::string_view line)
    {
        if (line == EXPORT_OK_MARKER) {
            if (sawOk || sawMarker)
                Add(n, "\"#EXPORT_OK\" must be the only result marker");
            sawOk = true;
            figures.ok = true;
            return;
        }
        for (int k = 0; k < int(std::size(resultMarkers)); k++) {
            if (line != resultMarkers[k].text)
                continue;
            if (sawOk)
                Add(n, "failure marker after \"#EXPORT_OK\"");
            else if (k <= lastMarker)
                Add(n, "failure markers out of order or repeated");
            lastMarker = k;
            sawMarker = true;
            markerBits |= 1 << k;
            figures.markers.push_back(resultMarkers[k].text);
            return;
        }
        Add(n, "unknown line after the result markers: \"" + std::string(line.substr(0, 60)) + "\"");
    }

    void EmptyLine(long n)
    {
        if (!stack.empty()) {
            Block& b = stack.back();
            bool body = b.phase == Block::Vertices || (b.kind == Kind::Mesh && b.step > 0 && b.phase == Block::Header);
            if ((b.kind == Kind::Mesh || b.kind == Kind::Topo) && body && !b.hasChildren) {
                b.phase = Block::Faces;
                return;
            }
            Add(n, "unexpected empty line in " + Describe(b));
            return;
        }
        if (section == Nodes || ++emptyLines > 2)
            Add(n, "unexpected empty line between blocks");
        if (section == Materials && emptyLines == 1)
            section = Topologies;
    }

    // The lead a line one level inside b has, given the padding of its first field.
    bool CheckLead(long n, const Block& b, int lead, int padding)
    {
        if (b.kind == Kind::Material || b.loose)
            return Expect(n, lead, 1 + padding, padding);
        if (size < 0) {
            size = lead - padding - b.lead;
            if (size < 0 || size > 64) {
                Add(n, "indentation does not match the nesting");
                size = -1;
                return false;
            }
            return true;
        }
        return Expect(n, lead, b.lead + size + padding, padding);
    }

    bool Expect(long n, int lead, int expected, int padding = 0)
    {
        if (lead == expected)
            return true;
        if (padding > 0 && lead == expected - padding) {
            // The line stands where its block puts it; only the blanks that widen a
            // short first number to its field are missing.
            Add(n, "first number narrower than its field of 4 characters, and not padded to it with blanks");
            return false;
        }
        Add(n, "indented by " + std::to_string(lead) + " blanks, expected " + std::to_string(expected));
        return false;
    }

    void Open(long n, int lead, std::string_view content)
    {
        std::string_view head = content.substr(0, content.size() - 2);
        size_t space = head.find(' ');
        std::string_view keyword = head.substr(0, space);
        std::string name(space == std::string_view::npos ? std::string_view() : head.substr(space + 1));
        const KeywordKind* kk = nullptr;
        for (const KeywordKind& k : BlockKeywords)
            if (keyword == k.keyword)
                kk = &k;
        if (!kk) {
            Add(n, "unknown block keyword \"" + std::string(keyword.substr(0, 40)) + "\"");
            // Followed as a plain block so that its closing brace still balances.
            stack.push_back({Kind::Shell, lead, name, n});
            stack.back().step = 1;
            return;
        }
        Block b{kk->kind, lead, name, n};
        Block* parent = stack.empty() ? nullptr : &stack.back();
        Count(b.kind);

        if (b.kind == Kind::Material || b.kind == Kind::Topo) {
            if (parent) {
                Add(n, std::string("\"") + kk->keyword + "\" blocks stand at the top level, not inside " +
                           Describe(*parent));
            } else if (lead != 0) {
                Add(n, std::string("\"") + kk->keyword + "\" block must start at the beginning of the line");
            }
            if (b.kind == Kind::Material) {
                if (section != Materials)
                    Add(n, "material block after the material section");
                if (doc) {
                    b.model = int(doc->materials.size());
                    doc->materials.push_back({name, 0, {}});
                }
                materials.emplace(name, b.model);
            } else {
                if (legacy)
                    Add(n, "topology block in a file of Vek version 1");
                if (section == Nodes)
                    Add(n, "topology block after the node blocks");
                if (name.rfind("TOPO_", 0) != 0)
                    Add(n, "topology block name should begin with \"TOPO_\"");
                section = Topologies;
                b.phase = Block::Vertices;
                if (doc) {
                    b.model = int(doc->meshes.size());
                    doc->meshes.push_back({name, {}, {}, {}});
                }
            }
            stack.push_back(std::move(b));
            return;
        }

        if (b.kind == Kind::Anim) {
            if (parent && parent->kind == Kind::Mesh && !parent->loose) {
                if (size >= 0 && lead != parent->lead + size)
                    Add(n, "indented by " + std::to_string(lead) + " blanks, expected " +
                               std::to_string(parent->lead + size));
                parent->hasChildren = true;
            } else if (lead == 0) {
                b.loose = true; // the animation of a node written without its geometry
                if (parent)
                    parent->hasChildren = true;
            } else {
                Add(n, "animation block outside a mesh block");
            }
            b.phase = Block::Header;
            section = Nodes;
            stack.push_back(std::move(b));
            return;
        }

        section = Nodes;
        if (parent) {
            if (!IsNodeKind(parent->kind) && !parent->loose)
                Add(n, std::string("\"") + kk->keyword + "\" block inside " + Describe(*parent));
            int base = parent->loose ? 0 : parent->lead;
            if (size >= 0 && (lead < base + size || (size > 0 && (lead - base) % size != 0)))
                Add(n, "indentation does not match the nesting (indented by " + std::to_string(lead) + " blanks)");
            parent->hasChildren = true;
            if (b.kind == Kind::Mesh && parent->kind == Kind::Mesh)
                b.parentVertices = parent->vertexCount;
        } else if (size > 0 && lead % size != 0) {
            Add(n, "indentation does not match the nesting (indented by " + std::to_string(lead) + " blanks)");
        }
        if (doc)
            AddNode(b);
        stack.push_back(std::move(b));
    }

    void Count(Kind kind)
    {
        long long VekFigures::*const counters[] = {
            &VekFigures::shells,     &VekFigures::meshes,     &VekFigures::lights,   &VekFigures::cameras,
            &VekFigures::topologies, &VekFigures::animations, &VekFigures::materials};
        static_assert(std::size(counters) == std::size(BlockKeywords));
        (figures.*counters[int(kind)])++;
    }

    // The node of a block in the document, under the nearest enclosing node.
    void AddNode(Block& b)
    {
        VekNode node;
        node.kind = b.kind == Kind::Mesh     ? VekNode::Kind::Mesh
                    : b.kind == Kind::Light  ? VekNode::Kind::Light
                    : b.kind == Kind::Camera ? VekNode::Kind::Camera
                                             : VekNode::Kind::Shell;
        node.name = b.name;
        for (auto it = stack.rbegin(); it != stack.rend() && node.parent < 0; ++it)
            if (IsNodeKind(it->kind))
                node.parent = it->model;
        b.model = int(doc->nodes.size());
        doc->nodes.push_back(std::move(node));
    }

    // The node of a node block in the document; null without one.
    VekNode* ModelNode(const Block& b)
    {
        return doc && b.model >= 0 && IsNodeKind(b.kind) ? &doc->nodes[size_t(b.model)] : nullptr;
    }

    // The vertices and faces a mesh or topology block writes itself; null without a document.
    VekMesh* Body(const Block& b)
    {
        if (b.kind == Kind::Topo)
            return doc && b.model >= 0 ? &doc->meshes[size_t(b.model)] : nullptr;
        VekNode* node = ModelNode(b);
        if (!node)
            return nullptr;
        if (node->mesh < 0) {
            node->mesh = int(doc->meshes.size());
            doc->meshes.push_back({node->name, {}, {}, {}});
        }
        return &doc->meshes[size_t(node->mesh)];
    }

    void Close(long n, int lead)
    {
        if (stack.empty()) {
            Add(n, "closing brace without an open block");
            return;
        }
        Block& b = stack.back();
        if (!b.loose && lead != b.lead)
            Add(n, "closing brace indented by " + std::to_string(lead) + " blanks, its block " + Describe(b) + " by " +
                       std::to_string(b.lead));
        Complete(b);
        if (b.kind == Kind::Topo) {
            topologies[b.name] = {b.vertexCount, b.model};
            largestTopology = std::max(largestTopology, b.vertexCount);
        }
        stack.pop_back();
    }

    // What a block must hold by its end.
    void Complete(const Block& b)
    {
        switch (b.kind) {
        case Kind::Material:
            if (b.step == 0)
                Add(b.line, "material block without its \"color\" line");
            break;
        case Kind::Mesh:
            if (b.step == 0)
                Add(b.line, "mesh block without its transform line");
            else if (b.phase == Block::Header)
                Defer(GeometryMarker, b.line, "mesh block without vertices, faces or topology reference");
            else if (b.phase == Block::Vertices)
                Add(b.line, "mesh block without the empty line that ends its vertices");
            break;
        case Kind::Topo:
            if (b.phase == Block::Vertices && b.step == 0)
                Defer(GeometryMarker, b.line, "topology block without vertices or faces");
            else if (b.phase == Block::Vertices)
                Add(b.line, "topology block without the empty line that ends its vertices");
            break;
        case Kind::Light:
            if (b.step == 0)
                Add(b.line, "light block without its transform line");
            else if (b.step == 1)
                Defer(LightMarker, b.line, "light block without its parameter line");
            break;
        case Kind::Camera:
            if (b.step < 3)
                Add(b.line, "camera block without its " +
                                std::string(b.step == 0 ? "transform" : "projection and range") + " lines");
            break;
        case Kind::Shell:
            if (b.step == 0)
                Add(b.line, "shell block without its transform line");
            break;
        case Kind::Anim:
            if (b.step == 0)
                Add(b.line, "animation block without its length line");
            break;
        }
    }

    void CloseAll(long n)
    {
        for (auto it = stack.rbegin(); it != stack.rend(); ++it)
            Add(it->line, Describe(*it) + " is not closed" + (n ? " before the result markers" : ""));
        stack.clear();
    }

    void Transform(long n, Block& b, int lead, const std::vector<std::string_view>& t)
    {
        CheckLead(n, b, lead, Padding(t[0]));
        std::array<float, 7> numbers{};
        if (t.size() != 7 || !AllNumbers(t, numbers.data()))
            Add(n, "transform line should hold 7 numbers");
        else if (VekNode* node = ModelNode(b))
            node->transform = numbers;
        b.step = 1;
    }

    // The vertex and face lines that make the bulk of a file, read in one pass without
    // splitting them into words first. Only a line as the exporter writes it (fields
    // one blank apart, every one well formed, every index in range) is taken here, with
    // the same checks and effects as in MeshData; whatever else is left to Data.
    bool QuickData(long n, int lead, std::string_view content)
    {
        Block& b = stack.back();
        if ((b.kind != Kind::Mesh && b.kind != Kind::Topo) || b.hasChildren)
            return false;
        if (b.phase == Block::Vertices)
            return countOnly ? CountVertex(b) : QuickVertex(n, b, lead, content);
        return b.phase == Block::Faces && b.sawMaterial &&
               (countOnly ? CountFace(b, content) : QuickFace(n, b, lead, content));
    }

    bool CountVertex(Block& b)
    {
        b.step++;
        b.vertexCount++;
        figures.vertices++;
        return true;
    }

    // A face line by its number of fields: a vertex index, or one with two texture
    // coordinates, or with four; the rest is read in full.
    bool CountFace(Block& b, std::string_view content)
    {
        const size_t count = CountByte(content, ' ') + (content.ends_with(' ') ? 0 : 1);
        static constexpr size_t Triangle[] = {3, 9, 15}, Quad[] = {4, 12, 20};
        const bool quad = std::find(std::begin(Quad), std::end(Quad), count) != std::end(Quad);
        if (!quad && std::find(std::begin(Triangle), std::end(Triangle), count) == std::end(Triangle))
            return false;
        b.step++;
        (quad ? figures.quads : figures.triangles)++;
        return true;
    }

    bool QuickVertex(long n, Block& b, int lead, std::string_view content)
    {
        const char* p = content.data();
        const char* end = p + content.size();
        VekVector v;
        int width = 0; // of the first number
        for (size_t k = 0; k < 3; k++) {
            if (k > 0 && (p == end || *p++ != ' '))
                return false;
            const char* first = p;
            if (p = ScanNumber(p, end, v[k]); !p)
                return false;
            width = k == 0 ? int(p - first) : width;
        }
        if (p != end)
            return false;
        b.step++;
        CheckLead(n, b, lead, width < 4 ? 4 - width : 0);
        if (VekMesh* mesh = Body(b))
            mesh->vertices.push_back(v);
        b.vertexCount++;
        figures.vertices++;
        return true;
    }

    bool QuickFace(long n, Block& b, int lead, std::string_view content)
    {
        // The fields: whole numbers, of which the vertex indices have no sign.
        std::array<long long, 20> field;
        std::array<bool, 20> sign;
        size_t count = 0;
        const char* p = content.data();
        const char* end = p + content.size();
        bool trailing = false;
        while (p < end) {
            if (count == field.size())
                return false;
            sign[count] = *p == '-';
            p += sign[count];
            const char* first = p;
            long long v = 0;
            uint64_t run = 0;
            if (int n = end - p >= 8 ? ShortDigits(p, run) : 8; n < 8) {
                v = (long long)run;
                p += n;
            } else {
                for (; p < end && unsigned(*p - '0') < 10; p++)
                    v = std::min(v * 10 + (*p - '0'), 1LL << 40);
            }
            if (p == first || (p < end && *p != ' '))
                return false;
            field[count++] = v;
            trailing = p < end && ++p == end;
        }
        const size_t stride = count == 3 || count == 4     ? 1
                              : count == 9 || count == 12  ? 3
                              : count == 15 || count == 20 ? 5
                                                           : 0;
        if (stride == 0 || (stride > 1) != trailing)
            return false;
        const long long limit = b.vertexCount + (b.kind == Kind::Topo ? largestTopology : b.parentVertices);
        VekFace face;
        for (size_t k = 0, corner = 0; k < count; k += stride, corner++) {
            if (sign[k] || field[k] >= limit)
                return false;
            face.corners[corner] = int32_t(std::min<long long>(field[k], INT32_MAX));
        }
        b.step++;
        CheckLead(n, b, lead, 0);
        (count / stride == 4 ? figures.quads : figures.triangles)++;
        if (VekMesh* mesh = Body(b)) {
            face.material = b.faceMaterial;
            if (stride > 1 && (face.uv = UvStart(*mesh, b)) >= 0)
                for (size_t k = 0; k < count; k += stride)
                    for (size_t j = k + 1; j < k + 3; j++)
                        mesh->uvs.push_back(int32_t(std::min<long long>(field[j], INT32_MAX)) * (sign[j] ? -1 : 1));
            mesh->faces.push_back(face);
        }
        return true;
    }

    // Where the next face's texture coordinates go; -1, for none, when its material
    // has no texture to map with them (they are not kept), or once there are more than
    // an index can name.
    int32_t UvStart(const VekMesh& mesh, const Block& b) const
    {
        const bool mapped = b.faceMaterial >= 0 && !doc->materials[size_t(b.faceMaterial)].texture.empty();
        return mapped && mesh.uvs.size() < INT32_MAX / 2 ? int32_t(mesh.uvs.size()) : -1;
    }

    void Data(long n, int lead, std::string_view content)
    {
        if (QuickData(n, lead, content))
            return;
        Block& b = stack.back();
        std::vector<std::string_view>& t = words;
        Tokens(content, t);
        if (t.empty() && !((b.kind == Kind::Mesh || b.kind == Kind::Topo) && b.phase == Block::Faces)) {
            Add(n, "line holds only blanks");
            return;
        }
        if (b.hasChildren && b.kind != Kind::Anim) {
            Add(n, "line after the child blocks of " + Describe(b));
            return;
        }
        switch (b.kind) {
        case Kind::Shell:
            if (b.step == 0)
                Transform(n, b, lead, t);
            else
                Add(n, "unexpected line in " + Describe(b));
            break;
        case Kind::Light:
            if (b.step == 0) {
                Transform(n, b, lead, t);
            } else if (b.step == 1) {
                CheckLead(n, b, lead, 0);
                if (t.size() != 7 || t[0] != "type" || !IsHex6(t[1]) || !IsHex6(t[2]) || !IsHex6(t[3]) ||
                    !Number(t[4]) || !Number(t[5]) || !Number(t[6]))
                    Add(n, "light parameter line should be \"type\", three colours and three numbers");
                b.step = 2;
            } else {
                Add(n, "unexpected line in " + Describe(b));
            }
            break;
        case Kind::Camera:
            if (b.step == 0) {
                Transform(n, b, lead, t);
            } else if (b.step == 1) {
                CheckLead(n, b, lead, Padding(t[0]));
                if (t.size() != 4 || !Number(t[0]) || !Number(t[1]) || !IsInt(t[2]) || !IsInt(t[3])) {
                    Add(n, "camera projection line should hold two numbers and two integers");
                } else if (VekNode* node = ModelNode(b)) {
                    Number(t[0], node->focal);
                    node->halfWidth = float(ToLong(t[2]));
                }
                b.step = 2;
            } else if (b.step == 2) {
                CheckLead(n, b, lead, Padding(t[0]));
                if (t.size() != 3 || !AllNumbers(t))
                    Add(n, "camera range line should hold 3 numbers");
                b.step = 3;
            } else {
                Add(n, "unexpected line in " + Describe(b));
            }
            break;
        case Kind::Mesh:
        case Kind::Topo:
            MeshData(n, b, lead, content, t);
            break;
        case Kind::Anim:
            AnimData(n, b, lead, t);
            break;
        case Kind::Material:
            MaterialData(n, b, lead, content, t);
            break;
        }
        if (std::exchange(sawNonFinite, false))
            Add(n, "NaN or infinity where a number belongs: the engine cannot read it");
    }

    void MeshData(long n, Block& b, int lead, std::string_view content, const std::vector<std::string_view>& t)
    {
        if (b.kind == Kind::Mesh && b.step == 0) {
            Transform(n, b, lead, t);
            b.phase = Block::Header;
            return;
        }
        if (b.phase == Block::Header && content.rfind("topo ", 0) == 0) {
            b.phase = Block::References;
        }
        if (b.phase == Block::References) {
            CheckLead(n, b, lead, 0);
            std::string name(content.substr(std::min<size_t>(5, content.size())));
            auto it = topologies.find(name);
            if (content.rfind("topo ", 0) != 0)
                Add(n, "unexpected line after a topology reference");
            else if (it == topologies.end())
                Add(n, "reference to an unknown topology block \"" + name.substr(0, 80) + "\"");
            else
                Reference(b, it->second);
            b.step++;
            return;
        }
        if (b.phase == Block::Header)
            b.phase = Block::Vertices;
        b.step++;
        if (b.phase == Block::Vertices) {
            CheckLead(n, b, lead, Padding(t[0]));
            VekVector v{};
            if (t.size() != 3 || !AllNumbers(t, v.data()))
                Add(n, "vertex line should hold 3 numbers");
            if (VekMesh* mesh = Body(b))
                mesh->vertices.push_back(v);
            b.vertexCount++;
            figures.vertices++;
            return;
        }
        // After the empty line: material names and the faces that use them.
        if (t.size() <= 1) {
            CheckLead(n, b, lead, 0);
            std::string name(t.empty() ? std::string_view() : t[0]);
            auto it = materials.find(name);
            if (it == materials.end() && pendingMaterials.size() < CheckReport::MaxFindings)
                pendingMaterials.push_back({n, name});
            b.faceMaterial = it == materials.end() ? -1 : it->second;
            b.sawMaterial = true;
            return;
        }
        CheckLead(n, b, lead, 0);
        if (!b.sawMaterial)
            Add(n, "face line before any material line");
        size_t count = t.size(), stride;
        switch (count) {
        case 3:
        case 4:
            stride = 1;
            break;
        case 9:
        case 12:
            stride = 3;
            break;
        case 15:
        case 20:
            stride = 5;
            break;
        default:
            Add(n, "face line should hold 3 or 4 vertex indices, each with its texture coordinates when textured");
            return;
        }
        (count / stride == 4 ? figures.quads : figures.triangles)++;
        bool trailing = content.back() == ' ';
        if ((stride > 1) != trailing)
            Add(n, stride > 1 ? "textured face line should end with a blank" : "face line ends with a blank");
        long long limit = b.vertexCount + (b.kind == Kind::Topo ? largestTopology : b.parentVertices);
        VekFace face;
        // Each corner: its vertex index, then its texture coordinates.
        for (size_t k = 0, corner = 0; k < count; k += stride, corner++) {
            long long index = Index(t[k]);
            if (index < 0) {
                Add(n, "vertex index \"" + std::string(t[k].substr(0, 20)) + "\" is not a whole number");
                return;
            }
            face.corners[corner] = int32_t(std::min<long long>(index, INT32_MAX));
            if (index >= limit) {
                Add(n, "vertex index " + std::string(t[k].substr(0, 20)) + " beyond the " + std::to_string(limit) +
                           " vertices the face can use");
                return;
            }
            for (size_t j = k + 1; j < k + stride; j++)
                if (!IsInt(t[j])) {
                    Add(n, "texture coordinate \"" + std::string(t[j].substr(0, 20)) + "\" is not a whole number");
                    return;
                }
        }
        if (VekMesh* mesh = Body(b)) {
            face.material = b.faceMaterial;
            if (stride > 1 && (face.uv = UvStart(*mesh, b)) >= 0)
                for (size_t k = 0; k < count; k += stride)
                    for (size_t j = k + 1; j < k + 3; j++)
                        mesh->uvs.push_back(int32_t(std::clamp<long long>(ToLong(t[j]), -INT32_MAX, INT32_MAX)));
            mesh->faces.push_back(face);
        }
    }

    void Reference(Block& b, const Topology& topology)
    {
        b.vertexCount = topology.vertexCount;
        if (VekNode* node = ModelNode(b))
            node->mesh = topology.mesh;
    }

    void AnimData(long n, Block& b, int lead, const std::vector<std::string_view>& t)
    {
        if (b.hasChildren) {
            Add(n, "line after the child blocks of " + Describe(b));
            return;
        }
        CheckLead(n, b, lead, 0);
        if (b.step == 0) {
            if (t.size() != 2 || t[0] != "length" || !IsInt(t[1]))
                Add(n, "animation block should begin with \"length\" and a whole number");
            b.step = 1;
            return;
        }
        b.step++;
        size_t per;
        if (t[0] == "position") {
            if (b.sawRotation)
                Add(n, "position keys after the rotation keys");
            per = 4;
        } else if (t[0] == "rotation") {
            b.sawRotation = true;
            per = 5;
        } else {
            Add(n, "unexpected line in " + Describe(b));
            return;
        }
        size_t values = t.size() - 1;
        if (values % per != 0 || values / per > 8) {
            Add(n, std::string(t[0]) + " line should hold up to eight keys of a frame and " + std::to_string(per - 1) +
                       " numbers");
            return;
        }
        for (size_t k = 1; k < t.size(); k++)
            if (((k - 1) % per == 0) ? !IsInt(t[k]) : !Number(t[k])) {
                Add(n, "malformed key value \"" + std::string(t[k].substr(0, 20)) + "\"");
                return;
            }
    }

    void MaterialData(long n, Block& b, int lead, std::string_view content, const std::vector<std::string_view>& t)
    {
        CheckLead(n, b, lead, 0);
        std::string_view key = t[0];
        std::string_view rest = content.substr(std::min(content.size(), key.size() + 1));
        bool ok = true;
        int order;
        if (b.step == 0) {
            ok = key == "color" && t.size() == 2 && IsHex6(t[1]);
            if (!ok)
                Add(n, "material block should begin with \"color\" and six hexadecimal digits");
            else if (doc && b.model >= 0)
                doc->materials[size_t(b.model)].color = uint32_t(ToLong(t[1], 16));
            b.step = 1;
            return;
        }
        if (key == "texture") {
            order = 2;
            ok = !rest.empty();
            if (doc && b.model >= 0)
                doc->materials[size_t(b.model)].texture = rest;
        } else if (key == "texturebis") {
            order = 3;
            size_t cut = rest.rfind(' ');
            std::string_view amount = cut == std::string_view::npos ? rest : rest.substr(cut + 1);
            size_t dot = amount.find('.');
            ok = cut != std::string_view::npos && dot != std::string_view::npos && IsInt(amount.substr(0, dot)) &&
                 amount.size() - dot == 3 && Digits(amount.substr(dot + 1));
        } else if (key == "facecolor1" || key == "facecolor2") {
            order = key == "facecolor1" ? 4 : 5;
            ok = t.size() == 2 && IsHex6(t[1]);
        } else if (key == "type") {
            order = 6;
            ok = t.size() == 2 &&
                 (std::find(std::begin(MaterialFlags), std::end(MaterialFlags), t[1]) != std::end(MaterialFlags) ||
                  (t[1].rfind("TRANSPARENCY", 0) == 0 && IsInt(t[1].substr(12))));
        } else {
            Add(n, "unknown material line \"" + std::string(key.substr(0, 40)) + "\"");
            return;
        }
        if (!ok)
            Add(n, "malformed \"" + std::string(key) + "\" line");
        if (order < b.step || (order == b.step && order != 6))
            Add(n, "\"" + std::string(key) + "\" line out of order");
        b.step = std::max(b.step, order);
    }

    void Finish(long lastLine)
    {
        if (lastLine < 5)
            Add(lastLine, "the file ends inside its header");
        if (!stack.empty())
            CloseAll(0);
        if (!sawOk && !sawMarker)
            Add(lastLine, "no result marker (\"#EXPORT_OK\" or \"#ERROR_EXPORT_...\") at the end of the file");
        for (const auto& [line, name] : pendingMaterials)
            if (!materials.count(name))
                Add(line, "material \"" + name.substr(0, 80) + "\" has no material block");
        for (const Deferred& d : deferred)
            if (!(markerBits & (1 << d.marker)))
                Add(d.line, d.text);
    }
};

} // namespace

void CheckVekStream(std::FILE* in, const std::string& name, CheckReport& report, VekDocument* document)
{
    VekChecker checker(report, name, document);
    checker.Run(in);
}

void CountVekStream(std::FILE* in, const std::string& name, CheckReport& report)
{
    VekChecker checker(report, name, nullptr, true);
    checker.Run(in);
}

namespace {

// The file at path opened for reading; null, with a finding, when it cannot be, or is
// not a regular file: opening a pipe waits for a writer and a device may never end.
// A file that may be absent is, when absent, null without a finding.
std::FILE* OpenChecked(const std::string& path, CheckReport& report, bool mayBeAbsent = false)
{
    auto finding = [&](std::string why) {
        report.total++;
        report.findings.push_back({path, 0, std::move(why)});
        return nullptr;
    };
    struct stat st {};
    const bool found = stat(path.c_str(), &st) == 0;
    if (!found && mayBeAbsent && errno == ENOENT)
        return nullptr;
    if (found && !S_ISREG(st.st_mode))
        return finding("not a regular file: a directory, pipe or device is not read as a Vek file");
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return finding(std::string("cannot open the file: ") + std::strerror(errno));
    return f;
}

} // namespace

CheckReport CheckVekFile(const std::string& path, VekDocument* document)
{
    CheckReport report;
    std::FILE* f = OpenChecked(path, report);
    report.unreadable = !f;
    if (!f)
        return report;
    CheckVekStream(f, path, report, document);
    std::fclose(f);
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    std::string boxPath =
        path.substr(0, dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : path.size()) +
        ".box";
    if (std::FILE* b = OpenChecked(boxPath, report, true)) {
        CheckBoxStream(b, boxPath, report, document);
        std::fclose(b);
    }
    return report;
}

} // namespace vek
