#!/bin/sh
# Operating-system and toolkit headers belong to the platform back ends
# (src/platform) and the program entries (src/main). Everywhere else a file
# that must talk to the system directly says so in its name: *_win32.cpp or
# *_posix.cpp, each compiled empty on the other system. This check keeps it so.
#
# Usage: check_os_headers.sh <source root>
# Before checking, the script checks itself: every sample include below must be
# caught, so that a broken pattern cannot pass everything.
set -u

# Windows SDK headers, POSIX headers beyond the C and C++ standard ones, and the
# GTK, GLib, cairo and X11 headers of the Linux back end.
PATTERN='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]((windows|winbase|winuser|wingdi|winreg|winnls|shlobj|shellapi|shlwapi|shobjidl|commctrl|commdlg|objbase|ole2|dwmapi|knownfolders|io|direct|process|unistd|fcntl|pthread|dlfcn|dirent|poll|fnmatch|glob|termios|libgen|pwd|grp|spawn|semaphore|syslog)\.h|(sys|netinet|arpa|gtk|gdk|glib|gio|cairo|X11)/|(glib|gio|cairo)[^/]*\.h)'
ALLOWED='_(win32|posix)\.cpp'

violations() {
  # file:line:text of every offending include outside the back ends.
  grep -rinE "$PATTERN" --include='*.cpp' --include='*.h' "$1" |
    grep -vE "^$1/(platform|main)/" | grep -vE "^[^:]*$ALLOWED:" | sort
}

self_test() {
  tmp=$(mktemp -d) || exit 2
  mkdir -p "$tmp/base" "$tmp/platform" "$tmp/main"
  n=0
  for sample in '#include <windows.h>' '#include <Windows.h>' '# include <unistd.h>' \
                '#include <sys/mman.h>' '#include <pthread.h>' '#include <dlfcn.h>' \
                '#include <dirent.h>' '#include <fcntl.h>' '#include <gtk/gtk.h>' \
                '#include <X11/Xlib.h>' '#include <glib.h>' '#include <cairo.h>' \
                '#include <shlobj.h>'; do
    n=$((n + 1))
    printf '%s\n' "$sample" > "$tmp/base/sample$n.cpp"
  done
  # Allowed places and standard headers that must not be reported.
  printf '#include <windows.h>\n' > "$tmp/base/thing_win32.cpp"
  printf '#include <unistd.h>\n' > "$tmp/base/thing_posix.cpp"
  printf '#include <windows.h>\n' > "$tmp/platform/back_end.cpp"
  printf '#include <unistd.h>\n' > "$tmp/main/entry.cpp"
  printf '#include <cstdio>\n#include <errno.h>\n#include <time.h>\n#include "base/io_thing.h"\n' \
    > "$tmp/base/portable.cpp"
  found=$(violations "$tmp")
  rm -rf "$tmp"
  got=$(printf '%s\n' "$found" | grep -c 'sample')
  bad=$(printf '%s\n' "$found" | grep -vc 'sample' || true)
  if [ "$got" -ne "$n" ] || [ "$bad" -ne 0 ]; then
    echo "check_os_headers.sh: self-test failed: $got of $n samples caught, $bad false reports:"
    printf '%s\n' "$found"
    exit 2
  fi
}

[ $# -eq 1 ] && [ -d "$1" ] || { echo "usage: $0 <source root>"; exit 2; }
self_test
found=$(violations "$1")
if [ -n "$found" ]; then
  echo "Operating-system or toolkit headers outside src/platform, src/main and *_win32.cpp/*_posix.cpp files:"
  printf '%s\n' "$found"
  exit 1
fi
echo "No operating-system header outside the platform back ends and per-system files."
