// Which message files belong to the sources of one event log of one computer: read from that
// computer's registry (or the local one) once, then answered for any source without registry
// access, as paths that open from the gathering machine.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/win32.h"

struct HKEY__;
typedef HKEY__* HKEY;

struct FileList {
  DWORD count = 0;
  std::vector<std::string> paths;
};

class MessageFileResolver {
 public:
  // computerName null: the local machine's registry, and drive paths stay as they are.
  MessageFileResolver(const char* computerName, const char* logName, bool& ok);

  // The source's index (-1 and false when the log has no such source), ignoring case.
  bool FindSource(const char* sourceName, int32_t& index) const;

  bool GetEventMessageFiles(int32_t index, FileList& out) const;
  bool GetCategoryMessageFiles(int32_t index, FileList& out) const;
  bool GetParameterMessageFiles(int32_t index, FileList& out) const;

  // The code of the most recent registry call (0 after one that succeeded).
  int32_t lastRegistryError() const { return lastRegistryError_; }
  DWORD sourceCount() const { return sourceCount_; }
  const std::string& systemRoot() const { return systemRoot_; }

  // Splits a stored value at ";" and maps each path (%SystemRoot%, administrative share).
  FileList ExpandFileList(const std::string& stored) const;

 private:
  std::string ReadText(HKEY key, const char* valueName);
  bool GetFiles(const std::vector<std::string>& list, int32_t index, FileList& out) const;
  void ReadSourceValues(HKEY connected, const std::string& sourceKeyPath);
  bool ReadSystemRoot(HKEY connected);

  std::optional<std::string> computerName_;
  std::string systemRoot_;
  DWORD sourceCount_ = 0;
  std::vector<std::string> sources_;
  std::vector<std::string> eventMessageFiles_;
  std::vector<std::string> categoryMessageFiles_;
  std::vector<std::string> parameterMessageFiles_;
  int32_t lastRegistryError_ = 0;
};
