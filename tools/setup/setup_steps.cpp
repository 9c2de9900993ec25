#include "tools/setup/setup_steps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "frame/settings.h"
#include "platform/registry/hive_image.h"
#include "platform/core/file_replace.h"
#include "platform/core/network.h"
#include "platform/core/paths.h"
#include "platform/core/regular_file.h"
#include "platform/registry/registry.h"

namespace {

constexpr unsigned kOwnerFolder = 0700;
constexpr unsigned kOwnerFile = 0600;
constexpr size_t kLargestHelpPage = size_t{1} << 20;

std::string Code(DWORD rc) { return "error " + std::to_string(rc); }

// InstallPath is written only when it differs, so a second run leaves the hive's bytes alone.
bool SetInstallPath(const char* keyPath, const std::string& install, std::string& error) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr);
  if (rc != ERROR_SUCCESS) {
    error = std::string("cannot create the key ") + keyPath + ": " + Code(static_cast<DWORD>(rc));
    return false;
  }
  char current[4096];
  DWORD size = sizeof current, type = 0;
  rc = RegQueryValueExA(key, "InstallPath", nullptr, &type, reinterpret_cast<LPBYTE>(current), &size);
  if (rc != ERROR_SUCCESS || type != REG_SZ || install != current) {
    rc = RegSetValueExA(key, "InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(install.c_str()),
                        static_cast<DWORD>(install.size() + 1));
    if (rc != ERROR_SUCCESS) error = std::string("cannot write InstallPath of ") + keyPath + ": " + Code(static_cast<DWORD>(rc));
  }
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

// A program file is read whole, up to a bound far above any build of ours.
std::string ReadAll(const std::string& path, bool& ok) {
  std::string bytes;
  ok = platform::ReadRegularFile(path, size_t{256} << 20, bytes) == 0;
  return bytes;
}

// Replaced whole, so a Corvane starting it meanwhile finds the old program or the new one.
bool ReplaceProgram(const std::string& target, const std::string& bytes, std::string& error) {
  // The mode is forced: an earlier copy that lost its execute bit must not keep that mode.
  platform::ReplaceError e = platform::ReplaceFile(target, [&](int fd) {
    if (int rc = platform::WriteAll(fd, bytes.data(), bytes.size())) return rc;
    return ::fchmod(fd, 0755) == 0 ? 0 : errno;
  }, 0755);
  if (e) error = "cannot install " + target + ": " + std::strerror(e.error);
  return !e;
}

std::string FileText(const std::string& path) {
  std::string text;
  return platform::ReadRegularFile(path, kLargestHelpPage, text) == 0 ? text : std::string();
}

}  // namespace

bool CreateHelpPages(const SetupOptions& options, const std::string& pages, std::string& error) {
  if (pages.empty()) {
    error = "the help pages of this installation are missing (share/tallyard/help beside its bin folder)";
    return false;
  }
  const std::string folder = options.install + "/help";
  if (DWORD rc = platform::MakeFolders(folder, 0755)) {
    error = "cannot create the help folder " + folder + ": " + Code(rc);
    return false;
  }
  std::error_code ec;
  for (std::filesystem::directory_iterator it(pages, ec), end; !ec && it != end; it.increment(ec)) {
    const std::filesystem::directory_entry& entry = *it;
    std::error_code type;
    if (!entry.is_regular_file(type)) continue;
    std::string text;
    if (int e = platform::ReadRegularFile(entry.path(), kLargestHelpPage, text)) {
      error = "cannot read the help page " + entry.path().string() + ": " + std::strerror(e);
      return false;
    }
    const std::string path = folder + "/" + entry.path().filename().string();
    if (FileText(path) == text) continue;
    // Replaced whole: a reader never finds half a page.
    if (platform::ReplaceError e = platform::ReplaceFile(path, text, 0644)) {
      error = "cannot write the help page " + path + ": " + std::strerror(e.error);
      return false;
    }
  }
  if (ec) {
    error = "cannot list the help pages in " + pages + ": " + ec.message();
    return false;
  }
  return true;
}

bool CreateNetworkFolder(const SetupOptions& options, std::string& error) {
  if (DWORD rc = platform::MakeFolders(options.network, 0755)) {
    error = "cannot create the network folder " + options.network + ": " + Code(rc);
    return false;
  }
  return true;
}

