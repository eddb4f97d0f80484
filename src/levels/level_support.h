// Small pieces the level resolvers share: a held tree root, the image path of a cache record
// and the levels that decide whether a trust question is worth asking.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "abi/host.h"
#include "abi/records.h"

namespace tierlock {

// The level a trust correction lifts a file to; such a file needs no question.
inline constexpr int32_t kTrustedLevel = 10;
// The level of files the host already knows to be bad.
inline constexpr int32_t kBlackLevel = 70;
// A sub-level the host has settled.
inline constexpr int32_t kSettledSubLevel = 3;

// The record's image path up to its terminator, never past the field: a host record need not
// be terminated.
inline std::u16string ImagePathOf(const RkProcessInfoRecord& record) {
    constexpr size_t kUnits = sizeof(record.imagePath) / sizeof(record.imagePath[0]);
    size_t length = 0;
    while (length < kUnits && record.imagePath[length] != u'\0') {
        ++length;
    }
    return std::u16string(record.imagePath, length);
}

// A root offset that a tree lookup hands out holds the host's tree until it is given back.
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

    // Gives the tree back early, before a slow query runs.
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
