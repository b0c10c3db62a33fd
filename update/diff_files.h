#pragma once

// The worker of startDiff: compares each of updaterState().selectedFiles with its local
// copy by digest and lists the ones that differ in differingFiles. Always true.
bool diffFiles();
