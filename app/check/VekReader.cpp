#include "check/VekReader.h"
#include "check/Fields.h"
#include "check/Findings.h"
#include "check/LineReader.h"
#include "export/ResultMarkers.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace vek {

namespace {

constexpr int GeometryMarker = FindResultMarker("#ERROR_EXPORT_GEOM3D");
constexpr int LightMarker = FindResultMarker("#ERROR_EXPORT_LIGHT");

constexpr const char* MaterialFlags[] = {"GOURAUD",  "FLAT",         "LIGHT",  "NOLIGHT",
                                         "TEXTURED", "TEXTURED_BIS", "COLOR1", "COLOR2"};
static_assert(std::size(MaterialFlags) == 8);

// The kinds of block, in the order of VekReader::Kinds.
enum class Kind { Shell, Mesh, Light, Camera, Material, Topo, Anim };

struct KindRow;

struct Block {
    const KindRow* row;
    int lead;
    std::string name;
    long line;
    int step = 0; // data lines seen
    enum Phase { Header, Vertices, Faces, References } phase = Header;
    long long vertexCount = 0;
    long long parentVertices = 0;
    bool sawMaterial = false;
    bool sawRotation = false;
    bool hasChildren = false;
    long long vertexLines = 0, quads = 0, triangles = 0; // told when it closes
    bool loose = false;                                  // an animation block standing in for its node's block
    bool unknown = false; // of an unknown keyword: followed as a shell to balance its braces
};

// The texture coordinates of a face line split into words: those after each vertex
// index, the larger than an int can hold cut to it.
class WordUvs final : public FaceUvs {
public:
    WordUvs(const std::vector<std::string_view>& w, size_t s) : words(w), stride(s) {}
    void Read(std::array<int32_t, 8>& uvs) const override
    {
        for (size_t k = 0, uv = 0; k < words.size() && uv < uvs.size(); k += stride)
            for (size_t j = k + 1; j < k + 3; j++)
                uvs[uv++] = static_cast<int32_t>(std::clamp<long long>(ToLong(words[j]), -INT32_MAX, INT32_MAX));
    }

private:
    const std::vector<std::string_view>& words;
    size_t stride;
};

// The texture coordinates of a face line read as the exporter writes it: its fields'
// values and signs.
class FieldUvs final : public FaceUvs {
public:
    FieldUvs(const std::array<long long, 20>& f, const std::array<bool, 20>& s, size_t c, size_t st)
        : field(f), sign(s), count(c), stride(st)
    {
    }
    void Read(std::array<int32_t, 8>& uvs) const override
    {
        for (size_t k = 0, uv = 0; k < count && uv < uvs.size(); k += stride)
            for (size_t j = k + 1; j < k + 3; j++)
                uvs[uv++] = static_cast<int32_t>(std::min<long long>(field[j], INT32_MAX)) * (sign[j] ? -1 : 1);
    }

private:
    const std::array<long long, 20>& field;
    const std::array<bool, 20>& sign;
    size_t count, stride;
};

class VekReader;
using Opening = void (VekReader::*)(long n, Block& b, Block* parent);
using DataLine = void (VekReader::*)(long n, Block& b, int lead, std::string_view content);
using Completion = void (VekReader::*)(const Block& b);

// Everything the reader knows of a kind of block: what the consumers are told, what
// its findings call it, the line it must begin with, and how its placement, its lines
// and its end are checked.
struct KindRow {
    Kind kind;
    BlockKind is;
    const char* noun;  // in findings: "light block without ..."
    const char* first; // the line it must hold first, for "without its ... line"; null when checked otherwise
    Opening open;
    DataLine data;
    Completion complete; // null when only the first line is required
};

class VekReader {
public:
    VekReader(ConsumerList& consumers, bool skimming)
        : to(consumers), skim(skimming), geometry(consumers.TakesGeometry())
    {
    }

    void Run(std::FILE* in)
    {
        LineReader r(in);
        while (r.Next()) {
            if (LineEndFindings(r, to))
                Line(r.number, r.line);
            if (r.number == HeaderProbe && !sawVersion)
                return to.NotVek();
        }
        if (r.number > 0 && r.number < HeaderProbe && !sawVersion)
            return to.NotVek();
        Finish(r.number);
    }

