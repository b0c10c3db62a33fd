// quarnmp-publish PLAN.json TREE: makes or refreshes a static update-server tree that any
// static web server can serve (see tools/nginx-update-server.conf).
#include <cstdio>
#include <exception>

#include "tools/publish_plan.h"
#include "tools/publish_tree.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: quarnmp-publish PLAN.json TREE\n");
    return 1;
  }
  try {
    const PublishPlan plan = readPublishPlan(argv[1]);
    const PublishSummary summary = publishTree(plan, argv[2]);
    std::printf("published %zu files (%zu compressed, %zu removed) in %zu sets\n", summary.files,
                summary.compressed, summary.removed, plan.sets.size());
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "quarnmp-publish: %s\n", failure.what());
    return 2;
  }
}
