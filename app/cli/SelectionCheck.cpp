#include "cli/SelectionCheck.h"

#include "cli/AppError.h"

#include <vector>

namespace vek {

namespace {

bool AnySelected(INode* root)
{
    // Iterative: a hierarchy may be deep.
    std::vector<INode*> pending{root};
    while (!pending.empty()) {
        INode* node = pending.back();
        pending.pop_back();
        if (node != root && node->Selected() == 1)
            return true;
        for (int c = 0; c < node->NumberOfChildren(); c++)
            pending.push_back(node->GetChildNode(c));
    }
    return false;
}

} // namespace

void CheckSelection(Scene& scene, const std::string& file)
{
    if (!scene.HoldsSelection())
        throw AppError("a model file records no selection: --selected-only has nothing to export", file);
    if (!AnySelected(scene.GetRootNode()))
        Tell(Warning("no node is selected: --selected-only exports none of them", file));
}

} // namespace vek