    static const KindRow Kinds[]; // defined below, in the order of Kind
    static constexpr size_t KindCount = 7;

private:
    ConsumerList& to;
    bool skim;     // vertex and face lines counted, their numbers not read
    bool geometry; // whether a consumer takes the Vertex and Face events
    std::vector<Block> stack;
    std::vector<std::string_view> words; // of the current line
    int size = -1;                       // blanks per nesting level, once known
    enum Section { Materials, Topologies, Nodes, Results } section = Materials;
    int emptyLines = 0;
    bool legacy = false;
    bool sawNonFinite = false;                             // among the numbers of the current line
    std::unordered_map<std::string, long long> topologies; // name -> vertex count
    long long largestTopology = 0;

    // A file of another kind (a model, a picture, a text) would give a finding on
    // nearly every line: once its first lines show that it is no Vek file at all,
    // that is its only finding, and the rest is not read. The third or fourth line of
    // a Vek file, however damaged the rest of its header, is one of its version lines.
    static constexpr long HeaderProbe = 4;
    bool sawVersion = false; // among the first HeaderProbe lines

    void Add(long line, const std::string& text) { to.Finding(line, text); }

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

    static std::string Describe(const Block& b)
    {
        return std::string("\"") + b.row->is.keyword + " " + b.name + "\" (line " + std::to_string(b.line) + ")";
    }
    static bool Is(const Block& b, Kind k) { return b.row->kind == k; }
    static bool IsNode(const Block& b) { return b.row->is.role == BlockKind::Role::Node; }
    static bool HasBody(const Block& b) { return Is(b, Kind::Mesh) || Is(b, Kind::Topo); }

    BlockEvent Event(const Block& b) const
    {
        return {b.unknown ? nullptr : &b.row->is, b.name, b.line, b.vertexLines, b.quads, b.triangles};
    }

    // A vertex or face line of b, counted in it (the figures are told when it closes:
    // one event for each line costs more than the rest of the count).
    void Vertex(Block& b, const VekVector& v)
    {
        b.vertexLines++;
        if (geometry)
            to.Vertex(v);
    }
    void Face(Block& b, const FaceEvent& f)
    {
        (f.quad ? b.quads : b.triangles)++;
        if (geometry)
            to.Face(f);
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
        if (n <= 5)
            return Header(n, line);
        const int lead = static_cast<int>(std::min(line.find_first_not_of(' '), line.size()));
        const std::string_view content = line.substr(static_cast<size_t>(lead));
        if (section == Results)
            return Marker(n, line);
        if (lead == 0 && !content.empty() && content[0] == '#') {
            CloseAll(n);
            section = Results;
            return Marker(n, line);
        }
        if (line.empty())
            return EmptyLine(n);
        if (content == "}")
            return Close(n, lead);
        if (content == "BONE") {
            if (lead != 0)
                Add(n, "\"BONE\" must start at the beginning of the line");
            section = Nodes;
            return;
        }
        if (content.size() >= 2 && content.substr(content.size() - 2) == " {")
            return Open(n, lead, content);
        if (stack.empty())
            return Add(n, "line outside any block");
        Data(n, lead, content);
    }

    void Marker(long n, std::string_view line)
    {
        if (line == EXPORT_OK_MARKER)
            return to.Marker(n, -1);
        for (int k = 0; k < static_cast<int>(std::size(resultMarkers)); k++)
            if (line == resultMarkers[k].text)
                return to.Marker(n, k);
        Add(n, "unknown line after the result markers: \"" + std::string(line.substr(0, 60)) + "\"");
    }

    void EmptyLine(long n)
    {
        if (!stack.empty()) {
            Block& b = stack.back();
            const bool body =
                b.phase == Block::Vertices || (Is(b, Kind::Mesh) && b.step > 0 && b.phase == Block::Header);
            if (HasBody(b) && body && !b.hasChildren) {
                b.phase = Block::Faces;
                return;
            }
            return Add(n, "unexpected empty line in " + Describe(b));
        }
        if (section == Nodes || ++emptyLines > 2)
            Add(n, "unexpected empty line between blocks");
        if (section == Materials && emptyLines == 1)
            section = Topologies;
    }

