#pragma once
// One owner for every kind of Win32 handle the program holds. A kind is one
// line: the handle type, the function that closes it, and the value that
// means "no handle" (NULL for most kinds, INVALID_HANDLE_VALUE for files).
#include <objbase.h>
#include <shtypes.h>
#include <windows.h>

#include <utility>

namespace quillmere::win32 {

// The empty value of most handle kinds.
template <typename T>
struct NullIsEmpty {
  static T Value() noexcept { return T{}; }
};

// CreateFileW reports failure with INVALID_HANDLE_VALUE, not NULL.
struct InvalidHandleIsEmpty {
  static HANDLE Value() noexcept { return INVALID_HANDLE_VALUE; }
};

// Owns one handle of type T and closes it with Close when it goes out of
// scope or is replaced. Moves hand the handle over; copies are deleted, so a
// handle is never closed twice.
template <typename T, auto Close, typename Empty = NullIsEmpty<T>>
class UniqueAny {
 public:
  UniqueAny() noexcept = default;
  explicit UniqueAny(T value) noexcept : value_(value) {}
  UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  ~UniqueAny() { reset(); }

  T get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Empty::Value(); }

  // Gives up ownership without closing.
  [[nodiscard]] T release() noexcept { return std::exchange(value_, Empty::Value()); }

  // Closes the handle held (if any) and takes value.
  void reset(T value = Empty::Value()) noexcept {
    const T old = std::exchange(value_, value);
    if (old != Empty::Value()) Close(old);
  }

  // For functions that return a handle through a pointer argument: closes
  // what is held and returns where the new handle goes.
  T* put() noexcept {
    reset();
    return &value_;
  }

 private:
  T value_ = Empty::Value();
};

using UniqueFile = UniqueAny<HANDLE, ::CloseHandle, InvalidHandleIsEmpty>;
using UniqueHandle = UniqueAny<HANDLE, ::CloseHandle>;  // processes, threads, events
using UniqueFont = UniqueAny<HFONT, ::DeleteObject>;
using UniquePen = UniqueAny<HPEN, ::DeleteObject>;
using UniqueBitmap = UniqueAny<HBITMAP, ::DeleteObject>;
using UniqueDc = UniqueAny<HDC, ::DeleteDC>;  // from CreateCompatibleDC
using UniqueIcon = UniqueAny<HICON, ::DestroyIcon>;
using UniquePidl = UniqueAny<PIDLIST_ABSOLUTE, ::CoTaskMemFree>;

// A window's device context from GetDC, given back with ReleaseDC, which
// needs the window as well as the context.
class WindowDc {
 public:
  explicit WindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_) ::ReleaseDC(window_, dc_);
  }

  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// An object selected into a device context for a scope: the object it
// replaced is selected again when the owner goes, so the context can be
// deleted or given back with its own objects and ours can be deleted.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;
  ~ScopedSelect() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace quillmere::win32
