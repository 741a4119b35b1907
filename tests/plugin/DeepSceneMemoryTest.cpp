// Memory over deep node trees grows with the number of levels, not with its square: the
// bytes held at the peak of loading and of exporting a chain twice as deep are about twice
// as many. The program counts every byte allocated through operator new, so it is a program
// of its own.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "host/scene/SceneFile.h"
#include "platform/max/HostScene.h"
#include "platform/max/Interface.h"
#include "plugin/Exporter.h"
#include "settings/Settings.h"
#include "tests/max/DeepScenes.h"
#include "tests/support/TempDir.h"

namespace {

std::atomic<std::size_t> g_liveBytes{0};
std::atomic<std::size_t> g_peakBytes{0};

void Counted(void* block) {
    std::size_t live = g_liveBytes += malloc_usable_size(block);
    std::size_t peak = g_peakBytes.load();
    while (live > peak && !g_peakBytes.compare_exchange_weak(peak, live)) {
    }
}

// The most bytes held at once while `work` runs, beyond those held when it starts.
template <typename Work>
std::size_t PeakBytesOf(Work&& work) {
    const std::size_t before = g_liveBytes.load();
    g_peakBytes = before;
    work();
    return g_peakBytes.load() - before;
}

// Twice the depth may take this many times the bytes: twice, and some slack for containers
// that grow by doubling and so may be up to half empty at the peak.
constexpr double kMostGrowthForTwiceTheDepth = 2.6;

constexpr int kDepth = tarvo::testscenes::kDeepestChain / 2;

std::size_t PeakOfLoading(int depth) {
    const std::string text = tarvo::testscenes::NodeChainText(depth);
    return PeakBytesOf([&] {
        auto data = tarvo::scenefile::ParseScene(text, "deep.tscene.json");
        EXPECT_EQ(data.nodes.size(), static_cast<std::size_t>(depth));
    });
}

std::size_t PeakOfExporting(int depth) {
    tarvo::testsupport::TempDir dir;
    std::filesystem::create_directory(dir.File("cfg"));
    auto records = tarvo::testscenes::NodeChain(depth, tarvo::scene::ObjectKind::Helper);
    return PeakBytesOf([&] {
        HostScene scene(records);
        Interface host(&scene);
        host.SetPlugCfgDir(dir.File("cfg"));
        ExportOptions options;
        options.xFileType = kXFileBinary;
        options.exportAnimation = 0;
        ASSERT_TRUE(SaveSettings(options, host));
        TarvoDirectXMaxExporter exporter;
        EXPECT_EQ(exporter.DoExport(dir.File("deep.x").c_str(), nullptr, &host, TRUE, 0), 1);
        EXPECT_EQ(exporter.visitedNodeCount, depth);
    });
}

}  // namespace

// Every form of new and delete that takes no alignment is replaced, so that a block is
// always given back by the form that made it (a sanitizer build checks that).
void* operator new(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    Counted(block);
    return block;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return operator new(size, std::nothrow);
}

void operator delete(void* block) noexcept {
    if (block == nullptr) return;
    g_liveBytes -= malloc_usable_size(block);
    std::free(block);
}
void operator delete[](void* block) noexcept {
    operator delete(block);
}
void operator delete(void* block, std::size_t) noexcept {
    operator delete(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    operator delete(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    operator delete(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    operator delete(block);
}

TEST(DeepSceneMemory, TheCounterSeesWhatIsHeld) {
    std::size_t peak = PeakBytesOf([] {
        std::string held(100000, 'x');
        EXPECT_EQ(held.size(), 100000u);
    });
    EXPECT_GE(peak, 100000u);
    EXPECT_LT(peak, 200000u);
}

TEST(DeepSceneMemory, LoadingTwiceAsDeepAChainTakesTwiceTheMemory) {
    const std::size_t half = PeakOfLoading(kDepth);
    const std::size_t whole = PeakOfLoading(2 * kDepth);
    EXPECT_LT(static_cast<double>(whole), kMostGrowthForTwiceTheDepth * static_cast<double>(half))
        << half << " bytes at " << kDepth << " levels, " << whole << " at " << 2 * kDepth;
}

TEST(DeepSceneMemory, ExportingTwiceAsDeepAChainTakesTwiceTheMemory) {
    const std::size_t half = PeakOfExporting(kDepth);
    const std::size_t whole = PeakOfExporting(2 * kDepth);
    EXPECT_LT(static_cast<double>(whole), kMostGrowthForTwiceTheDepth * static_cast<double>(half))
        << half << " bytes at " << kDepth << " levels, " << whole << " at " << 2 * kDepth;
}
