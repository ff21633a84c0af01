/* Starts a program and reports how long it takes until a screen pixel turns a
 * given colour: the time from the moment before the program is started to
 * the first pixels the user sees.
 *
 * Usage: startup_probe X Y RRGGBB TOLERANCE TIMEOUT_MS -- PROGRAM [ARGUMENTS...]
 *
 * Prints the milliseconds on standard output and exits 0; exits 1 when the
 * pixel does not come within the timeout (the program is left running either
 * way: the caller closes it). The root window is read with XGetImage, one
 * pixel at a time, every half millisecond: fast enough that the reading
 * itself is not what is measured (a screenshot tool takes tens of ms). */
#define _POSIX_C_SOURCE 200809L
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static double NowMs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

static int Near(unsigned long pixel, unsigned long want, int tolerance) {
  for (int shift = 0; shift < 24; shift += 8) {
    const int a = (int)(pixel >> shift & 0xFF), b = (int)(want >> shift & 0xFF);
    if (abs(a - b) > tolerance) return 0;
  }
  return 1;
}

int main(int argc, char** argv) {
  if (argc < 8 || strcmp(argv[6], "--") != 0) {
    fprintf(stderr, "usage: %s X Y RRGGBB TOLERANCE TIMEOUT_MS -- PROGRAM [ARGUMENTS...]\n", argv[0]);
    return 2;
  }
  const int x = atoi(argv[1]), y = atoi(argv[2]);
  const unsigned long want = strtoul(argv[3], NULL, 16);
  const int tolerance = atoi(argv[4]);
  const double timeout = atof(argv[5]);
  Display* display = XOpenDisplay(NULL);
  if (!display) {
    fprintf(stderr, "startup_probe: cannot open the display\n");
    return 2;
  }
  const Window root = DefaultRootWindow(display);
  const double start = NowMs();
  const pid_t child = fork();
  if (child < 0) return 2;
  if (child == 0) {
    /* The caller reads this process's output: the program's goes elsewhere. */
    dup2(2, 1);
    execvp(argv[7], argv + 7);
    _exit(127);
  }
  struct timespec pause = {0, 500000};
  while (NowMs() - start < timeout) {
    XImage* image = XGetImage(display, root, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image) {
      const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
      XDestroyImage(image);
      if (Near(pixel, want, tolerance)) {
        printf("%.1f\n", NowMs() - start);
        XCloseDisplay(display);
        return 0;
      }
    }
    nanosleep(&pause, NULL);
  }
  XCloseDisplay(display);
  return 1;
}
