// Plays the game for the Windows updater: writes the command line it was started with, as the
// game receives it, to args.txt in its working directory. Built with REPORT, it plays a newer
// updater instead: "<REPORT> <command line>" to restarted.txt.
#include <stdio.h>
#include <windows.h>

int main(void) {
#ifdef REPORT
  FILE *out = fopen("restarted.txt", "w");
  if (out == NULL || fputs(REPORT " ", out) < 0) return 1;
#else
  FILE *out = fopen("args.txt", "w");
  if (out == NULL) return 1;
#endif
  fputs(GetCommandLineA(), out);
  return fclose(out) != 0;
}
