#include "platform/handles.h"

#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

std::mutex& TableMutex() {
  static std::mutex m;
  return m;
}
std::unordered_map<const void*, std::shared_ptr<HandleObject>>& Table() {
  static auto* table = new std::unordered_map<const void*, std::shared_ptr<HandleObject>>();
  return *table;
}

}  // namespace

void* RegisterHandle(std::shared_ptr<HandleObject> object) {
  void* h = object.get();
  std::lock_guard lock(TableMutex());
  Table()[h] = std::move(object);
  return h;
}

std::shared_ptr<HandleObject> FindHandleObject(const void* handle) {
  std::lock_guard lock(TableMutex());
  auto it = Table().find(handle);
  return it == Table().end() ? nullptr : it->second;
}

bool ReleaseHandleIf(const void* handle, bool (*isKind)(const HandleObject*)) {
  std::shared_ptr<HandleObject> doomed;  // destroyed outside the lock
  {
    std::lock_guard lock(TableMutex());
    auto it = Table().find(handle);
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
