// Handles as Windows hands them out: opaque pointers that the platform checks before use, so a
// stale, closed or foreign handle answers ERROR_INVALID_HANDLE instead of touching freed memory.
#pragma once

#include <memory>

#include "platform/core/win32.h"

// Every object behind a handle derives from this.
struct HandleObject {
  virtual ~HandleObject() = default;
};

// Kernel objects (threads, processes, the instance lock, event logs) share one handle type, as
// on Windows; registry keys, modules and LSA policies have types of their own.
typedef HandleObject* HANDLE;
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(~static_cast<std::uintptr_t>(0)))

namespace platform {

// Makes the object live and returns its handle.
void* RegisterHandle(std::shared_ptr<HandleObject> object);

// The live object behind a handle if it is of type T, else null (no error is set here).
std::shared_ptr<HandleObject> FindHandleObject(const void* handle);
template <typename T>
std::shared_ptr<T> LookupHandle(const void* handle) {
  return std::dynamic_pointer_cast<T>(FindHandleObject(handle));
}

// Ends the handle's life if it is a live T; the object itself goes when its last user lets go.
bool ReleaseHandleIf(const void* handle, bool (*isKind)(const HandleObject*));
template <typename T>
bool ReleaseHandle(const void* handle) {
  return ReleaseHandleIf(handle, [](const HandleObject* o) { return dynamic_cast<const T*>(o) != nullptr; });
}

// Number of live handles (tests check that every path releases what it acquired).
std::size_t LiveHandleCount();

}  // namespace platform
