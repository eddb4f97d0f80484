// Several host threads on one bundle at once: under ThreadSanitizer this finds races, and
// everywhere it checks that no read sees a torn value.
#include <string>
#include <thread>
#include <vector>

#include "bundle_support.h"

namespace bundle_test {
namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 1000;

// Every value written is one letter repeated, so a torn read shows as mixed letters.
bool Uniform(const std::string& text) {
    return text.find_first_not_of(text[0]) == std::string::npos;
}

void WorkOnTypedBundles(AsSlots shared, AsSlots other, int thread) {
    const char* const keys[] = {"alpha", "beta", "gamma"};
    for (int round = 0; round < kRounds; ++round) {
        const char* key = keys[(round + thread) % 3];
        const std::string text(1 + (round * 7 + thread) % 40, static_cast<char>('a' + thread));
        shared.AddRef();
        if (round % 3 == 0) {
            shared.PutInt(key, static_cast<uint32_t>(round));
        } else {
            shared.PutString(key, text.c_str());
        }
        char read[64];
        uint32_t size = sizeof(read);
        if (shared.GetString(key, read, &size) == RK_S_OK) {
            EXPECT_TRUE(Uniform(read)) << read;
        }
        size = sizeof(read);
        EXPECT_EQ(shared.GetKeys(read, &size), RK_S_OK);
        // Copies run both ways at once: they must never wait on each other.
        (thread % 2 ? shared : other).CopyTo((thread % 2 ? other : shared).p);
        if (round % 50 == 0) {
            other.Clear();
        }
        shared.Release();
    }
}

void WorkOnKeyValueBundle(RkSlots shared, int thread) {
    const char16_t* const keys[] = {u"Target", u"TARGET", u"chain"};
    for (int round = 0; round < kRounds; ++round) {
        const std::string block(8 + (round + thread) % 64, static_cast<char>('a' + thread));
        shared.SetValue(keys[round % 3], block.data(), static_cast<int32_t>(block.size()),
                        static_cast<uint32_t>(thread));
        std::string read(80, '\0');
        int32_t size = static_cast<int32_t>(read.size());
        uint32_t tag = 0;
        if (shared.GetValue(u"target", read.data(), &size, &tag) == RK_S_OK) {
            read.resize(static_cast<size_t>(size));
            EXPECT_TRUE(Uniform(read)) << read;
            EXPECT_EQ(read[0], static_cast<char>('a' + tag));  // value and tag stay together
        }
        char16_t names[32];
        size = sizeof(names);
        EXPECT_EQ(shared.GetNames(names, &size), RK_S_OK);
    }
}

TEST_F(BundleTest, ThreadsShareOneBundleWithoutRaces) {
    AsSlots typed{nullptr}, other{nullptr};
    RkSlots keyValue{nullptr};
    ASSERT_EQ(tierlock::CreateBundle(&typed.p), RK_S_OK);
    ASSERT_EQ(tierlock::CreateBundle(&other.p), RK_S_OK);
    ASSERT_EQ(tierlock::CreateRkBundle(&keyValue.p), RK_S_OK);
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
        threads.emplace_back([=] {
            WorkOnTypedBundles(typed, other, thread);
            WorkOnKeyValueBundle(keyValue, thread);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    uint32_t count = 0;
    EXPECT_EQ(typed.GetCount(&count), RK_S_OK);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(typed.Release(), 0u);
    EXPECT_EQ(other.Release(), 0u);
    EXPECT_EQ(keyValue.Release(), 0u);
}

}  // namespace
}  // namespace bundle_test