    // The lead a line one level inside b has, given the padding of its first field.
    bool CheckLead(long n, const Block& b, int lead, int padding)
    {
        if (Is(b, Kind::Material) || b.loose)
            return lead == 1 + padding || Misplaced(n, lead, 1 + padding, padding);
        if (size < 0) {
            size = lead - padding - b.lead;
            if (size < 0 || size > 64) {
                Add(n, "indentation does not match the nesting");
                size = -1;
                return false;
            }
            return true;
        }
        const int expected = b.lead + size + padding;
        return lead == expected || Misplaced(n, lead, expected, padding);
    }

    // The finding of a line indented otherwise than expected; false.
    bool Misplaced(long n, int lead, int expected, int padding)
    {
        if (padding > 0 && lead == expected - padding) {
            // The line stands where its block puts it; only the blanks that widen a
            // short first number to its field are missing.
            Add(n, "first number narrower than its field of 4 characters, and not padded to it with blanks");
            return false;
        }
        Add(n, "indented by " + std::to_string(lead) + " blanks, expected " + std::to_string(expected));
        return false;
    }

    // ---- blocks ----

    void Open(long n, int lead, std::string_view content)
    {
        const std::string_view head = content.substr(0, content.size() - 2);
        const size_t space = head.find(' ');
        const std::string_view keyword = head.substr(0, space);
        std::string name(space == std::string_view::npos ? std::string_view() : head.substr(space + 1));
        const KindRow* row = nullptr;
        for (size_t k = 0; k < KindCount; k++)
            if (keyword == Kinds[k].is.keyword)
                row = &Kinds[k];
        if (!row) {
            Add(n, "unknown block keyword \"" + std::string(keyword.substr(0, 40)) + "\"");
            Block b{&Kinds[static_cast<int>(Kind::Shell)], lead, std::move(name), n};
            b.step = 1;
            b.unknown = true;
            to.BlockOpened(Event(b));
            stack.push_back(std::move(b));
            return;
        }
        Block b{row, lead, std::move(name), n};
        to.BlockOpened(Event(b));
        (this->*row->open)(n, b, stack.empty() ? nullptr : &stack.back());
        stack.push_back(std::move(b));
    }

    // Materials and topologies stand at the top of the file, before the nodes.
    void OpenTopLevel(long n, const Block& b, const Block* parent)
    {
        if (parent)
            Add(n, std::string("\"") + b.row->is.keyword + "\" blocks stand at the top level, not inside " +
                       Describe(*parent));
        else if (b.lead != 0)
            Add(n, std::string("\"") + b.row->is.keyword + "\" block must start at the beginning of the line");
    }

    void OpenMaterial(long n, Block& b, Block* parent)
    {
        OpenTopLevel(n, b, parent);
        if (section != Materials)
            Add(n, "material block after the material section");
    }

    void OpenTopology(long n, Block& b, Block* parent)
    {
        OpenTopLevel(n, b, parent);
        if (legacy)
            Add(n, "topology block in a file of Vek version 1");
        if (section == Nodes)
            Add(n, "topology block after the node blocks");
        if (b.name.rfind("TOPO_", 0) != 0)
            Add(n, "topology block name should begin with \"TOPO_\"");
        section = Topologies;
        b.phase = Block::Vertices;
    }

    void OpenAnimation(long n, Block& b, Block* parent)
    {
        if (parent && Is(*parent, Kind::Mesh) && !parent->loose) {
            if (size >= 0 && b.lead != parent->lead + size)
                Add(n, "indented by " + std::to_string(b.lead) + " blanks, expected " +
                           std::to_string(parent->lead + size));
            parent->hasChildren = true;
        } else if (b.lead == 0) {
            b.loose = true; // the animation of a node written without its geometry
            if (parent)
                parent->hasChildren = true;
        } else {
            Add(n, "animation block outside a mesh block");
        }
        section = Nodes;
    }

