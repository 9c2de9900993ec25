#include "platform/core/handles.h"

#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

std::mutex& TableMutex() {
  static std::mutex m;
  return m;
}
std::unordered_map<std::uintptr_t, std::shared_ptr<HandleObject>>& Table() {
  static auto* table = new std::unordered_map<std::uintptr_t, std::shared_ptr<HandleObject>>();
  return *table;
}

// Handle values count up and are never given out twice, so a handle kept after its close
// can never reach an object opened later at the same address. They stay far below the
// predefined registry keys (0x80000000 and up) and are multiples of 4, as Windows' are.
std::uintptr_t nextValue = 0x10000;

}  // namespace

void* RegisterHandle(std::shared_ptr<HandleObject> object) {
  std::lock_guard lock(TableMutex());
  const std::uintptr_t value = nextValue;
  nextValue += 4;
  Table()[value] = std::move(object);
  return reinterpret_cast<void*>(value);
}

std::shared_ptr<HandleObject> FindHandleObject(const void* handle) {
  std::lock_guard lock(TableMutex());
  auto it = Table().find(reinterpret_cast<std::uintptr_t>(handle));
  return it == Table().end() ? nullptr : it->second;
}

bool ReleaseHandleIf(const void* handle, bool (*isKind)(const HandleObject*)) {
  std::shared_ptr<HandleObject> doomed;  // destroyed outside the lock
  {
    std::lock_guard lock(TableMutex());
    auto it = Table().find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == Table().end() || !isKind(it->second.get())) return false;
    doomed = std::move(it->second);
    Table().erase(it);
  }
  return true;
}

std::size_t LiveHandleCount() {
  std::lock_guard lock(TableMutex());
  return Table().size();
}

}  // namespace platform
