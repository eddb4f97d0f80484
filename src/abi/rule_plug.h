// The plug-in interface as the host sees it: eight operations, no destructor entry, then two
// data members that the plug-in leaves empty and false.
#pragma once

#include <string>

#include "abi/host.h"

struct IRkRulePlug {
    virtual bool RK_CALL Init(IRkFramework* pFramework, const char* config,
                              int32_t configLength) = 0;                        // 1
    virtual void RK_CALL UnInit() = 0;                                          // 2
    virtual void RK_CALL SetEnable(int32_t key, bool enable) = 0;               // 3
    virtual int32_t RK_CALL FirstProcessEvent(void* event, void* ruleEng) = 0;  // 4
    virtual int32_t RK_CALL PreProcessEvent(void* event, void* ruleEng) = 0;    // 5
    virtual int32_t RK_CALL PostProcessEvent(void* event, void* ruleEng) = 0;   // 6
    virtual int32_t RK_CALL LastProcessEvent(IRkRuleEvent* event,
                                             IRkRuleEngine* ruleEng) = 0;                 // 7
    virtual bool RK_CALL AfterProcessEvent(void* event, void* ruleEng, void* extra) = 0;  // 8

    std::string m_interfaceText;
    bool m_interfaceFlag = false;

  protected:
    ~IRkRulePlug() = default;
};

// {B607A471-B190-4466-A6E0-618174089D16}, the only id CreatePlugObjectV2 accepts.
inline constexpr RkGuid IID_IRkRulePlug = {
    0xB607A471, 0xB190, 0x4466, {0xA6, 0xE0, 0x61, 0x81, 0x74, 0x08, 0x9D, 0x16}};

// The two exports, undecorated cdecl.
using CreatePlugObjectV2Fn = bool (*)(const RkGuid* iid, IRkRulePlug** out);
using ReleasePlugObjectV2Fn = void (*)(IRkRulePlug* plug);