    void OpenNode(long n, Block& b, Block* parent)
    {
        section = Nodes;
        const std::string misplaced =
            "indentation does not match the nesting (indented by " + std::to_string(b.lead) + " blanks)";
        if (!parent) {
            if (size > 0 && b.lead % size != 0)
                Add(n, misplaced);
            return;
        }
        if (!IsNode(*parent) && !parent->loose)
            Add(n, std::string("\"") + b.row->is.keyword + "\" block inside " + Describe(*parent));
        const int base = parent->loose ? 0 : parent->lead;
        if (size >= 0 && (b.lead < base + size || (size > 0 && (b.lead - base) % size != 0)))
            Add(n, misplaced);
        parent->hasChildren = true;
        if (Is(b, Kind::Mesh) && Is(*parent, Kind::Mesh))
            b.parentVertices = parent->vertexCount;
    }

    void Close(long n, int lead)
    {
        if (stack.empty())
            return Add(n, "closing brace without an open block");
        const Block& b = stack.back();
        if (!b.loose && lead != b.lead)
            Add(n, "closing brace indented by " + std::to_string(lead) + " blanks, its block " + Describe(b) + " by " +
                       std::to_string(b.lead));
        if (b.row->first && b.step == 0)
            Add(b.line, std::string(b.row->noun) + " block without its " + b.row->first + " line");
        else if (b.row->complete)
            (this->*b.row->complete)(b);
        if (Is(b, Kind::Topo)) {
            topologies[b.name] = b.vertexCount;
            largestTopology = std::max(largestTopology, b.vertexCount);
        }
        to.BlockClosed(Event(b));
        stack.pop_back();
    }

    // What a block must hold by its end, beyond its first line.
    void CompleteMesh(const Block& b)
    {
        if (b.phase == Block::Header)
            to.Explained(GeometryMarker, b.line, "mesh block without vertices, faces or topology reference");
        else if (b.phase == Block::Vertices)
            Add(b.line, "mesh block without the empty line that ends its vertices");
    }
    void CompleteTopology(const Block& b)
    {
        if (b.phase == Block::Vertices && b.step == 0)
            to.Explained(GeometryMarker, b.line, "topology block without vertices or faces");
        else if (b.phase == Block::Vertices)
            Add(b.line, "topology block without the empty line that ends its vertices");
    }
    void CompleteLight(const Block& b)
    {
        if (b.step == 1)
            to.Explained(LightMarker, b.line, "light block without its parameter line");
    }
    void CompleteCamera(const Block& b)
    {
        if (b.step < 3)
            Add(b.line, "camera block without its " + std::string(b.step == 0 ? "transform" : "projection and range") +
                            " lines");
    }

    // The blocks still open when the markers begin (n > 0) or the file ends.
    void CloseAll(long n)
    {
        for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
            Add(it->line, Describe(*it) + " is not closed" + (n ? " before the result markers" : ""));
            to.BlockClosed(Event(*it));
        }
        stack.clear();
    }

    void Finish(long lastLine)
    {
        if (lastLine < 5)
            Add(lastLine, "the file ends inside its header");
        if (!stack.empty())
            CloseAll(0);
        to.End(lastLine);
    }

    // ---- the lines inside blocks ----

    // Kept out of Run, whose loop over the lines then stays small: measurably faster.
    [[gnu::noinline]] void Data(long n, int lead, std::string_view content)
    {
        if (QuickData(n, lead, content))
            return;
        Block& b = stack.back();
        Tokens(content, words);
        if (words.empty() && !(HasBody(b) && b.phase == Block::Faces))
            return Add(n, "line holds only blanks");
        if (b.hasChildren && !Is(b, Kind::Anim))
            return Add(n, "line after the child blocks of " + Describe(b));
        (this->*b.row->data)(n, b, lead, content);
        if (std::exchange(sawNonFinite, false))
            Add(n, "NaN or infinity where a number belongs: the engine cannot read it");
    }

    void Transform(long n, Block& b, int lead)
    {
        const std::vector<std::string_view>& t = words;
        CheckLead(n, b, lead, Padding(t[0]));
        std::array<float, 7> numbers{};
        if (t.size() != 7 || !AllNumbers(t, numbers.data()))
            Add(n, "transform line should hold 7 numbers");
        else
            to.Transform(numbers);
        b.step = 1;
    }

