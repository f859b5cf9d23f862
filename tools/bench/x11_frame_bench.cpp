// Measures whole frames of the Linux saver (decode, fit, pack, put into the back buffer,
// present) in a window of the X display, against a plain library decode of the same file at
// the same reduction, measured in the same run.
//   x11_frame_bench [--reps N] picture.jpg...
// Needs a display of at least 3840x2160, e.g. xvfb-run -s "-screen 0 3840x2160x24". Times are
// wall-clock medians: putting and presenting run in the X server, another process, and each
// frame ends with a round trip so that the server's share is in it.
#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>
#include "bench_common.h"
#include "image/decoders/decode.h"
#include "image/display.h"
#include "x11/draw_x11.h"
#include "x11/visual_x11.h"
#include "settings/settings.h"
#include "x11/render_x11.h"
#include "show/show_engine.h"

namespace {

double NowMs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double TimePlainDecode(const char* path, int32_t boxWidth, int32_t boxHeight) {
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        return -1;
    }
    double t0 = NowMs();
    PlainDecode(f, boxWidth, boxHeight, true);
    double t1 = NowMs();
    std::fclose(f);
    return t1 - t0;
}

// A show of one picture: the catalogue reads a folder, so the picture gets one of its own.
std::string OnePictureFolder(const char* picture) {
    namespace fs = std::filesystem;
    fs::path folder = fs::temp_directory_path() / ("fv-frame-bench-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(picture, folder / "picture.jpg");
    return folder.string();
}

void UseFolder(const std::string& folder) {
    g_settings = SaverSettings{};
    g_settings.delay = 1;
    g_settings.position = 0;
    std::snprintf(g_settings.path, sizeof g_settings.path, "%s", folder.c_str());
    BeginShowOrder();
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 0;
    const int first = ReadBenchArguments(argc, argv, "x11_frame_bench", &reps);
    if (first == 0) {
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "x11_frame_bench: cannot open the display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    UseX11Visual(display, DefaultVisual(display, screen), DefaultDepth(display, screen),
                 DefaultColormap(display, screen), false);
    PrepareDisplay();

    const int32_t boxes[][2] = {{1920, 1080}, {3840, 2160}};
    std::printf(
        "| picture | window | frame ms | decode+fit ms | pack+put+present ms | "
        "plain decode ms | frame / plain | MIT-SHM |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (int i = first; i < argc; ++i) {
        const std::string folder = OnePictureFolder(argv[i]);
        for (const auto& box : boxes) {
            XSetWindowAttributes attributes = {};
            attributes.background_pixel = BlackPixel(display, screen);
            attributes.override_redirect = True;
            Window window = XCreateWindow(
                display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(box[0]),
                static_cast<unsigned>(box[1]), 0, CopyFromParent, InputOutput, CopyFromParent,
                CWBackPixel | CWOverrideRedirect, &attributes);
            XMapWindow(display, window);
            XGCValues values = {};
            values.graphics_exposures = False;
            GC gc = XCreateGC(display, window, GCGraphicsExposures, &values);
            XSync(display, False);

            UseFolder(folder);
            ShowEngine frameEngine;
            ShowEngine loadEngine;
            frameEngine.keepsLastFrame = 1;
            frameEngine.firstFramePending = 1;
            std::vector<double> frame, load, plain;
            TimePlainDecode(argv[i], box[0], box[1]);  // warm the file cache
            for (int r = 0; r < reps; ++r) {
                // Alternate so that all three see the same machine state.
                plain.push_back(TimePlainDecode(argv[i], box[0], box[1]));
                double t0 = NowMs();
                LoadFramePicture(box[0], box[1], loadEngine);
                double t1 = NowMs();
                RenderX11Frame(frameEngine, window, gc, box[0], box[1]);
                XSync(display, False);
                double t2 = NowMs();
                load.push_back(t1 - t0);
                frame.push_back(t2 - t1);
                frameEngine.firstFramePending = 0;
            }
            const double f = Median(frame), l = Median(load), p = Median(plain);
            std::printf("| %s | %dx%d | %.1f | %.1f | %.1f | %.1f | %.2f | %s |%s\n",
                        PictureName(argv[i]).c_str(), box[0], box[1], f, l, f - l, p, f / p,
                        X11SharedMemoryInUse() ? "yes" : "no",
                        frameEngine.backBuffer ? "" : " NO FRAME");
            std::fflush(stdout);
            DropBackBuffer(frameEngine);
            frameEngine.image.Release();
            loadEngine.image.Release();
            XFreeGC(display, gc);
            XDestroyWindow(display, window);
        }
        std::filesystem::remove_all(folder);
    }
    ReleaseDisplay();
    XCloseDisplay(display);
    return 0;
}
