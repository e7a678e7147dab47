// Copies a rectangle of the X server's root window into a binary PPM file, for the Windows test
// host's editor check: what the X server shows of the editor under wine, against the headless
// rendering. The file appears whole (written aside, then renamed), so a waiting reader never
// sees half of it.
//
//   wineditor-xgrab X Y WIDTH HEIGHT FILE
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s X Y WIDTH HEIGHT FILE\n", argv[0]);
    return 2;
  }
  const int x = std::atoi(argv[1]), y = std::atoi(argv[2]);
  const int w = std::atoi(argv[3]), h = std::atoi(argv[4]);
  if (w <= 0 || h <= 0) return 2;
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "wineditor-xgrab: cannot open the display\n");
    return 1;
  }
  XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(w),
                            static_cast<unsigned>(h), AllPlanes, ZPixmap);
  if (!image) {
    std::fprintf(stderr, "wineditor-xgrab: no image of %dx%d at %d,%d\n", w, h, x, y);
    XCloseDisplay(display);
    return 1;
  }
  const std::string aside = std::string(argv[5]) + ".part";
  std::FILE* f = std::fopen(aside.c_str(), "wb");
  bool ok = f != nullptr;
  if (f) {
    std::fprintf(f, "P6\n%d %d\n255\n", w, h);
    for (int j = 0; j < h; ++j)
      for (int i = 0; i < w; ++i) {
        const unsigned long p = XGetPixel(image, i, j);
        const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16),
                                      static_cast<unsigned char>(p >> 8),
                                      static_cast<unsigned char>(p)};
        ok = std::fwrite(rgb, 1, 3, f) == 3 && ok;
      }
    ok = std::fclose(f) == 0 && ok;
  }
  XDestroyImage(image);
  XCloseDisplay(display);
  if (!ok || std::rename(aside.c_str(), argv[5]) != 0) {
    std::fprintf(stderr, "wineditor-xgrab: cannot write %s\n", argv[5]);
    return 1;
  }
  return 0;
}