    void ShellData(long n, Block& b, int lead, std::string_view /*content*/)
    {
        if (b.step == 0)
            Transform(n, b, lead);
        else
            Add(n, "unexpected line in " + Describe(b));
    }

    void LightData(long n, Block& b, int lead, std::string_view /*content*/)
    {
        const std::vector<std::string_view>& t = words;
        if (b.step == 0)
            return Transform(n, b, lead);
        if (b.step != 1)
            return Add(n, "unexpected line in " + Describe(b));
        CheckLead(n, b, lead, 0);
        if (t.size() != 7 || t[0] != "type" || !IsHex6(t[1]) || !IsHex6(t[2]) || !IsHex6(t[3]) || !Number(t[4]) ||
            !Number(t[5]) || !Number(t[6]))
            Add(n, "light parameter line should be \"type\", three colours and three numbers");
        b.step = 2;
    }

    void CameraData(long n, Block& b, int lead, std::string_view /*content*/)
    {
        const std::vector<std::string_view>& t = words;
        if (b.step == 0)
            return Transform(n, b, lead);
        if (b.step > 2)
            return Add(n, "unexpected line in " + Describe(b));
        CheckLead(n, b, lead, Padding(t[0]));
        if (b.step == 1) {
            float focal = 0;
            if (t.size() != 4 || !Number(t[0], focal) || !Number(t[1]) || !IsInt(t[2]) || !IsInt(t[3]))
                Add(n, "camera projection line should hold two numbers and two integers");
            else
                to.Projection(focal, static_cast<float>(ToLong(t[2])));
        } else if (t.size() != 3 || !AllNumbers(t)) {
            Add(n, "camera range line should hold 3 numbers");
        }
        b.step++;
    }

    void AnimData(long n, Block& b, int lead, std::string_view /*content*/)
    {
        const std::vector<std::string_view>& t = words;
        if (b.hasChildren)
            return Add(n, "line after the child blocks of " + Describe(b));
        CheckLead(n, b, lead, 0);
        if (b.step == 0) {
            if (t.size() != 2 || t[0] != "length" || !IsInt(t[1]))
                Add(n, "animation block should begin with \"length\" and a whole number");
            b.step = 1;
            return;
        }
        b.step++;
        size_t per = 0;
        if (t[0] == "position") {
            if (b.sawRotation)
                Add(n, "position keys after the rotation keys");
            per = 4;
        } else if (t[0] == "rotation") {
            b.sawRotation = true;
            per = 5;
        } else {
            return Add(n, "unexpected line in " + Describe(b));
        }
        const size_t values = t.size() - 1;
        if (values % per != 0 || values / per > 8)
            return Add(n, std::string(t[0]) + " line should hold up to eight keys of a frame and " +
                              std::to_string(per - 1) + " numbers");
        for (size_t k = 1; k < t.size(); k++)
            if (((k - 1) % per == 0) ? !IsInt(t[k]) : !Number(t[k]))
                return Add(n, "malformed key value \"" + std::string(t[k].substr(0, 20)) + "\"");
    }

    // A material line's place among the others (the "type" lines may repeat), and
    // whether it is well formed; 0 for an unknown key.
    int MaterialLineOrder(std::string_view key, std::string_view rest, bool& ok) const
    {
        const std::vector<std::string_view>& t = words;
        if (key == "texture") {
            ok = !rest.empty();
            return 2;
        }
        if (key == "texturebis") {
            const size_t cut = rest.rfind(' ');
            const std::string_view amount = cut == std::string_view::npos ? rest : rest.substr(cut + 1);
            const size_t dot = amount.find('.');
            ok = cut != std::string_view::npos && dot != std::string_view::npos && IsInt(amount.substr(0, dot)) &&
                 amount.size() - dot == 3 && Digits(amount.substr(dot + 1));
            return 3;
        }
        if (key == "facecolor1" || key == "facecolor2") {
            ok = t.size() == 2 && IsHex6(t[1]);
            return key == "facecolor1" ? 4 : 5;
        }
        if (key == "type") {
            ok = t.size() == 2 &&
                 (std::find(std::begin(MaterialFlags), std::end(MaterialFlags), t[1]) != std::end(MaterialFlags) ||
                  (t[1].rfind("TRANSPARENCY", 0) == 0 && IsInt(t[1].substr(12))));
            return 6;
        }
        return 0;
    }

