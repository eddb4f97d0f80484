// Bundle operations as the host calls them, through the interface pointers. The puts replace
// a value in a bundle that already holds a typical parameter set; the key/value bundle runs
// with one and with four threads sharing one bundle.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "bundle/bundle.h"

namespace {

const char kPath[] = "C:\\Windows\\System32\\svchost.exe";
const char16_t kWidePath[] = u"C:\\Windows\\System32\\svchost.exe";
const uint8_t kDigest[20] = {0xde, 0xad, 0xbe, 0xef};

// A bundle holding one value of each kind besides a few integers, as a query carries.
IASBundle* FilledBundle() {
    IASBundle* bundle = nullptr;
    if (tierlock::CreateBundle(&bundle) != RK_S_OK) {
        std::abort();
    }
    bundle->PutInt("ItemCount", 1);
    bundle->PutInt("EventType", 2);
    bundle->PutInt("sub_level", 3);
    bundle->PutInt64("process_create_time", 0x01D9A0B1, 0x12345678);
    bundle->PutString("FilePathA", kPath);
    bundle->PutWString("FilePath", kWidePath);
    bundle->PutBinary("FileSha1", kDigest, sizeof(kDigest));
    return bundle;
}

template <class Put>
void RunPut(benchmark::State& state, Put put) {
    IASBundle* bundle = FilledBundle();
    for (auto _ : state) {
        benchmark::DoNotOptimize(put(bundle));
    }
    bundle->Release();
}

void BM_PutInt(benchmark::State& state) {
    RunPut(state, [](IASBundle* b) { return b->PutInt("EventType", 7); });
}
void BM_PutInt64(benchmark::State& state) {
    RunPut(state, [](IASBundle* b) { return b->PutInt64("process_create_time", 1, 2); });
}
void BM_PutString(benchmark::State& state) {
    RunPut(state, [](IASBundle* b) { return b->PutString("FilePathA", kPath); });
}
void BM_PutWString(benchmark::State& state) {
    RunPut(state, [](IASBundle* b) { return b->PutWString("FilePath", kWidePath); });
}
void BM_PutBinary(benchmark::State& state) {
    RunPut(state, [](IASBundle* b) { return b->PutBinary("FileSha1", kDigest, 20); });
}

void BM_GetInt(benchmark::State& state) {
    RunPut(state, [](IASBundle* b) {
        uint32_t value = 0;
        b->GetInt("EventType", &value);
        return value;
    });
}
void BM_GetInt64(benchmark::State& state) {
    RunPut(state, [](IASBundle* b) {
        uint64_t value = 0;
        b->GetInt64("process_create_time", &value);
        return value;
    });
}
// The variable kinds as callers use them: ask for the size, then read.
void BM_GetString(benchmark::State& state) {
    RunPut(state, [](IASBundle* b) {
        char buffer[64];
        uint32_t size = 0;
        b->GetString("FilePathA", nullptr, &size);
        return b->GetString("FilePathA", buffer, &size);
    });
}
void BM_GetWString(benchmark::State& state) {
    RunPut(state, [](IASBundle* b) {
        char16_t buffer[64];
        uint32_t size = 0;
        b->GetWString("FilePath", nullptr, &size);
        return b->GetWString("FilePath", buffer, &size);
    });
}
void BM_GetBinary(benchmark::State& state) {
    RunPut(state, [](IASBundle* b) {
        uint8_t buffer[20];
        int32_t size = sizeof(buffer);
        return b->GetBinary("FileSha1", buffer, &size);
    });
}

// A whole query's parameter set: create, fill, release.
void BM_CreateFillRelease(benchmark::State& state) {
    for (auto _ : state) {
        IASBundle* bundle = FilledBundle();
        benchmark::DoNotOptimize(bundle->Release());
    }
}

BENCHMARK(BM_PutInt);
BENCHMARK(BM_PutInt64);
BENCHMARK(BM_PutString);
BENCHMARK(BM_PutWString);
BENCHMARK(BM_PutBinary);
BENCHMARK(BM_GetInt);
BENCHMARK(BM_GetInt64);
BENCHMARK(BM_GetString);
BENCHMARK(BM_GetWString);
BENCHMARK(BM_GetBinary);
BENCHMARK(BM_CreateFillRelease);

// One request bundle shared by every thread of a run; made and released by thread 0 around
// the timed loop (the loop starts and ends with all threads together).
IRkBundle* g_shared = nullptr;
const char16_t* const kThreadKeys[] = {u"GuardType", u"RuleId", u"ProcessId", u"PopMode"};

void SetUpShared(const benchmark::State& state) {
    if (state.thread_index() == 0) {
        if (tierlock::CreateRkBundle(&g_shared) != RK_S_OK) {
            std::abort();
        }
        const uint32_t value = 1;
        for (const char16_t* key : kThreadKeys) {
            g_shared->SetValue(key, &value, sizeof(value), 4);
        }
        g_shared->SetValue(u"PopupText", kWidePath, sizeof(kWidePath), 2);
    }
}

void TearDownShared(const benchmark::State& state) {
    if (state.thread_index() == 0) {
        g_shared->Release();
        g_shared = nullptr;
    }
}

void BM_RkSetValue(benchmark::State& state) {
    SetUpShared(state);
    const char16_t* key = kThreadKeys[state.thread_index() % 4];
    uint32_t value = 0;
    for (auto _ : state) {
        ++value;
        benchmark::DoNotOptimize(g_shared->SetValue(key, &value, sizeof(value), 4));
    }
    TearDownShared(state);
}

void BM_RkGetValue(benchmark::State& state) {
    SetUpShared(state);
    const char16_t* key = state.thread_index() % 2 ? u"popuptext" : u"GUARDTYPE";
    for (auto _ : state) {
        char16_t buffer[64];
        int32_t size = sizeof(buffer);
        uint32_t tag = 0;
        benchmark::DoNotOptimize(g_shared->GetValue(key, buffer, &size, &tag));
    }
    TearDownShared(state);
}

BENCHMARK(BM_RkSetValue)->Threads(1)->Threads(4)->UseRealTime();
BENCHMARK(BM_RkGetValue)->Threads(1)->Threads(4)->UseRealTime();

}  // namespace
