// The shared topology blocks, one per representative node.
#include "plugin_test_util.h"
#include "scene_test_util.h"
#include "writers/TopologyWriter.h"

#include <cstring>

namespace vek::test {
namespace {

// Stands in for the mesh body so that the block structure is seen on its own: one
// line at the body's depth, and a failure for nodes named "Broken".
class MarkedBodyWriter : public TopologyWriter {
public:
    using TopologyWriter::TopologyWriter;
    ErrorFlags WriteMeshBody(INode* node) override
    {
        if (std::strcmp(node->GetName(), "Broken") == 0)
            return ERROR_GEOMETRY;
        WriteIndent(outFile, depth + 1);
        std::fprintf(outFile, "body of %s\n", node->GetName());
        return 0;
    }
};

struct Blocks {
    std::string text;
    ErrorFlags errors = 0;
};

Blocks WriteBlocks(const std::vector<std::string>& names, int depth, int indentation)
{
    LinkedModule();
    std::string nodes;
    for (const std::string& n : names)
        nodes += (nodes.empty() ? "" : ", ") + ("{\"name\": \"" + n + "\", \"object\": \"o\"}");
    auto scene = Load(SceneText(R"("o": {"type": "box"})", nodes));
    InstanceNodeList list;
    for (int k = 0; k < int(names.size()); k++) {
        INode* node = TopNode(*scene, k);
        list.Append(1, &node, 25);
    }
    MemoryFile out;
    MarkedBodyWriter writer(out.Get(), scene.get(), depth, list);
    writer.SetIndentation(indentation);
    Blocks b;
    b.errors = writer.Export(nullptr);
    b.text = out.Text();
    return b;
}

TEST(TopologyWriter, WithoutStreamWritesNothing)
{
    InstanceNodeList list;
    TopologyWriter writer(nullptr, nullptr, 0, list);
    EXPECT_EQ(writer.Export(nullptr), ERROR_TOPOLOGY);
}

TEST(TopologyWriter, EmptyListIsOneEmptyLine)
{
    Blocks b = WriteBlocks({}, 0, 1);
    EXPECT_EQ(b.text, "\n");
    EXPECT_EQ(b.errors, 0);
}

// The representative's name is written as the host gives it, blanks included, since
// the meshes' reference lines spell it that way.
TEST(TopologyWriter, OneBlockPerRepresentativeInListOrder)
{
    Blocks b = WriteBlocks({"Box01", "Big Rock", "Broken", "Sphere"}, 0, 1);
    EXPECT_EQ(b.errors, ERROR_GEOMETRY);
    EXPECT_EQ(b.text, "topo TOPO_Box01 {\n body of Box01\n}\n"
                      "topo TOPO_Big Rock {\n body of Big Rock\n}\n"
                      "topo TOPO_Broken {\n}\n"
                      "topo TOPO_Sphere {\n body of Sphere\n}\n"
                      "\n");
}

TEST(TopologyWriter, BlocksFollowDepthAndIndentation)
{
    EXPECT_EQ(WriteBlocks({"A"}, 2, 3).text, "      topo TOPO_A {\n         body of A\n      }\n\n");
    EXPECT_EQ(WriteBlocks({"A"}, 1, 0).text, "topo TOPO_A {\nbody of A\n}\n\n");
}

} // namespace
} // namespace vek::test