    void MaterialData(long n, Block& b, int lead, std::string_view content)
    {
        const std::vector<std::string_view>& t = words;
        CheckLead(n, b, lead, 0);
        const std::string_view key = t[0];
        const std::string_view rest = content.substr(std::min(content.size(), key.size() + 1));
        if (b.step == 0) {
            if (key != "color" || t.size() != 2 || !IsHex6(t[1]))
                Add(n, "material block should begin with \"color\" and six hexadecimal digits");
            else
                to.MaterialLine(key, t[1]);
            b.step = 1;
            return;
        }
        bool ok = true;
        const int order = MaterialLineOrder(key, rest, ok);
        if (order == 0)
            return Add(n, "unknown material line \"" + std::string(key.substr(0, 40)) + "\"");
        if (ok)
            to.MaterialLine(key, rest);
        else
            Add(n, "malformed \"" + std::string(key) + "\" line");
        if (order < b.step || (order == b.step && order != 6))
            Add(n, "\"" + std::string(key) + "\" line out of order");
        b.step = std::max(b.step, order);
    }

    // ---- mesh and topology bodies ----

    // The vertices a face of b can name: its own, and those of the parent it is merged
    // with (a topology may be merged with any mesh that uses one).
    long long FaceLimit(const Block& b) const
    {
        return b.vertexCount + (Is(b, Kind::Topo) ? largestTopology : b.parentVertices);
    }

    void MeshData(long n, Block& b, int lead, std::string_view content)
    {
        if (Is(b, Kind::Mesh) && b.step == 0) {
            Transform(n, b, lead);
            b.phase = Block::Header;
            return;
        }
        if (b.phase == Block::Header && content.rfind("topo ", 0) == 0)
            b.phase = Block::References;
        if (b.phase == Block::References)
            return ReferenceLine(n, b, lead, content);
        if (b.phase == Block::Header)
            b.phase = Block::Vertices;
        b.step++;
        if (b.phase == Block::Vertices)
            return VertexLine(n, b, lead);
        // After the empty line: material names and the faces that use them.
        if (words.size() <= 1)
            return MaterialName(n, b, lead);
        FaceLine(n, b, lead, content);
    }

    void ReferenceLine(long n, Block& b, int lead, std::string_view content)
    {
        CheckLead(n, b, lead, 0);
        const std::string name(content.substr(std::min<size_t>(5, content.size())));
        const auto it = topologies.find(name);
        if (content.rfind("topo ", 0) != 0) {
            Add(n, "unexpected line after a topology reference");
        } else if (it == topologies.end()) {
            Add(n, "reference to an unknown topology block \"" + name.substr(0, 80) + "\"");
        } else {
            b.vertexCount = it->second;
            to.TopologyReference(name);
        }
        b.step++;
    }

    void VertexLine(long n, Block& b, int lead)
    {
        CheckLead(n, b, lead, Padding(words[0]));
        VekVector v{};
        if (words.size() != 3 || !AllNumbers(words, v.data()))
            Add(n, "vertex line should hold 3 numbers");
        Vertex(b, v);
        b.vertexCount++;
    }

    void MaterialName(long n, Block& b, int lead)
    {
        CheckLead(n, b, lead, 0);
        to.FaceMaterial(n, words.empty() ? std::string_view() : words[0]);
        b.sawMaterial = true;
    }

    void FaceLine(long n, Block& b, int lead, std::string_view content)
    {
        const std::vector<std::string_view>& t = words;
        CheckLead(n, b, lead, 0);
        if (!b.sawMaterial)
            Add(n, "face line before any material line");
        const size_t count = t.size();
        const size_t stride = count == 3 || count == 4     ? 1
                              : count == 9 || count == 12  ? 3
                              : count == 15 || count == 20 ? 5
                                                           : 0;
        if (stride == 0)
            return Add(n,
                       "face line should hold 3 or 4 vertex indices, each with its texture coordinates when textured");
        FaceEvent face;
        face.quad = count / stride == 4;
        if ((stride > 1) != (content.back() == ' '))
            Add(n, stride > 1 ? "textured face line should end with a blank" : "face line ends with a blank");
        face.usable = FaceCorners(n, FaceLimit(b), stride, face);
        const WordUvs uvs(words, stride);
        face.uvs = face.usable && stride > 1 ? &uvs : nullptr;
        Face(b, face);
    }

