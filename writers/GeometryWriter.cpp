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
    KeyList(TextBuffer& out, std::string prefix) : out(out), prefix(std::move(prefix))
    {
        out.Text(this->prefix.data(), this->prefix.size());
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
                out.Spaces((long long)indentSize * (depth + 1));
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
    const CStr name = FormatNameKeepingBlanks(node->GetName());
    // Without geometry the animation block stands in the place of the node's block,
    // in column 0, with its lines one blank in; the node pass closes it.
    const std::string lineStart =
        exportGeometry ? std::string(size_t(std::max(0, indentSize * (depth + 2))), ' ') : " ";
    if (exportGeometry)
        out.Spaces((long long)indentSize * (depth + 1));
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
    out.Int(FrameOf((long long)range.End() - range.Start()));
    out.Char('\n');

    if (numPositions > 0) {
        const Class_ID cls = position->ClassID();
        KeyList list(out, lineStart + GetText(IDS_POSITION) + " ");
        for (int i = 0; i < numPositions; i++) {
            TimeValue t = position->GetKeyTime(i);
            out.Int(FrameOf(t));
            out.Char(' ');
            Point3 value;
            if (cls == Class_ID(TCBINTERP_POSITION_CLASS_ID, 0)) {
                ITCBPoint3Key key;
                positionKeys->GetKey(i, &key);
                value = key.val;
            } else if (cls == Class_ID(HYBRIDINTERP_POSITION_CLASS_ID, 0)) {
                IBezPoint3Key key;
                positionKeys->GetKey(i, &key);
                value = key.val;
            } else if (cls == Class_ID(LININTERP_POSITION_CLASS_ID, 0)) {
                ILinPoint3Key key;
                positionKeys->GetKey(i, &key);
                value = key.val;
            } else {
                // A key of a class we cannot read: the value the node has at the
                // key's time, which is what an interpolating controller holds there.
                value = LocalPosition(node, t);
                result |= ERROR_ANIMATION;
            }
            out.Fixed(FiniteValue(value.x), 10);
            out.Char(' ');
            out.Fixed(FiniteValue(value.z), 10);
            out.Char(' ');
            out.Fixed(FiniteValue(value.y), 10);
            out.Char(' ');
            list.KeyDone();
        }
        list.End();
    }

    if (numRotations > 0) {
        const Class_ID cls = rotation->ClassID();
        KeyList list(out, lineStart + GetText(IDS_ROTATION) + " ");
        Quat running; // identity
        for (int i = 0; i < numRotations; i++) {
            out.Int(FrameOf(rotation->GetKeyTime(i)));
            out.Char(' ');
            Quat q;
            if (cls == Class_ID(TCBINTERP_ROTATION_CLASS_ID, 0)) {
                ITCBRotKey key;
                rotationKeys->GetKey(i, &key);
                q = Quat(key.val);
            } else if (cls == Class_ID(HYBRIDINTERP_ROTATION_CLASS_ID, 0)) {
                IBezQuatKey key;
                rotationKeys->GetKey(i, &key);
                q = key.val;
            } else if (cls == Class_ID(LININTERP_ROTATION_CLASS_ID, 0)) {
                ILinRotKey key;
                rotationKeys->GetKey(i, &key);
                q = key.val;
            } else {
                result |= ERROR_ANIMATION;
            }
            float angle;
            Point3 axis;
            AngAxisFromQ(q, &angle, axis);
            // The engine's axes: the host's y and z change places.
            double s = std::sin(double(angle) * 0.5), c = std::cos(double(angle) * 0.5);
            Quat k(axis.x * s, axis.z * s, axis.y * s, c);
            running = k * running;
            out.Fixed(FiniteValue(running.x), 6);
            out.Char(' ');
            out.Fixed(FiniteValue(running.y), 6);
            out.Char(' ');
            out.Fixed(FiniteValue(running.z), 6);
            out.Char(' ');
            out.Fixed(FiniteValue(running.w), 6);
            out.Char(' ');
            list.KeyDone();
        }
        list.End();
    }

    if (exportGeometry) {
        out.Spaces((long long)indentSize * (depth + 1));
        out.Text("}\n");
    }
    return result;
}
