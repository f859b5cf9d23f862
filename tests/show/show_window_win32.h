#pragma once
// A top-level window for show tests, the message loop of the saver in small, and read-back of
// what the window shows.

#include <windows.h>

#include <cstdint>
#include <vector>

#include "show/test_pictures.h"

class TestWindow {
  public:
    TestWindow(int width, int height);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND Handle() const { return window; }
    void Resize(int newWidth, int newHeight);
    // Dispatches messages for the given time, with the show's idle step whenever the queue
    // empties after a message, as the saver's loop does.
    void Pump(DWORD milliseconds);
    // One frame drawn through the window's own context.
    void Frame();
    // The client area as 0x00RRGGBB values, rows top first.
    std::vector<uint32_t> Grab() const;

    int width;
    int height;

  private:
    HWND window;
};

// What a frame should show: a model canvas of the client area, and the comparison with the screen.
class ExpectedCanvas {
  public:
    ExpectedCanvas(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {}
    void Fill(int x, int y, int w, int h, Colour colour);
    // Counts the pixels further than the depth's tolerance from the model.
    int Mismatches(const std::vector<uint32_t>& screen) const;

    int width;
    int height;
    std::vector<uint32_t> pixels;
};

int ScreenDepth();
// How far a drawn colour may stray at this depth: JPEG rounding, and the 5-bit channels and
// ordered dither of 16-bit displays.
int ColourTolerance();
uint32_t Packed(Colour colour);
