// The real program, started in prepared folders without a display: it either refuses the
// folder (the message box falls back to standard error, exit 0, nothing written) or gets as far as GLFW
// (exit 1) with its settings written.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const std::string settingsName = "quarnmpupdater_config.json";
const std::string defaultSettings =
    R"({"clip_cursor":false,"console":false,"language":"de","luadebugger":false,"use_local_profile":false})";

ProgramResult runUpdater(const fs::path& workingDirectory, const std::string& program = QUARNMP_UPDATER_EXE) {
  ProgramOptions options;
  options.workingDirectory = workingDirectory.string();
  options.environment = {
      {"QUARNMP_MESSAGEBOX", std::nullopt}, {"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}};
  // Wine without a display confirms a box without showing it: the text is asked for here.
  if (windowsPrograms) options.environment["QUARNMP_MESSAGEBOX"] = "stderr";
  return withUnixLineEnds(runProgram(program, {}, options));
}

void expectRefused(const fs::path& workingDirectory, const std::string& program = QUARNMP_UPDATER_EXE) {
  const ProgramResult result = runUpdater(workingDirectory, program);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err,
            "Wrong directory!: This executable has to be placed in a specific directory.\n"
            "For Tovan Edition file structure use the directory where 'data' and 'dataop' are located.\n"
            "For Rusk Edition file structure use the folder where 'base' and 'extra1' are located.\n"
            "Please move it and run it again.\n");
  EXPECT_EQ(result.out, "");
  EXPECT_FALSE(fs::exists(workingDirectory / settingsName)) << "nothing is written";
}

// Passed the installation check and the settings, then stopped at GLFW for want of a display.
void expectAccepted(const fs::path& workingDirectory) {
  const ProgramResult result = runUpdater(workingDirectory);
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_TRUE(result.out.starts_with("Error ")) << "GLFW's own error comes first: " << result.out;
  EXPECT_TRUE(result.out.ends_with("[GFLW] failed to init!\n")) << result.out;
  EXPECT_EQ(readFile(workingDirectory / settingsName), defaultSettings);
}

}  // namespace

TEST(InstallationCheck, TakesEitherLayoutWithAnyKindOfObjectInTheWorkingDirectoryOnly) {
  TempFolder empty, dataOnly, rusk, tovan, plainFiles, dataAndBase;
  fs::create_directory(dataOnly / "Data");
  makeInstallation(rusk.path(), TestLayout::Rusk);
  makeInstallation(tovan.path(), TestLayout::Tovan);
  writeFile(plainFiles / "Data", "");
  writeFile(plainFiles / "DataOP", "");
  fs::create_directory(dataAndBase / "Data");
  fs::create_directory(dataAndBase / "base");
  for (const TempFolder* folder : {&empty, &dataOnly}) expectRefused(folder->path());
  expectRefused(tovan / "Data");  // its base folder has ../Data beside it
  for (const TempFolder* folder : {&rusk, &tovan, &plainFiles, &dataAndBase}) expectAccepted(folder->path());
  // The executable's own folder does not count.
  fs::copy_file(QUARNMP_UPDATER_EXE, rusk / "QuarnMpUpdater");
  expectRefused(empty.path(), (rusk / "QuarnMpUpdater").string());
}
