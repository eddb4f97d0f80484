// A root offset that a tree lookup hands out holds the host's tree until it is given back.
// Internal to this folder.
#pragma once

#include <cstdint>
#include <utility>

#include "abi/host.h"

namespace tierlock {

class HeldTreeRoot {
  public:
    explicit HeldTreeRoot(IRKProcTreeV3Ctrl* tree) : m_tree(tree) {}
    ~HeldTreeRoot() { Release(); }
    HeldTreeRoot(const HeldTreeRoot&) = delete;
    HeldTreeRoot& operator=(const HeldTreeRoot&) = delete;

    // Where the lookup writes the root offset; whatever non-zero value lands there is held.
    uint32_t* Receive() {
        Release();
        return &m_root;
    }
    uint32_t Get() const { return m_root; }

    void Release() {
        if (m_root != 0) {
            m_tree->ReleaseRoot(std::exchange(m_root, 0));
        }
    }

  private:
    IRKProcTreeV3Ctrl* m_tree;
    uint32_t m_root = 0;
};

}  // namespace tierlock
