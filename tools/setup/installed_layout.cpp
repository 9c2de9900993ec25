#include "tools/setup/installed_layout.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

fs::path ProgramFolder() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self.parent_path();
}

// The build tree's places count only for the program the build made, never for an installed
// copy: an installation that lacks a file says so instead of reaching into a build folder.
bool RunsFromBuildTree(const fs::path& here) {
  std::error_code ec;
  return !here.empty() && fs::equivalent(here, fs::path(TALLYARD_SETUP_BUILD_FOLDER), ec);
}

std::string FirstThatExists(const std::vector<fs::path>& candidates, bool folder) {
  std::error_code ec;
  for (const fs::path& p : candidates)
    if (folder ? fs::is_directory(p, ec) : fs::is_regular_file(p, ec)) return p.lexically_normal().string();
  return {};
}

}  // namespace

std::string SourcewardenProgram() {
  const fs::path here = ProgramFolder();
  if (here.empty()) return {};
  std::vector<fs::path> candidates = {here / "sourcewarden", here / TALLYARD_LIBEXEC_FROM_BIN / "sourcewarden"};
  if (RunsFromBuildTree(here)) candidates.emplace_back(TALLYARD_BUILD_SOURCEWARDEN);
  return FirstThatExists(candidates, false);
}

std::string HelpPagesFolder() {
  const fs::path here = ProgramFolder();
  if (here.empty()) return {};
  std::vector<fs::path> candidates = {here / TALLYARD_DATA_FROM_BIN / "help"};
  if (RunsFromBuildTree(here)) candidates.emplace_back(TALLYARD_SOURCE_HELP);
  return FirstThatExists(candidates, true);
}