    // Each corner of a face line: its vertex index, then its texture coordinates, into
    // `face`; false, with a finding, at the first that is not usable.
    bool FaceCorners(long n, long long limit, size_t stride, FaceEvent& face)
    {
        const std::vector<std::string_view>& t = words;
        for (size_t k = 0, corner = 0; k < t.size(); k += stride, corner++) {
            const long long index = Index(t[k]);
            if (index < 0) {
                Add(n, "vertex index \"" + std::string(t[k].substr(0, 20)) + "\" is not a whole number");
                return false;
            }
            face.corners[corner] = static_cast<int32_t>(std::min<long long>(index, INT32_MAX));
            if (index >= limit) {
                Add(n, "vertex index " + std::string(t[k].substr(0, 20)) + " beyond the " + std::to_string(limit) +
                           " vertices the face can use");
                return false;
            }
            for (size_t j = k + 1; j < k + stride; j++)
                if (!IsInt(t[j])) {
                    Add(n, "texture coordinate \"" + std::string(t[j].substr(0, 20)) + "\" is not a whole number");
                    return false;
                }
        }
        return true;
    }

    // ---- the lines as the exporter writes them ----

    // The vertex and face lines that make the bulk of a file, read in one pass without
    // splitting them into words first. Only a line as the exporter writes it (fields
    // one blank apart, every one well formed, every index in range) is taken here, with
    // the same checks and events as in MeshData; whatever else is left to Data.
    bool QuickData(long n, int lead, std::string_view content)
    {
        Block& b = stack.back();
        if (!HasBody(b) || b.hasChildren)
            return false;
        if (b.phase == Block::Vertices)
            return skim ? SkimVertex(b) : QuickVertex(n, b, lead, content);
        return b.phase == Block::Faces && b.sawMaterial &&
               (skim ? SkimFace(b, content) : QuickFace(n, b, lead, content));
    }

    bool SkimVertex(Block& b)
    {
        b.step++;
        b.vertexCount++;
        Vertex(b, {});
        return true;
    }

