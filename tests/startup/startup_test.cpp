// The real program, started in prepared folders without a display: it either refuses the
// folder (message box on standard error, exit 0) or gets as far as GLFW (exit 1).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const std::string defaultSettings =
    R"({"clip_cursor":false,"console":false,"language":"de","luadebugger":false,"use_local_profile":false})";

ProgramResult runUpdater(const fs::path& workingDirectory, const std::string& program = QUARNMP_UPDATER_EXE) {
  ProgramOptions options;
  options.workingDirectory = workingDirectory.string();
  options.environment = {
      {"QUARNMP_MESSAGEBOX", "stderr"}, {"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}};
  return runProgram(program, {}, options);
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
  EXPECT_FALSE(fs::exists(workingDirectory / "quarnmpupdater_config.json")) << "nothing is written";
}

// Passed the installation check and the settings, then stopped at GLFW for want of a display.
ProgramResult expectAccepted(const fs::path& workingDirectory,
                             const std::string& program = QUARNMP_UPDATER_EXE) {
  ProgramResult result = runUpdater(workingDirectory, program);
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_TRUE(result.out.starts_with("Error ")) << "GLFW's own error comes first: " << result.out;
  EXPECT_TRUE(result.out.ends_with("[GFLW] failed to init!\n")) << result.out;
  return result;
}

TEST(InstallationCheck, RefusesFoldersThatAreNoInstallationRoot) {
  TempFolder empty, dataOnly, tovan;
  fs::create_directory(dataOnly / "Data");
  makeInstallation(tovan.path(), TestLayout::Tovan);
  expectRefused(empty.path());
  expectRefused(dataOnly.path());
  expectRefused(tovan / "Data");  // its base folder has ../Data beside it
}

TEST(InstallationCheck, AcceptsBothLayoutsAndAnyKindOfFileSystemObject) {
  TempFolder rusk, tovan, plainFiles, dataAndBase;
  makeInstallation(rusk.path(), TestLayout::Rusk);
  makeInstallation(tovan.path(), TestLayout::Tovan);
  writeFile(plainFiles / "Data", "");
  writeFile(plainFiles / "DataOP", "");
  fs::create_directory(dataAndBase / "Data");
  fs::create_directory(dataAndBase / "base");
  for (const TempFolder* folder : {&rusk, &tovan, &plainFiles, &dataAndBase}) {
    expectAccepted(folder->path());
    EXPECT_EQ(readFile(*folder / "quarnmpupdater_config.json"), defaultSettings);
  }
}

TEST(InstallationCheck, LooksAtTheWorkingDirectoryNotAtTheExecutablesFolder) {
  TempFolder installation, elsewhere;
  makeInstallation(installation.path(), TestLayout::Rusk);
  const fs::path copy = installation / "QuarnMpUpdater";
  fs::copy_file(QUARNMP_UPDATER_EXE, copy);
  expectRefused(elsewhere.path(), copy.string());
}

TEST(StartupSettings, BrokenFilesAreReplacedWithoutStoppingTheProgram) {
  TempFolder installation;
  makeInstallation(installation.path(), TestLayout::Rusk);
  for (const std::string broken : {"", "{} {}", R"({"clip_cursor":"no"})"}) {
    SCOPED_TRACE(broken);
    writeFile(installation / "quarnmpupdater_config.json", broken);
    const ProgramResult result = expectAccepted(installation.path());
    EXPECT_NE(result.err.find("quarnmpupdater_config.json"), std::string::npos) << "the problem is named";
    EXPECT_EQ(readFile(installation / "quarnmpupdater_config.json"), defaultSettings);
  }
}

}  // namespace
