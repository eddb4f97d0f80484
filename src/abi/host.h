// Every host interface the plug-in calls, each operation at its fixed table position, and the
// ids under which the host serves them.
#pragma once

#include <cstdint>

#include "abi/base.h"

// Objects the plug-in implements and hands to the host (declared in abi/bundle.h).
struct IASBundle;
struct IRkBundle;
struct IRKScanItem;

struct IRkRuleEvent;
struct IRkRuleTarget;

// Host objects with a reference count: add, drop, query, in that order (not COM's order).
struct IRkUnknown {
    virtual uint32_t RK_CALL AddRef() = 0;                                      // 1
    virtual uint32_t RK_CALL Release() = 0;                                     // 2
    virtual int32_t RK_CALL QueryInterface(const RkGuid* iid, void** out) = 0;  // 3

  protected:
    ~IRkUnknown() = default;
};

struct IRkFramework : IRkUnknown {
    RK_PLACEHOLDER(4)
    RK_PLACEHOLDER(5)
    RK_PLACEHOLDER(6)
    RK_PLACEHOLDER(7)
    RK_PLACEHOLDER(8)
    RK_PLACEHOLDER(9)
    RK_PLACEHOLDER(10)
    RK_PLACEHOLDER(11)
    RK_PLACEHOLDER(12)
    RK_PLACEHOLDER(13)
    virtual bool RK_CALL PopWnd(IRkRuleEvent* event, int32_t mode, int32_t* answer) = 0;  // 14
    RK_PLACEHOLDER(15)
    RK_PLACEHOLDER(16)
    RK_PLACEHOLDER(17)
    RK_PLACEHOLDER(18)
    RK_PLACEHOLDER(19)
    // A null text probes whether lines of that level are wanted (0 = wanted).
    virtual int32_t RK_CALL Log(const char16_t* text, int32_t level) = 0;  // 20

  protected:
    ~IRkFramework() = default;
};

// Services of slots 4..13 that the plug-in never calls.
#define RK_PLACEHOLDERS_4_TO_13 \
    RK_PLACEHOLDER(4)           \
    RK_PLACEHOLDER(5)           \
    RK_PLACEHOLDER(6)           \
    RK_PLACEHOLDER(7)           \
    RK_PLACEHOLDER(8)           \
    RK_PLACEHOLDER(9)           \
    RK_PLACEHOLDER(10)          \
    RK_PLACEHOLDER(11)          \
    RK_PLACEHOLDER(12)          \
    RK_PLACEHOLDER(13)

// Process-information cache, IID_IRKCACHE.
struct IRKCache : IRkUnknown {
    RK_PLACEHOLDERS_4_TO_13
    RK_PLACEHOLDER(14)
    virtual bool RK_CALL QueryFileInfo(IASBundle* bundle) = 0;  // 15

  protected:
    ~IRKCache() = default;
};

// Cloud engine; the item count travels in params under "ItemCount".
struct IRKEngCloudV2 : IRkUnknown {
    RK_PLACEHOLDERS_4_TO_13
    virtual bool RK_CALL QueryItemList(IRKScanItem** items, IASBundle* params) = 0;  // 14

  protected:
    ~IRKEngCloudV2() = default;
};

// Anti-false-positive (trust) query, first version.
struct IRKMisKillingQuery : IRkUnknown {
    RK_PLACEHOLDERS_4_TO_13
    virtual bool RK_CALL IsCanSkipReport(const char16_t* path, int32_t subLevel, int32_t reserved,
                                         uint8_t* skip, uint32_t* matchType) = 0;  // 14

  protected:
    ~IRKMisKillingQuery() = default;
};

// Anti-false-positive (trust) query, second version.
struct IRKMisKillingQuery_V2 : IRkUnknown {
    RK_PLACEHOLDERS_4_TO_13
    RK_PLACEHOLDER(14)
    virtual bool RK_CALL IsCanSkipReport(const char16_t* path, IASBundle* params, uint8_t* skip,
                                         uint32_t* matchType) = 0;  // 15