    // A face line by its number of fields: a vertex index, or one with two texture
    // coordinates, or with four; the rest is read in full.
    bool SkimFace(Block& b, std::string_view content)
    {
        const size_t count = CountByte(content, ' ') + (content.ends_with(' ') ? 0 : 1);
        static constexpr size_t Triangle[] = {3, 9, 15}, Quad[] = {4, 12, 20};
        FaceEvent face;
        face.quad = std::find(std::begin(Quad), std::end(Quad), count) != std::end(Quad);
        if (!face.quad && std::find(std::begin(Triangle), std::end(Triangle), count) == std::end(Triangle))
            return false;
        b.step++;
        Face(b, face);
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
            width = k == 0 ? static_cast<int>(p - first) : width;
        }
        if (p != end)
            return false;
        b.step++;
        CheckLead(n, b, lead, width < 4 ? 4 - width : 0);
        Vertex(b, v);
        b.vertexCount++;
        return true;
    }

    // The fields of a face line as the exporter writes them: whole numbers one blank
    // apart, of which the vertex indices have no sign. Their count, 0 when the line is
    // not such a line, and whether it ends with a blank.
    static size_t QuickFields(std::string_view content, std::array<long long, 20>& field, std::array<bool, 20>& sign,
                              bool& trailing)
    {
        size_t count = 0;
        const char* p = content.data();
        const char* end = p + content.size();
        bool blank = false; // kept apart from `trailing` until the end: a store to `sign` may be one to it
        while (p < end) {
            if (count == field.size())
                return 0;
            const bool negative = *p == '-';
            sign[count] = negative;
            p += negative;
            const char* first = p;
            long long v = 0;
            uint64_t run = 0;
            if (const int digits = end - p >= 8 ? ShortDigits(p, run) : 8; digits < 8) {
                v = static_cast<long long>(run);
                p += digits;
            } else {
                for (; p < end && static_cast<unsigned>(*p - '0') < 10; p++)
                    v = std::min(v * 10 + (*p - '0'), 1LL << 40);
            }
            if (p == first || (p < end && *p != ' '))
                return 0;
            field[count++] = v;
            blank = p < end && ++p == end;
        }
        trailing = blank;
        return count;
    }

    bool QuickFace(long n, Block& b, int lead, std::string_view content)
    {
        std::array<long long, 20> field;
        std::array<bool, 20> sign;
        bool trailing = false;
        const size_t count = QuickFields(content, field, sign, trailing);
        const size_t stride = count == 3 || count == 4     ? 1
                              : count == 9 || count == 12  ? 3
                              : count == 15 || count == 20 ? 5
                                                           : 0;
        if (stride == 0 || (stride > 1) != trailing)
            return false;
        const long long limit = FaceLimit(b);
        FaceEvent face;
        for (size_t k = 0, corner = 0; k < count; k += stride, corner++) {
            if (sign[k] || field[k] >= limit)
                return false;
            face.corners[corner] = static_cast<int32_t>(std::min<long long>(field[k], INT32_MAX));
        }
        b.step++;
        CheckLead(n, b, lead, 0);
        face.quad = count / stride == 4;
        face.usable = true;
        const FieldUvs uvs(field, sign, count, stride);
        face.uvs = stride > 1 ? &uvs : nullptr;
        Face(b, face);
        return true;
    }
};

const KindRow VekReader::Kinds[] = {
    {Kind::Shell,
     {"shell", BlockKind::Role::Node, VekNode::Kind::Shell, "shells", "shell", "shells"},
     "shell",
     "transform",
     &VekReader::OpenNode,
     &VekReader::ShellData,
     nullptr},
    {Kind::Mesh,
     {"mesh", BlockKind::Role::Node, VekNode::Kind::Mesh, "meshes", "mesh", "meshes"},
     "mesh",
     "transform",
     &VekReader::OpenNode,
     &VekReader::MeshData,
     &VekReader::CompleteMesh},
    {Kind::Light,
     {"colorlight", BlockKind::Role::Node, VekNode::Kind::Light, "lights", "light", "lights"},
     "light",
     "transform",
     &VekReader::OpenNode,
     &VekReader::LightData,
     &VekReader::CompleteLight},
    {Kind::Camera,
     {"camera", BlockKind::Role::Node, VekNode::Kind::Camera, "cameras", "camera", "cameras"},
     "camera",
     nullptr,
     &VekReader::OpenNode,
     &VekReader::CameraData,
     &VekReader::CompleteCamera},
    {Kind::Material,
     {"material", BlockKind::Role::Material, VekNode::Kind::Shell, "materials", "material", "materials"},
     "material",
     "\"color\"",
     &VekReader::OpenMaterial,
     &VekReader::MaterialData,
     nullptr},
    {Kind::Topo,
     {"topo", BlockKind::Role::Topology, VekNode::Kind::Shell, "topologies", "topology block", "topology blocks"},
     "topology",
     nullptr,
     &VekReader::OpenTopology,
     &VekReader::MeshData,
     &VekReader::CompleteTopology},
    {Kind::Anim,
     {"anim", BlockKind::Role::Animation, VekNode::Kind::Shell, "animations", "animation", "animations"},
     "animation",
     "length",
     &VekReader::OpenAnimation,
     &VekReader::AnimData,
     nullptr},
};
static_assert(std::size(VekReader::Kinds) == VekReader::KindCount);

} // namespace

void ReadVek(std::FILE* in, ConsumerList& to, bool skim) { VekReader(to, skim).Run(in); }

std::vector<const BlockKind*> BlockKinds()
{
    std::vector<const BlockKind*> kinds;
    for (const KindRow& row : VekReader::Kinds)
        kinds.push_back(&row.is);
    return kinds;
}

} // namespace vek
