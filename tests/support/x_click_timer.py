#!/usr/bin/env python3
"""Clicks a mouse button at a screen point through the XTest extension and
times how long until a new top-level window is mapped, from one process so
that no program start is counted. Prints "milliseconds id x y width height"
of the window, or "none" after the timeout. Usage:
  x_click_timer.py X Y BUTTON [TIMEOUT_MS]
The display is $DISPLAY; libX11 and libXtst are loaded through ctypes."""
import ctypes
import ctypes.util
import sys
import time

x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
Window = ctypes.c_ulong


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", Window), ("class_", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = Window
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XQueryTree.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(Window), ctypes.POINTER(Window),
                           ctypes.POINTER(ctypes.POINTER(Window)), ctypes.POINTER(ctypes.c_uint)]
x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(XWindowAttributes)]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]


def children(display, root):
    r, p = Window(), Window()
    kids = ctypes.POINTER(Window)()
    n = ctypes.c_uint()
    if not x11.XQueryTree(display, root, ctypes.byref(r), ctypes.byref(p), ctypes.byref(kids), ctypes.byref(n)):
        return []
    out = [kids[i] for i in range(n.value)]
    if kids:
        x11.XFree(kids)
    return out


def main():
    px, py, button = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
    timeout = (int(sys.argv[4]) if len(sys.argv) > 4 else 3000) / 1000.0
    display = x11.XOpenDisplay(None)
    if not display:
        print("none")
        return 1
    root = x11.XDefaultRootWindow(display)
    xtst.XTestFakeMotionEvent(display, -1, px, py, 0)
    x11.XSync(display, 0)
    time.sleep(0.5)  # what the pointer's move sets off (a frame shown on hover) is over
    known = set(children(display, root))
    start = time.monotonic()
    xtst.XTestFakeButtonEvent(display, button, 1, 0)
    xtst.XTestFakeButtonEvent(display, button, 0, 0)
    x11.XFlush(display)
    attributes = XWindowAttributes()
    while time.monotonic() - start < timeout:
        for w in children(display, root):
            if w in known:
                continue
            if x11.XGetWindowAttributes(display, w, ctypes.byref(attributes)) and attributes.map_state == 2:
                ms = (time.monotonic() - start) * 1000
                print("%.1f 0x%x %d %d %d %d" % (ms, w, attributes.x, attributes.y, attributes.width,
                                                 attributes.height))
                return 0
        time.sleep(0.0005)
    print("none")
    return 1


sys.exit(main())