  protected:
    ~IRKMisKillingQuery_V2() = default;
};

// Process tree. Lookups hand out a root offset that holds a reference until ReleaseRoot.
struct IRKProcTreeV3Ctrl : IRkUnknown {
    RK_PLACEHOLDERS_4_TO_13
    RK_PLACEHOLDER(14)
    RK_PLACEHOLDER(15)
    RK_PLACEHOLDER(16)
    RK_PLACEHOLDER(17)
    virtual bool RK_CALL FindNodeByPid(uint32_t pid, const uint64_t* createTime, uint32_t* root,
                                       uint32_t* node) = 0;  // 18
    virtual bool RK_CALL GetParentNode(uint32_t pid, const uint64_t* createTime, uint32_t* root,
                                       uint32_t* node) = 0;  // 19
    RK_PLACEHOLDER(20)
    RK_PLACEHOLDER(21)
    virtual bool RK_CALL GetChainNodes(uint32_t pid, const uint64_t* createTime, uint32_t* root,
                                       uint32_t* node) = 0;  // 22
    virtual bool RK_CALL SetNodeProperty(uint32_t pid, const uint64_t* createTime, const char* name,
                                         const void* data,
                                         uint32_t size) = 0;  // 23
    RK_PLACEHOLDER(24)
    RK_PLACEHOLDER(25)
    virtual void RK_CALL ReleaseRoot(uint32_t root) = 0;  // 26

  protected:
    ~IRKProcTreeV3Ctrl() = default;
};

struct IRKProcessTreeHelperCtrl : IRkUnknown {
    RK_PLACEHOLDERS_4_TO_13
    virtual bool RK_CALL GetNodePtr(uint32_t root, uint32_t node, uint32_t* nodePtr) = 0;  // 14
    virtual bool RK_CALL GetChildNodePtr(uint32_t root, uint32_t node, uint32_t nodePtr,
                                         uint32_t index, uint32_t* child) = 0;  // 15
    virtual bool RK_CALL GetNodePid(uint32_t root, uint32_t node, uint32_t nodePtr,
                                    uint32_t* pid) = 0;  // 16
    virtual bool RK_CALL GetNodePPid(uint32_t root, uint32_t node, uint32_t nodePtr,
                                     uint32_t* ppid) = 0;  // 17
    virtual bool RK_CALL GetNodePath(uint32_t root, uint32_t node, uint32_t nodePtr,
                                     char16_t* buffer, uint32_t* length) = 0;  // 18
    virtual bool RK_CALL GetNodeCreateTime(uint32_t root, uint32_t node, uint32_t nodePtr,
                                           uint64_t* time) = 0;  // 19
    virtual bool RK_CALL GetChildCount(uint32_t root, uint32_t node, uint32_t nodePtr,
                                       uint32_t* count) = 0;  // 20
    RK_PLACEHOLDER(21)
    virtual bool RK_CALL GetNodeProperty(uint32_t root, uint32_t node, uint32_t nodePtr,
                                         const char* name, void* buffer,
                                         uint32_t* size) = 0;  // 22

  protected:
    ~IRKProcessTreeHelperCtrl() = default;
};

// Event-side objects: borrowed for one call, never referenced or released by the plug-in.
struct IRkRuleEvent {
    virtual void* RK_CALL GetRecord() = 0;                                      // 1
    virtual int32_t RK_CALL AttachBundle(int32_t kind, IRkBundle* bundle) = 0;  // 2

  protected:
    ~IRkRuleEvent() = default;
};

struct IRkRuleEngine {
    virtual int32_t RK_CALL GetTargetV2(const RkGuid* iid, IRkRuleTarget** out) = 0;  // 1

  protected:
    ~IRkRuleEngine() = default;
};

