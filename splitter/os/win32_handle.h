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
using UniqueHandle = UniqueAny<HANDLE, ::CloseHandle>;  // threads, events
using UniqueHwnd = UniqueAny<HWND, ::DestroyWindow>;
using UniqueGdiObject = UniqueAny<HGDIOBJ, ::DeleteObject>;
using UniqueFont = UniqueAny<HFONT, ::DeleteObject>;
using UniqueBrush = UniqueAny<HBRUSH, ::DeleteObject>;
using UniquePen = UniqueAny<HPEN, ::DeleteObject>;
using UniqueBitmap = UniqueAny<HBITMAP, ::DeleteObject>;
using UniqueDc = UniqueAny<HDC, ::DeleteDC>;  // from CreateCompatibleDC
using UniqueIcon = UniqueAny<HICON, ::DestroyIcon>;
using UniquePidl = UniqueAny<PIDLIST_ABSOLUTE, ::CoTaskMemFree>;

}  // namespace quillmere::win32
