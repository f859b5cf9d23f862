#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>
#include <string>

#include "settings/settings.h"
#include "show/catalogue.h"
#include "show/show_engine.h"
#include "show/show_window_win32.h"
#include "show/test_folder.h"
#include "show/test_pictures.h"

namespace {

// The process's GDI objects, for finding leaks. Where GetGuiResources keeps no count (Wine), the
// handle table tells: new handles take freed slots before fresh ones, so once probes have taken
// every free slot, the highest slot index less the probes grows with every object left alive.
// That measure never falls, so it shows leaks but not releases.
DWORD GdiObjects() {
    DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (counted != 0) {
        return counted;
    }
    const DWORD probes = 3000;
    std::vector<HBRUSH> brushes(probes);
    DWORD highest = 0;
    for (HBRUSH& brush : brushes) {
        brush = CreateSolidBrush(RGB(9, 9, 9));
        highest =
            std::max(highest, static_cast<DWORD>(reinterpret_cast<uintptr_t>(brush) & 0xFFFF));
    }
    for (HBRUSH brush : brushes) {
        DeleteObject(brush);
    }
    return highest - probes;
}

SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    return counters.PrivateUsage;
}

TEST(ShowResources, LeakedGdiObjectsAreCounted) {
    DWORD before = GdiObjects();
    HBRUSH first = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_EQ(GdiObjects(), before + 1) << "without a working count the long run proves nothing";
    HBRUSH second = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_EQ(GdiObjects(), before + 2);
    DeleteObject(first);
    DeleteObject(second);
}

// Hundreds of frames over good, broken, empty and missing files in both modes: neither GDI
// objects nor memory may grow.
TEST(ShowResources, LongRunLeaksNothing) {
    TestFolder folder;
    WriteSolidJpeg(folder.PathOf("a.jpg"), 640, 480, {200, 30, 30});
    WriteSolidJpeg(folder.PathOf("b.jpg"), 90, 60, {30, 200, 30});
    WriteSolidJpeg(folder.PathOf("c.jpg"), 321, 200, {30, 30, 200});
    WriteSolidJpeg(folder.PathOf("d.jpg"), 1200, 900, {200, 200, 30});
    WriteBrokenJpeg(folder.PathOf("e.jpg"));
    folder.AddFile("f.jpg");
    folder.AddFile("g.jpg", "\xFF\xD8\xFF\xE0 cut short");
    folder.AddFolder("h.jpg");

    for (int32_t mode : {0, 1}) {
        g_settings = SaverSettings{};
        g_settings.delay = 0;
        g_settings.mode = mode;
        g_settings.position = 1;
        g_settings.size = mode ? 1 : 0;
        strcpy(g_settings.path, folder.Text().c_str());
        SaveSettings();

        TestWindow window(320, 240);
        StartShow(window.Handle());
        ASSERT_EQ(g_catalogue.count, 7);
        for (int i = 0; i < 40; ++i) {
            OnShowTimer(window.Handle(), ShowTimerId);
        }
        DWORD gdiRunning = GdiObjects();
        SIZE_T memoryRunning = PrivateBytes();
        for (int i = 0; i < 350; ++i) {
            OnShowTimer(window.Handle(), ShowTimerId);
            if (i % 50 == 0) {
                window.Pump(1);
            }
        }
        EXPECT_EQ(GdiObjects(), gdiRunning) << "mode " << mode;
        SIZE_T memoryAfter = PrivateBytes();
        EXPECT_LT(memoryAfter, memoryRunning + 2 * 1024 * 1024) << "mode " << mode;
    }
}

}  // namespace
