// Creation and initialisation of the process-wide helper.
#include <atomic>

#include "log/log.h"
#include "platform/critical_section.h"
#include "proctree/proc_tree_helper.h"

namespace tierlock {
namespace {

std::atomic<rkProcTreeHelper*> g_procTreeHelper{nullptr};

}  // namespace

rkProcTreeHelper* rkProcTreeHelper::GetInstance() {
    rkProcTreeHelper* instance = g_procTreeHelper.load(std::memory_order_acquire);
    if (instance) {
        return instance;
    }
    platform::ZmLockerGuard guard(platform::ProcessLocker());
    instance = g_procTreeHelper.load(std::memory_order_acquire);
    if (!instance) {
        // Lives until the process ends: event threads may still be using it at unload.
        instance = new rkProcTreeHelper();
        g_procTreeHelper.store(instance, std::memory_order_release);
    }
    return instance;
}

bool rkProcTreeHelper::init(IRKProcTreeV3Ctrl* procTree, IRKProcessTreeHelperCtrl* helperCtrl) {
    // Serialised so that two plug-in objects starting at once cannot both store their pair.
    platform::ZmLockerGuard guard(platform::ProcessLocker());
    if (m_bInit.load(std::memory_order_acquire)) {
        return true;
    }
    if (procTree && helperCtrl) {
        m_pProcTree.Assign(procTree);
        m_pHelperCtrl.Assign(helperCtrl);
        m_bInit.store(true, std::memory_order_release);
        return true;
    }
    Log(LogLevel::Error, "rkProcTreeHelper::init", u"输入错误");
    return false;
}

}  // namespace tierlock
