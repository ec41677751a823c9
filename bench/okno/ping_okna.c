/* Sends the window manager's ping (_NET_WM_PING) to a window, as a desktop does to find
 * hung programs, and prints how long each answer took.
 *   ping_okna WINDOW COUNT INTERVAL_MS
 * A ping not answered within 1 s counts as lost. Exit status 1 when any answer took
 * more than 250 ms or was lost. Build: cc -O2 -o ping_okna ping_okna.c -lX11 */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/select.h>
#include <time.h>

static double teraz_ms(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s WINDOW COUNT INTERVAL_MS\n", argv[0]);
    return 2;
  }
  Display* d = XOpenDisplay(NULL);
  if (d == NULL) return 2;
  const Window okno = (Window)strtoul(argv[1], NULL, 0);
  const int ile = atoi(argv[2]);
  const int odstep = atoi(argv[3]);
  const Window root = DefaultRootWindow(d);
  const Atom protokoly = XInternAtom(d, "WM_PROTOCOLS", False);
  const Atom ping = XInternAtom(d, "_NET_WM_PING", False);
  /* The answer goes to the root window; Qt sends it with the structure-notify mask (and
   * the redirect mask, which only a window manager may select). */
  XSelectInput(d, root, StructureNotifyMask | SubstructureNotifyMask);
  int zle = 0;
  double najdluzej = 0;
  for (int i = 0; i < ile; ++i) {
    XEvent e = {0};
    e.xclient.type = ClientMessage;
    e.xclient.window = okno;
    e.xclient.message_type = protokoly;
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)ping;
    e.xclient.data.l[1] = 1000 + i; /* the timestamp identifies the answer */
    e.xclient.data.l[2] = (long)okno;
    const double start = teraz_ms();
    XSendEvent(d, okno, False, NoEventMask, &e);
    XFlush(d);
    double czas = -1;
    while (czas < 0 && teraz_ms() - start < 1000) {
      while (XPending(d) > 0) {
        XEvent r;
        XNextEvent(d, &r);
        if (r.type == ClientMessage && (Atom)r.xclient.data.l[0] == ping &&
            r.xclient.data.l[1] == 1000 + i)
          czas = teraz_ms() - start;
      }
      if (czas >= 0) break;
      fd_set f;
      FD_ZERO(&f);
      FD_SET(ConnectionNumber(d), &f);
      struct timeval tv = {0, 5000};
      select(ConnectionNumber(d) + 1, &f, NULL, NULL, &tv);
    }
    if (czas < 0) {
      printf("ping %d: no answer\n", i + 1);
      ++zle;
    } else {
      printf("ping %d: %.1f ms\n", i + 1, czas);
      if (czas > najdluzej) najdluzej = czas;
      if (czas > 250) ++zle;
    }
    fflush(stdout);
    const double koniec = start + odstep;
    while (teraz_ms() < koniec) {
      struct timeval tv = {0, 2000};
      select(0, NULL, NULL, NULL, &tv);
    }
  }
  printf("%d pings, longest answer %.1f ms, %d late or lost\n", ile, najdluzej, zle);
  XCloseDisplay(d);
  return zle == 0 ? 0 : 1;
}
