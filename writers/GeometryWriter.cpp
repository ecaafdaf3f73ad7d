#include "writers/GeometryWriter.h"

#include "plugin/Plugin.h"
#include "resources/resource.h"
#include "writers/TextBuffer.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

// The frame of a tick count: an integer division truncating toward zero, in 64 bits
// so that no tick count or frame rate can overflow it.
long long FrameOf(long long ticks)
{
    long long perFrame = GetTicksPerFrame();
    return perFrame != 0 ? ticks / perFrame : 0;
}

// The node's position relative to its parent at time t: what a position controller
// holds at that time.
Point3 LocalPosition(INode* node, TimeValue t)
{
    Matrix3 tm = node->GetNodeTM(t);
    INode* parent = node->GetParentNode();
    if (parent)
        tm = tm * Inverse(parent->GetNodeTM(t));
    return tm.GetTrans();
}

// A key list line by line: the prefix, then eight keys a line.
class KeyList {
public:
    KeyList(TextBuffer& buffer, std::string start) : out(buffer), prefix(std::move(start))
    {
        out.Text(prefix.data(), prefix.size());
    }
    void KeyDone()
    {
        if (++onLine > 7) {
            onLine = 0;
            out.Char('\n');
            out.Text(prefix.data(), prefix.size());
        }
    }
    void End() { out.Char('\n'); }

private:
    TextBuffer& out;
    std::string prefix;
    int onLine = 0;
};

// The value of key i of `keys`, read as a key of type Key.
template <typename Key, typename Value> void ReadKeyValue(IKeyControl* keys, int i, Value& value)
{
    Key key;
    keys->GetKey(i, &key);
    value = Value(key.val);
}

// Key i of a position controller of class cls; false, value untouched, for a class
// whose keys cannot be read.
bool ReadPositionKey(const Class_ID& cls, IKeyControl* keys, int i, Point3& value)
{
    if (cls == Class_ID(TCBINTERP_POSITION_CLASS_ID, 0))
        ReadKeyValue<ITCBPoint3Key>(keys, i, value);
    else if (cls == Class_ID(HYBRIDINTERP_POSITION_CLASS_ID, 0))
        ReadKeyValue<IBezPoint3Key>(keys, i, value);
    else if (cls == Class_ID(LININTERP_POSITION_CLASS_ID, 0))
        ReadKeyValue<ILinPoint3Key>(keys, i, value);
    else
        return false;
    return true;
}

// Key i of a rotation controller of class cls; false, q untouched, for a class whose
// keys cannot be read. TCB keys hold an angle and axis, the others a quaternion.
bool ReadRotationKey(const Class_ID& cls, IKeyControl* keys, int i, Quat& q)
{
    if (cls == Class_ID(TCBINTERP_ROTATION_CLASS_ID, 0))
        ReadKeyValue<ITCBRotKey>(keys, i, q);
    else if (cls == Class_ID(HYBRIDINTERP_ROTATION_CLASS_ID, 0))
        ReadKeyValue<IBezQuatKey>(keys, i, q);
    else if (cls == Class_ID(LININTERP_ROTATION_CLASS_ID, 0))
        ReadKeyValue<ILinRotKey>(keys, i, q);
    else
        return false;
    return true;
}

// The rotation q about the engine's axes: the host's y and z change places.
Quat InEngineAxes(const Quat& q)
{
    float angle;
    Point3 axis;
    AngAxisFromQ(q, &angle, axis);
    double s = std::sin(double(angle) * 0.5), c = std::cos(double(angle) * 0.5);
    return Quat(axis.x * s, axis.z * s, axis.y * s, c);
}

} // namespace

GeometryWriter::GeometryWriter(FILE* file, Interface* i, int d, InstanceNodeList nodes)
    : MeshWriter(file, i, d, std::move(nodes))
{
}

void GeometryWriter::SetTopology(BOOL topology) { exportTopology = topology; }

void GeometryWriter::SetAnimation(BOOL animation) { exportAnimation = animation; }

void GeometryWriter::SetGeometry(BOOL geometry) { exportGeometry = geometry; }

void GeometryWriter::SetInstanceIndex(const InstanceIndex* index) { instanceIndex = index; }

ErrorFlags GeometryWriter::Export(INode* node)
{
    if (!outFile || !node)
        return ERROR_GEOMETRY;
    ErrorFlags result = 0;
    if (exportGeometry) {
        WriteNodeHeader(IDS_MESH, node);
        if (exportTopology && !legacyFormat) {
            Object* ref = node->GetObjectRef();
            TextBuffer out(outFile);
            auto reference = [&](INode* shared) {
                out.Spaces(static_cast<long long>(indentSize) * (depth + 1));
                out.Text(GetText(IDS_TOPO));
                out.Text(" TOPO_");
                // The representative's name, spelt as the topology block's.
                CStr name = FormatNameKeepingBlanks(shared->GetName());
                out.Text(name.data(), size_t(name.Length()));
                out.Char('\n');
            };
            if (instanceIndex) {
                // The list holds each object once: the index finds the same entry.
                auto found = instanceIndex->find(ref);
                if (found != instanceIndex->end() && found->second)
                    reference(found->second);
            } else {
                for (int k = 0; k < instanceNodes.Count(); k++)
                    if (instanceNodes[k] && instanceNodes[k]->GetObjectRef() == ref)
                        reference(instanceNodes[k]);
            }
        } else {
            result = WriteMeshBody(node);
        }
    }
    if (exportAnimation)
        result |= WriteAnimation(node);
    return result;
}

