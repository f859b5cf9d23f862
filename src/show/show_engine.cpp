#include "show/show_engine.h"

#include <cstdio>

#include "app/trace.h"
#include "image/decode_picture.h"
#include "settings/settings.h"
#include "show/catalogue.h"
#include "show/picture_file.h"
#include "show/show_random.h"

ShowEngine g_showEngine;

void BeginShowOrder() {
    BuildCatalogue(g_settings.path, g_settings.subdirs, g_settings.formats);
    if (g_settings.random) {
        ShuffleOrder();
    }
    g_catalogue.orderPosition = -1;
    AdvanceImage(g_settings.random);
}

void BeginShowEngine(ShowEngine& show) {
    DropBackBuffer(show);
    show.tickCount = 0;
    show.firstFramePending = 1;
}

int32_t CountShowTick(ShowEngine& show) {
    int32_t previous = show.tickCount;
    if (previous < g_settings.delay) {
        show.tickCount = previous + 1;
        return 0;
    }
    show.tickCount = 1;
    return 1;
}

void ComputeTargetSize(ShowEngine& show) {
    switch (g_settings.size) {
        case 0:
            show.targetWidth = show.clientWidth;
            show.targetHeight = show.clientHeight;
            break;
        case 1:
            show.targetWidth = (3 * show.clientWidth) / 4;
            show.targetHeight = (3 * show.clientHeight) / 4;
            break;
        default:
            show.targetWidth = show.clientWidth / 2;
            show.targetHeight = show.clientHeight / 2;
            break;
    }
}

void PlaceImage(ShowEngine& show) {
    int32_t spareX = show.clientWidth - show.image.width;
    int32_t spareY = show.clientHeight - show.image.height;
    if (g_settings.position == 0) {
        show.imageX = spareX / 2;
        show.imageY = spareY / 2;
        return;
    }
    // 64-bit products: a client wider than 65536 pixels must not overflow.
    int64_t rx = g_showRandom.Next();
    show.imageX = static_cast<int32_t>(rx * spareX / 32767);
    int64_t ry = g_showRandom.Next();
    show.imageY = static_cast<int32_t>(ry * spareY / 32767);
}

int32_t LoadFramePicture(int32_t clientWidth, int32_t clientHeight, ShowEngine& show) {
    show.clientWidth = clientWidth;
    show.clientHeight = clientHeight;
    ComputeTargetSize(show);
    FILE* stream = OpenPictureFile(CurrentPath());
    if (!stream) {
        Trace("show: cannot open picture");
        show.image.Release();
        return 0;
    }
    DecodePicture(&show.image, stream, show.targetWidth, show.targetHeight, SizeRuleFit,
                  g_settings.formats);
    fclose(stream);
    if (!show.image.loaded || show.image.failed) {
        Trace("show: picture not decoded");
        return 0;
    }
    if (show.targetWidth < show.image.width || show.targetHeight < show.image.height) {
        show.image.Scale(show.targetWidth, show.targetHeight, ScaleTypeFit);
    }
    show.image.MakeHeader();
    return 1;
}

int32_t FrameStartsBlack(const ShowEngine& show) {
    return show.firstFramePending || g_settings.mode == 0;
}
