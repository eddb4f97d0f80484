#include "testsupport/shared_tree.h"

#include "proctree/proc_tree_helper.h"

namespace testsupport {

simhost::ProcessTree& SharedProcessTree() {
    static simhost::ProcessTree* tree = [] {
        auto* made = new simhost::ProcessTree();
        tierlock::rkProcTreeHelper::GetInstance()->init(made->ctrl(), made->helper());
        return made;
    }();
    return *tree;
}

}  // namespace testsupport