ErrorFlags GeometryWriter::WriteAnimation(INode* node)
{
    Control* tm = node->GetTMController();
    Control* position = tm ? tm->GetPositionController() : nullptr;
    Control* rotation = tm ? tm->GetRotationController() : nullptr;
    IKeyControl* positionKeys = position ? GetKeyControlInterface(position) : nullptr;
    IKeyControl* rotationKeys = rotation ? GetKeyControlInterface(rotation) : nullptr;
    if (!positionKeys && !rotationKeys)
        return 0;
    const int numPositions = positionKeys ? positionKeys->GetNumKeys() : 0;
    const int numRotations = rotationKeys ? rotationKeys->GetNumKeys() : 0;
    if (numPositions <= 0 && numRotations <= 0)
        return 0;

    ErrorFlags result = 0;
    TextBuffer out(outFile);
    const std::string lineStart = OpenAnimationBlock(out, node);
    if (numPositions > 0)
        result |= WritePositionKeys(out, node, position, positionKeys, numPositions, lineStart);
    if (numRotations > 0)
        result |= WriteRotationKeys(out, rotation, rotationKeys, numRotations, lineStart);
    if (exportGeometry) {
        out.Spaces(static_cast<long long>(indentSize) * (depth + 1));
        out.Text("}\n");
    }
    return result;
}

std::string GeometryWriter::OpenAnimationBlock(TextBuffer& out, INode* node)
{
    const CStr name = FormatNameKeepingBlanks(node->GetName());
    // Without geometry the animation block stands in the place of the node's block,
    // in column 0, with its lines one blank in; the node pass closes it.
    std::string lineStart = exportGeometry ? std::string(size_t(std::max(0, indentSize * (depth + 2))), ' ') : " ";
    if (exportGeometry)
        out.Spaces(static_cast<long long>(indentSize) * (depth + 1));
    else
        blockOpened = true;
    out.Text(GetText(IDS_ANIM));
    out.Char(' ');
    out.Text(name.data(), size_t(name.Length()));
    out.Text(" {\n");

    Interval range = ip ? ip->GetAnimRange() : Interval(0, 0);
    out.Text(lineStart.data(), lineStart.size());
    out.Text(GetText(IDS_LENGTH));
    out.Char(' ');
    out.Int(FrameOf(static_cast<long long>(range.End()) - range.Start()));
    out.Char('\n');
    return lineStart;
}

ErrorFlags GeometryWriter::WritePositionKeys(TextBuffer& out, INode* node, Control* position, IKeyControl* keys,
                                             int count, const std::string& lineStart)
{
    ErrorFlags result = 0;
    const Class_ID cls = position->ClassID();
    KeyList list(out, lineStart + GetText(IDS_POSITION) + " ");
    for (int i = 0; i < count; i++) {
        TimeValue t = position->GetKeyTime(i);
        out.Int(FrameOf(t));
        out.Char(' ');
        Point3 value;
        if (!ReadPositionKey(cls, keys, i, value)) {
            // A key of a class we cannot read: the value the node has at the key's
            // time, which is what an interpolating controller holds there.
            value = LocalPosition(node, t);
            result |= ERROR_ANIMATION;
        }
        const float xzy[3] = {value.x, value.z, value.y};
        for (float v : xzy) {
            out.Fixed(FiniteValue(v), 10);
            out.Char(' ');
        }
        list.KeyDone();
    }
    list.End();
    return result;
}

ErrorFlags GeometryWriter::WriteRotationKeys(TextBuffer& out, Control* rotation, IKeyControl* keys, int count,
                                             const std::string& lineStart)
{
    ErrorFlags result = 0;
    const Class_ID cls = rotation->ClassID();
    KeyList list(out, lineStart + GetText(IDS_ROTATION) + " ");
    Quat running; // identity
    for (int i = 0; i < count; i++) {
        out.Int(FrameOf(rotation->GetKeyTime(i)));
        out.Char(' ');
        Quat q;
        if (!ReadRotationKey(cls, keys, i, q))
            result |= ERROR_ANIMATION;
        running = InEngineAxes(q) * running;
        const float xyzw[4] = {running.x, running.y, running.z, running.w};
        for (float v : xyzw) {
            out.Fixed(FiniteValue(v), 6);
            out.Char(' ');
        }
        list.KeyDone();
    }
    list.End();
    return result;
}
