// Several host threads on one bundle at once: under ThreadSanitizer this finds races, and
// everywhere it checks that no read sees a torn value.
#include <string>
#include <thread>
#include <vector>

#include "bundle_support.h"

namespace bundle_test {

// Every value written is one letter repeated, so a torn read shows as mixed letters.
bool Uniform(const std::string& text) {
    return text.find_first_not_of(text[0]) == std::string::npos;
}

TEST_F(BundleTest, ThreadsShareOneBundleWithoutRaces) {
    AsSlots other{nullptr};
    ASSERT_EQ(tierlock::CreateBundle(&other.p), RK_S_OK);
    auto work = [&](int thread) {
        const char* const keys[] = {"alpha", "beta", "gamma"};
        const char16_t* const wideKeys[] = {u"Target", u"TARGET", u"chain"};
        for (int round = 0; round < 1000; ++round) {
            const std::string text(1 + (round * 7 + thread) % 64, static_cast<char>('a' + thread));
            const char* key = keys[(round + thread) % 3];
            Slot<uint32_t>(SecondTable(as_.p), 1);  // the count changes under the other threads
            if (round % 3 == 0) {
                as_.PutInt(key, static_cast<uint32_t>(round));
            } else {
                as_.PutString(key, text.c_str());
            }
            EXPECT_TRUE(Uniform(as_.GetString(key).c_str()));
            as_.Keys();  // the list may grow between the two calls: the sanitizers judge this
            // Copies run both ways at once: they must never wait on each other.
            (thread % 2 ? as_ : other).CopyTo((thread % 2 ? other : as_).p);
            if (round % 50 == 0) {
                other.Clear();
            }
            as_.Release();

            rk_.SetValue(wideKeys[round % 3], text.data(), static_cast<int32_t>(text.size()),
                         static_cast<uint32_t>(thread));
            std::string read(80, '\0');
            int32_t size = static_cast<int32_t>(read.size());
            uint32_t tag = 0;
            if (rk_.GetValue(u"target", read.data(), &size, &tag) == RK_S_OK) {
                read.resize(static_cast<size_t>(size));
                EXPECT_TRUE(Uniform(read)) << read;
                EXPECT_EQ(read[0], static_cast<char>('a' + tag));  // value and tag stay together
            }
            rk_.Names();
        }
    };
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back(work, thread);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(as_.Count(), 3u);
    EXPECT_EQ(other.Release(), 0u);
}

}  // namespace bundle_test
