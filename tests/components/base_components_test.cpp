// The host's base components as the plug-in finds them: only when already loaded, each
// object made once, the digest text component tried again until it exists.
#include <string>
#include <thread>
#include <vector>

#include "components_fixture.h"

namespace {

using tierlock::components::NUVComponents;

const std::string kCreateLoader = "create F73595D8-C098-4549\n";
const std::string kCreateHolm = "create 427FB576-CFB6-4786\n";
const std::string kCreateServices =
    "create 62C4D866-AC50-4A39\ncreate DCBDC082-7349-4FB8\ncreate 52203844-735C-447B\n"
    "create FC588690-8589-4EDA\n";
const std::string kAskModuleBase = "GetModule module.base\n";
const std::string kCreateBaseComponent = "create 0DC96F71-3DB7-4EBE\n";

std::u16string HexText(IBaseComponent* component, std::initializer_list<uint8_t> bytes) {
    const std::vector<uint8_t> data(bytes);
    char16_t buffer[IBaseComponent::kHexTextChars] = {};
    EXPECT_EQ(component->BytesToHexText(data.data(), static_cast<uint32_t>(data.size()), 0, buffer),
              RK_S_OK);
    return buffer;
}

TEST(BaseComponents, NothingLoadedGivesAnEmptyHolderAndNoComponent) {
    LoadedComponents loaded;
    NUVComponents components;
    INUVLoader** holder = components.GetCompatLoader();
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(*holder, nullptr);
    EXPECT_EQ(components.GetCompatLoader(), holder);
    EXPECT_EQ(components.GetBaseComponent(), nullptr);
    EXPECT_EQ(components.GetBaseComponent(), nullptr);
}

TEST(BaseComponents, LoaderComesOnceFromTheWin32Component) {
    LoadedComponents loaded;
    loaded.Load(u"NUVBase.win32.dll");
    {
        NUVComponents components;
        INUVLoader** holder = components.GetCompatLoader();
        ASSERT_NE(*holder, nullptr);
        EXPECT_EQ(components.GetCompatLoader(), holder);
        EXPECT_EQ(loaded.Log(), kCreateLoader);
        // The base services come from other components.
        EXPECT_EQ(components.GetBaseComponent(), nullptr);
        EXPECT_EQ(loaded.Log(), kCreateLoader);
    }
    EXPECT_EQ(loaded.LiveObjects(), 0);
}

TEST(BaseComponents, ServicesInOrderThenTheDigestComponentOnce) {
    LoadedComponents loaded;
    loaded.Load(u"HolmBase.dll");
    loaded.Load(u"NUVBase.dll");
    loaded.Load(u"module.base");
    {
        NUVComponents components;
        IBaseComponent* first = components.GetBaseComponent();
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(HexText(first, {0xDE, 0xAD, 0x01, 0x9f}), u"DEAD019F");
        IBaseComponent* second = components.GetBaseComponent();
        EXPECT_EQ(second, first);
        EXPECT_EQ(loaded.Log(),
                  kCreateHolm + kCreateServices + kAskModuleBase + kCreateBaseComponent);
        // The caller owns one reference per call; the components keep their own.
        first->Release();
        second->Release();
        EXPECT_GT(loaded.LiveObjects(), 0);
    }
    EXPECT_EQ(loaded.LiveObjects(), 0);
}

TEST(BaseComponents, WithoutModuleBaseEveryCallAsksAgain) {
    LoadedComponents loaded;
    loaded.Load(u"NUVBase.dll");
    NUVComponents components;
    for (int call = 0; call < 3; ++call) {
        EXPECT_EQ(components.GetBaseComponent(), nullptr);
    }
    EXPECT_EQ(loaded.Log(), kCreateServices + kAskModuleBase + kAskModuleBase + kAskModuleBase);
}

TEST(BaseComponents, ConcurrentFirstCallsShareOneComponent) {
    LoadedComponents loaded;
    loaded.Load(u"NUVBase.dll");
    loaded.Load(u"module.base");
    {
        NUVComponents components;
        std::vector<IBaseComponent*> got(8, nullptr);
        std::vector<std::thread> threads;
        for (size_t i = 0; i < got.size(); ++i) {
            threads.emplace_back([&, i] { got[i] = components.GetBaseComponent(); });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        for (IBaseComponent* component : got) {
            ASSERT_NE(component, nullptr);
            EXPECT_EQ(component, got[0]);
            component->Release();
        }
    }
    // Extra components made by racing threads were released, the kept one at the end.
    EXPECT_EQ(loaded.LiveObjects(), 0);
}

#ifndef _WIN32
int32_t RK_CALL FailingFactory(const RkGuid*, void** out) {
    *out = reinterpret_cast<void*>(uintptr_t{0x10});  // not an object
    return RK_E_NOINTERFACE;
}

TEST(BaseComponents, FailedCreationHandsOutNothing) {
    LoadedComponents loaded;
    char module = 0;
    for (const char16_t* name : {u"NUVBase.win32.dll", u"NUVBase.dll", u"HolmBase.dll"}) {
        tierlock::platform::SetSubstituteModule(name, &module);
    }
    tierlock::platform::SetSubstituteExport(&module, "CreateNUVObject",
                                            reinterpret_cast<void*>(&FailingFactory));
    NUVComponents components;
    EXPECT_EQ(*components.GetCompatLoader(), nullptr);
    EXPECT_EQ(components.GetBaseComponent(), nullptr);
}
#endif

}  // namespace
