#include "show/show_engine.h"

#include <cstdio>

#include "base/trace.h"
#include "settings/settings.h"
#include "show/catalogue.h"
#include "show/picture_file.h"
#include "show/show_random.h"

void BeginShowOrder() {
    BuildCatalogue(g_settings.path, g_settings.subdirs, g_settings.formats);
    if (g_settings.random) {
        ShuffleOrder();
    }
    g_catalogue.orderPosition = -1;
    AdvanceImage(g_settings.random);
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
    PictureKind kind = PictureJpeg;
    const int32_t decoded = DecodeForBox(show.image, stream, show.targetWidth, show.targetHeight,
                                         g_settings.formats, kind);
    fclose(stream);
    if (!decoded) {
        Trace("show: picture not decoded");
        return 0;
    }
    // A fit that fails still composes the frame, with nothing drawn into it.
    FitIntoBox(show.image, show.targetWidth, show.targetHeight);
    return 1;
}

int32_t DecodeForBox(DibImage& image, FILE* stream, int32_t boxWidth, int32_t boxHeight,
                     int32_t formats, PictureKind& kind) {
    kind = DecodePicture(&image, stream, boxWidth, boxHeight, SizeRuleFit, formats);
    return image.loaded && !image.failed;
}

void FitIntoBox(DibImage& image, int32_t boxWidth, int32_t boxHeight) {
    if (boxWidth < image.width || boxHeight < image.height) {
        image.Scale(boxWidth, boxHeight, ScaleTypeFit);
    }
    image.MakeHeader();
}

int32_t FrameStartsBlack(const ShowEngine& show) {
    return show.firstFramePending || g_settings.mode == 0;
}