bool CreateLocalComputer(const SetupOptions& options, std::string& error) {
  platform::ImageSpec spec;
  spec.name = options.computer;
  spec.host.domain = options.domain;
  spec.host.role = "workstation";
  spec.folderMode = kOwnerFolder;
  spec.fileMode = kOwnerFile;
  if (DWORD rc = platform::BuildComputerImage(spec)) {
    error = "cannot create the image of " + options.computer + ": " + Code(rc);
    return false;
  }
  // An image made before by other means may be open to everyone: the folder closes it all.
  platform::ComputerImage image;
  if (platform::FindComputer(options.computer, image) == ERROR_SUCCESS) {
    struct stat st;
    if (::stat(image.root.c_str(), &st) == 0 && (st.st_mode & 077) != 0) ::chmod(image.root.c_str(), kOwnerFolder);
  }
  return true;
}

bool CreateInstallFolder(const SetupOptions& options, std::string& error) {
  if (DWORD rc = platform::MakeFolders(options.install, 0755)) {
    error = "cannot create the install folder " + options.install + ": " + Code(rc);
    return false;
  }
  return true;
}

bool InstallSourcewarden(const SetupOptions& options, const std::string& program, std::string& error) {
  if (program.empty()) {
    error = "the data-source manager sourcewarden is not installed beside tallyard-setup";
    return false;
  }
  bool read = false;
  std::string bytes = ReadAll(program, read);
  if (!read || bytes.empty()) {
    error = "the data-source manager " + program + " cannot be read";
    return false;
  }
  std::string target = options.install + "/sourcewarden";
  bool there = false;
  if (ReadAll(target, there) == bytes && there) return true;
  return ReplaceProgram(target, bytes, error);
}

bool CreateSettingsKeys(const SetupOptions& options, std::string& error) {
  return SetInstallPath(kCorvaneSettingsKey, options.install, error) &&
         SetInstallPath(kPraxonSettingsKey, options.install, error);
}

void SetupUndo::NoteFolder(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path top;
  for (fs::path p = fs::path(path).lexically_normal(); !p.empty() && !fs::exists(fs::symlink_status(p, ec));
       p = p.parent_path()) {
    top = p;
    if (p == p.parent_path()) break;
  }
  if (!top.empty()) undo_.push_back([top] {
    std::error_code ignored;
    fs::remove_all(top, ignored);
  });
}

void SetupUndo::NoteFile(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) undo_.push_back([path] { ::unlink(path.c_str()); });
}

void SetupUndo::NoteKey(const std::string& keyPath) {
  platform::ComputerImage image;
  std::vector<std::string> names;
  if (platform::FindComputer(platform::LocalComputerName(), image) != ERROR_SUCCESS ||
      platform::SplitKeyPath(keyPath, names) != ERROR_SUCCESS)
    return;  // a new image goes as a whole folder
  std::string parent = names[0];
  for (size_t i = 1; i < names.size(); ++i) {
    std::vector<std::string> below;
    if (platform::ListImageSubkeys(image, parent + "\\" + names[i], below) == ERROR_FILE_NOT_FOUND) {
      const std::string child = names[i];
      undo_.push_back([image, parent, child] {
        platform::ChangeImageKey(image, parent, false, [&](platform::Hive& hive, platform::HiveNode node) {
          platform::HiveNode made = 0;
          if (DWORD rc = hive.Child(node, child, made)) return rc;
          return hive.DeleteKey(made);
        });
      });
      return;
    }
    parent += "\\" + names[i];
  }
}

void SetupUndo::NoteValue(const std::string& keyPath, const std::string& name) {
  platform::ComputerImage image;
  if (platform::FindComputer(platform::LocalComputerName(), image) != ERROR_SUCCESS) return;
  platform::RegistryValue old;
  const DWORD rc = platform::ReadImageValue(image, keyPath, name, old);
  if (rc == ERROR_SUCCESS) {
    undo_.push_back([image, keyPath, name, old] { platform::WriteImageValue(image, keyPath, name, old); });
  } else if (rc == ERROR_FILE_NOT_FOUND) {
    undo_.push_back([image, keyPath, name] {
      platform::ChangeImageKey(image, keyPath, false,
                               [&](platform::Hive& hive, platform::HiveNode node) { return hive.DeleteValue(node, name); });
    });
  }
}

void SetupUndo::NoteBytes(const std::string& path) {
  std::string bytes;
  int e = platform::ReadRegularFile(path, 16u << 20, bytes);
  if (e == ENOENT) {
    NoteFile(path);
  } else if (e == 0) {
    undo_.push_back([path, bytes] { platform::ReplaceFile(path, bytes); });
  }
}

void SetupUndo::Run() {
  for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) (*it)();
  undo_.clear();
}
