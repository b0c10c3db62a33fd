// quarnmp-publish [--dry-run] [--sign SECRET] PLAN.json TREE: makes or refreshes a static
// update-server tree that any static web server can serve (see tools/nginx-update-server.conf).
// quarnmp-publish keygen PUBLIC SECRET: makes a key pair to sign releases with.
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "tools/publish_live.h"
#include "tools/publish_plan.h"
#include "tools/publish_sign.h"
#include "tools/publish_tree.h"

using formats::SecretKey;

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

struct Arguments {
  bool dryRun = false;
  std::optional<std::string> secretKey;
  std::string plan, tree;
};

std::optional<Arguments> readArguments(int argc, char** argv) {
  Arguments arguments;
  int next = 1;
  for (; next < argc - 2; ++next) {
    const std::string_view option = argv[next];
    if (option == "--dry-run" && !arguments.dryRun) arguments.dryRun = true;
    else if (option == "--sign" && !arguments.secretKey && next + 1 < argc - 2) arguments.secretKey = argv[++next];
    else return std::nullopt;
  }
  if (next != argc - 2) return std::nullopt;
  arguments.plan = argv[next];
  arguments.tree = argv[next + 1];
  return arguments;
}

int keygen(const char* publicPath, const char* secretPath) {
  try {
    writeKeyPair(publicPath, secretPath);
    std::printf("public key in %s, secret key in %s: keep the secret key off the server\n", publicPath, secretPath);
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "quarnmp-publish: %s\n", failure.what());
    return 2;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string_view(argv[1]) == "keygen") return keygen(argv[2], argv[3]);
  const std::optional<Arguments> arguments = readArguments(argc, argv);
  if (!arguments) {
    std::fprintf(stderr, "usage: quarnmp-publish [--dry-run] [--sign SECRET] PLAN.json TREE\n"
                         "       quarnmp-publish keygen PUBLIC SECRET\n");
    return 1;
  }
  try {
    SecretKey secret;
    if (arguments->secretKey) readSecretKey(*arguments->secretKey, secret);
    const PublishPlan plan = readPublishPlan(arguments->plan);
    const PublishSummary summary =
        publishTree(plan, arguments->tree, arguments->dryRun, arguments->secretKey ? &secret : nullptr);
    printLines("quarnmp-publish: warning: ", summary.warnings, stderr);
    if (arguments->dryRun) {
      printLines("write ", summary.written, stdout);
      printLines("remove ", summary.removals, stdout);
      printLines("retire ", summary.retirements, stdout);
    }
    const std::size_t retirements = summary.retirements.size();
    const std::string retired = retirements == 0 ? "" : ", " + std::to_string(retirements) + " retired";
    // The release time is shown, so a clock far ahead never goes out unnoticed.
    const std::string time = arguments->secretKey ? ", signed as the release of " + utcText(summary.release) : "";
    std::printf("%s %zu files (%zu compressed, %zu removed%s) in %zu sets%s\n",
                arguments->dryRun ? "would publish" : "published", summary.files, summary.compressed, summary.removed,
                retired.c_str(), plan.sets.size(), time.c_str());
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
