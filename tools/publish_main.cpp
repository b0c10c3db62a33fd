// quarnmp-publish [--dry-run] PLAN.json TREE: makes or refreshes a static update-server tree
// that any static web server can serve (see tools/nginx-update-server.conf).
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "tools/publish_plan.h"
#include "tools/publish_tree.h"

namespace {

// Names may hold control bytes; they are shown as \xNN rather than sent to the terminal.
void printLines(const char* prefix, const std::vector<std::string>& lines, std::FILE* to) {
  for (const std::string& line : lines) {
    std::fputs(prefix, to);
    for (unsigned char c : line) {
      if (c < 0x20 || c == 0x7f) std::fprintf(to, "\\x%02x", c);
      else std::fputc(c, to);
    }
    std::fputc('\n', to);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool dryRun = argc == 4 && std::strcmp(argv[1], "--dry-run") == 0;
  if (argc != 3 && !dryRun) {
    std::fprintf(stderr, "usage: quarnmp-publish [--dry-run] PLAN.json TREE\n");
    return 1;
  }
  try {
    const PublishPlan plan = readPublishPlan(argv[argc - 2]);
    const PublishSummary summary = publishTree(plan, argv[argc - 1], dryRun);
    printLines("quarnmp-publish: warning: ", summary.warnings, stderr);
    if (dryRun) {
      printLines("write ", summary.written, stdout);
      printLines("remove ", summary.removals, stdout);
      printLines("retire ", summary.retirements, stdout);
    }
    const std::string retired = summary.retirements.empty() ? "" : ", " + std::to_string(summary.retirements.size()) + " retired";
    std::printf("%s %zu files (%zu compressed, %zu removed%s) in %zu sets\n", dryRun ? "would publish" : "published",
                summary.files, summary.compressed, summary.removed, retired.c_str(), plan.sets.size());
    return 0;
  } catch (const PublishRefused& refused) {
    printLines("quarnmp-publish: ", refused.problems, stderr);
    std::fprintf(stderr, "quarnmp-publish: nothing written, %zu problems\n", refused.problems.size());
    return 2;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "quarnmp-publish: %s\n", failure.what());
    return 2;
  }
}