struct IRkRuleTarget {
    virtual IASBundle* RK_CALL GetBundle() = 0;                              // 1
    virtual void* RK_CALL GetItem(const char16_t* path, uint32_t type) = 0;  // 2
    virtual const char16_t* RK_CALL GetDstPath() = 0;                        // 3
    virtual const char16_t* RK_CALL GetSrcPath() = 0;                        // 4
    RK_PLACEHOLDER(5)
    virtual int32_t RK_CALL GetSrcFileLevel() = 0;                                       // 6
    virtual int32_t RK_CALL GetSrcFileSubLevel() = 0;                                    // 7
    virtual int32_t RK_CALL GetDstFileLevel() = 0;                                       // 8
    virtual int32_t RK_CALL GetDstFileSubLevel() = 0;                                    // 9
    virtual int32_t RK_CALL GetGuardType() = 0;                                          // 10
    virtual int32_t RK_CALL GetOperatorType() = 0;                                       // 11
    virtual int32_t RK_CALL GetProperty(uint32_t id, void* buffer, uint32_t* size) = 0;  // 12

  protected:
    ~IRkRuleTarget() = default;
};

// Found through the 64-bit value stored in the target's bundle.
struct IRKProcessTreeCache {
    RK_PLACEHOLDER(1)
    RK_PLACEHOLDER(2)
    RK_PLACEHOLDER(3)
    RK_PLACEHOLDERS_4_TO_13
    virtual bool RK_CALL GetProcessInfo(uint32_t pid, const uint64_t* createTime,
                                        void* record544) = 0;  // 14
    virtual bool RK_CALL GetProcessValue(uint32_t pid, const uint64_t* createTime, const char* name,
                                         void* value,
                                         uint32_t* size) = 0;  // 15
    virtual bool RK_CALL SetProcessValue(uint32_t pid, const uint64_t* createTime, const char* name,
                                         const void* data, uint32_t size,
                                         uint32_t reserved) = 0;  // 16
    RK_PLACEHOLDER(17)
    RK_PLACEHOLDER(18)
    RK_PLACEHOLDER(19)
    virtual bool RK_CALL GetProcessChain(uint32_t pid, uint32_t reserved, void* records,
                                         uint32_t* count) = 0;  // 20

  protected:
    ~IRKProcessTreeCache() = default;
};

// Interface ids of the host services and objects.
inline constexpr RkGuid IID_IRKCACHE = {
    0x70FFED92, 0x811D, 0x427B, {0x93, 0x34, 0x60, 0x29, 0x2E, 0x22, 0x66, 0xA4}};
inline constexpr RkGuid IID_IRKEngCloudV2 = {
    0x3FA87E4E, 0x7FA8, 0x4AFB, {0x9B, 0xDA, 0x79, 0x70, 0xE4, 0xEB, 0xAD, 0x90}};
inline constexpr RkGuid IID_IRKMisKillingQuery_V2 = {
    0x43B6D9FC, 0x90A0, 0x4C5C, {0x8C, 0x31, 0xC3, 0x7C, 0xD3, 0xA0, 0x5E, 0x5B}};
inline constexpr RkGuid IID_IRKMisKillingQuery = {
    0xB85A4655, 0x84C3, 0x4DE1, {0x83, 0x85, 0x0C, 0x1F, 0x82, 0x7C, 0xE7, 0x6C}};
inline constexpr RkGuid IID_IRKProcTreeV3Ctrl = {
    0x6288C17D, 0x9C84, 0x49AB, {0xA5, 0x2E, 0xAF, 0x80, 0x51, 0x31, 0x48, 0x91}};
inline constexpr RkGuid IID_IRKProcessTreeHelperCtrl = {
    0xE9BB9516, 0x1D52, 0x4023, {0x82, 0x43, 0xFE, 0xD3, 0xAA, 0x35, 0x7E, 0x2D}};
inline constexpr RkGuid IID_IRkRuleTarget = {
    0xE4FA2813, 0x5A34, 0x49A0, {0x8E, 0x27, 0x26, 0x0E, 0xBD, 0x2C, 0x11, 0xCF}};
