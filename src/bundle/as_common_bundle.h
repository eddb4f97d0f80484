// The plug-in's typed bundle: values under narrow keys compared byte by byte, each bundle
// guarded by its own mutex so that several host threads may share one.
#pragma once

#include <atomic>
#include <mutex>

#include "abi/bundle.h"
#include "bundle/object_frame.h"
#include "bundle/value_store.h"

namespace tierlock {

class ASCommonBundle final
    : public Base::SmartUnknownImpl<ASCommonBundle, IASBundle, IID_IASBundle> {
  public:
    ASCommonBundle() noexcept = default;
    ~ASCommonBundle() = default;

    int32_t RK_CALL Clear() override;
    int32_t RK_CALL CopyTo(IASBundle* destination) override;
    int32_t RK_CALL PutInt(const char* key, uint32_t value) override;
    int32_t RK_CALL PutInt64(const char* key, uint32_t low, uint32_t high) override;
    int32_t RK_CALL PutString(const char* key, const char* value) override;
    int32_t RK_CALL PutWString(const char* key, const char16_t* value) override;
    int32_t RK_CALL PutBinary(const char* key, const void* data, int32_t size) override;
    int32_t RK_CALL GetInt(const char* key, uint32_t* value) override;
    int32_t RK_CALL GetInt64(const char* key, uint64_t* value) override;
    int32_t RK_CALL GetBinary(const char* key, void* buffer, int32_t* size) override;
    int32_t RK_CALL GetString(const char* key, char* buffer, uint32_t* size) override;
    int32_t RK_CALL GetWString(const char* key, char16_t* buffer, uint32_t* size) override;
    int32_t RK_CALL GetCount(uint32_t* count) override;
    int32_t RK_CALL GetKeys(char* buffer, uint32_t* size) override;
    int32_t RK_CALL GetType(const char* key, uint32_t* type) override;
    void* RK_DTOR_CALL ScalarDeletingDestructor(uint32_t flags) override;

    // A number as PutInt (RK_BUNDLE_INT, the low 32 bits) or PutInt64 (RK_BUNDLE_INT64) puts it.
    struct Number {
        const char* key;
        uint32_t type;
        uint64_t value;
    };
    // Leaves the bundle as putting each number in turn would, under one lock: a number whose
    // key already holds a value of its type is written over it in place, so a reused parameter
    // set takes its new values without a new entry or a lock per value. A batch equal to the
    // last one, on a bundle nothing changed since, is already in place and takes no lock at
    // all; keys are told apart by address there, so a batch's keys must be constant texts and
    // the caller the bundle's only holder (as with the parameter pool). The first failing
    // put's status, else RK_S_OK.
    int32_t PutNumbers(const Number* numbers, size_t count) noexcept;

    // For the parameter pool: the references held right now, and a number that changes
    // whenever a key is added or the bundle is cleared.
    uint32_t HeldReferences() const noexcept { return m_refCount.load(std::memory_order_acquire); }
    uint32_t KeySetVersion() const noexcept {
        return m_keySetVersion.load(std::memory_order_acquire);
    }
    // The version when the pool took the bundle back; only the bundle's owner of the moment
    // touches it, and handing the bundle over through the pool orders those touches.
    uint32_t pooledKeySetVersion = 0;

  private:
    // The entry's kind is its type code.
    using Store = SortedValueStore<char, ExactKeys>;

    int32_t Put(const char* key, uint32_t type, const void* data, size_t size);
    // Called under the lock by every operation that changes the bundle.
    void Changed(bool keySetChanged) noexcept;
    int32_t GetFixed(const char* key, uint32_t type, void* value, uint32_t size);
    template <class Size>
    int32_t GetSized(const char* key, uint32_t type, void* buffer, Size* size);

    std::mutex m_mutex;
    Store m_entries;
    // Where the i-th number of the last batch was found; later numbers of a batch are put anew.
    static constexpr size_t kBatchHints = 16;
    size_t m_batchHints[kBatchHints] = {};
    // Written under the lock, read without it.
    std::atomic<uint32_t> m_keySetVersion{0};
    std::atomic<uint32_t> m_changes{0};
    // The last batch that left every number in place, and the change count right after it;
    // only the bundle's holder of the moment touches them.
    static constexpr size_t kRememberedNumbers = 8;
    Number m_lastBatch[kRememberedNumbers] = {};
    size_t m_lastBatchCount = 0;
    uint32_t m_lastBatchChanges = 0;
    bool m_lastBatchKnown = false;
};

}  // namespace tierlock
