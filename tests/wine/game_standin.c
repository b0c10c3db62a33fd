// Plays the game for the Windows updater: writes the command line it was started with, as the
// game receives it, to args.txt in its working directory.
#include <stdio.h>
#include <windows.h>

int main(void) {
  FILE *out = fopen("args.txt", "w");
  if (out == NULL) return 1;
  fputs(GetCommandLineA(), out);
  return fclose(out) != 0;
}
