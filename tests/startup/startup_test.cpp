// The real program, started in prepared folders without a display: it refuses the folder or gets as far as GLFW.
#include <gtest/gtest.h>

#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// The message box falls back to standard error; nothing is written.
const std::string refused = "0||<missing>|Wrong directory!: This executable has to be placed in a specific directory.\n"
    "For Tovan Edition file structure use the directory where 'data' and 'dataop' are located.\n"
    "For Rusk Edition file structure use the folder where 'base' and 'extra1' are located.\n"
    "Please move it and run it again.\n";
// Passed the check and wrote its settings, then stopped at GLFW for want of a display.
const std::string accepted = "1|GLFW's error|"
    R"({"clip_cursor":false,"console":false,"language":"de","luadebugger":false,"use_local_profile":false})" "|";

// "<exit code>|<standard output>|<settings file>|<standard error, up to the installation check>"
std::string start(const fs::path& workingDirectory, const std::string& program = QUARNMP_UPDATER_EXE) {
  // Wine without a display confirms a box without showing it: the text is asked for here.
  const auto messageBox = windowsPrograms ? std::optional<std::string>("stderr") : std::nullopt;
  const ProgramResult result = withUnixLineEnds(runProgram(
      program, {}, {.workingDirectory = workingDirectory.string(),
                    .environment = {{"QUARNMP_MESSAGEBOX", messageBox}, {"DISPLAY", {}}, {"WAYLAND_DISPLAY", {}}}}));
  // GLFW's own error comes first; its wording differs between systems.
  const bool glfw = result.out.starts_with("Error ") && result.out.ends_with("[GFLW] failed to init!\n");
  return std::to_string(result.exitCode) + "|" + (glfw ? "GLFW's error" : result.out) + "|" +
         readFile(workingDirectory / "quarnmpupdater_config.json") + "|" + (glfw ? "" : result.err);
}

}  // namespace

TEST(InstallationCheck, TakesEitherLayoutWithAnyKindOfObjectInTheWorkingDirectoryOnly) {
  TempFolder empty, dataOnly, rusk, tovan, plainFiles, dataAndBase;
  fs::create_directory(dataOnly / "Data");
  makeInstallation(rusk.path(), TestLayout::Rusk);
  makeInstallation(tovan.path(), TestLayout::Tovan);
  for (const char* name : {"Data", "DataOP"}) writeFile(plainFiles / name, "");
  for (const char* name : {"Data", "base"}) fs::create_directory(dataAndBase / name);
  const std::pair<fs::path, std::string> cases[] = {
      {empty.path(), refused}, {dataOnly.path(), refused}, {tovan / "Data", refused},  // its base has ../Data beside it
      {rusk.path(), accepted}, {tovan.path(), accepted}, {plainFiles.path(), accepted}, {dataAndBase.path(), accepted}};
  for (const auto& [folder, expected] : cases) EXPECT_EQ(start(folder), expected) << folder;
  // The executable's own folder does not count.
  fs::copy_file(QUARNMP_UPDATER_EXE, rusk / "QuarnMpUpdater");
  EXPECT_EQ(start(empty.path(), (rusk / "QuarnMpUpdater").string()), refused);
}
