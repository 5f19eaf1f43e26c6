// The COM-shaped basics of the DNC component interface: status codes, the
// reference-counted object base, an owning smart reference and the small
// VARIANT-like value. Shaped after COM so that a Windows backend over the real
// component is one more implementation, not a redesign.
// Reference counts are atomic: objects may be used from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

namespace ostrana::dnc {

using HRESULT = std::int32_t;

// The status codes the connector meets, with the values COM gives them. Named
// so that they stand beside <windows.h>, whose names for them are macros.
inline constexpr HRESULT kOk = 0;                                                  // S_OK
inline constexpr HRESULT kFalse = 1;                                               // S_FALSE
inline constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005u);                // E_FAIL
inline constexpr HRESULT kNoInterface = static_cast<HRESULT>(0x80004002u);         // E_NOINTERFACE
inline constexpr HRESULT kPointer = static_cast<HRESULT>(0x80004003u);             // E_POINTER
inline constexpr HRESULT kInvalidArg = static_cast<HRESULT>(0x80070057u);          // E_INVALIDARG
inline constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005u);        // E_ACCESSDENIED
inline constexpr HRESULT kClassNotRegistered = static_cast<HRESULT>(0x80040154u);  // REGDB_E_CLASSNOTREG
inline constexpr HRESULT kParamNotFound = static_cast<HRESULT>(0x80020004u);       // DISP_E_PARAMNOTFOUND
inline constexpr HRESULT kNotConnected = static_cast<HRESULT>(0x8007048Fu);        // ERROR_DEVICE_NOT_CONNECTED
inline constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002u);        // ERROR_FILE_NOT_FOUND
inline constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003u);        // ERROR_PATH_NOT_FOUND
// The component's own "no such file" answers (in the selected directory, on the control).
inline constexpr HRESULT kDncFileNotFound = static_cast<HRESULT>(0x800404C8u);
inline constexpr HRESULT kDncRemoteFileNotFound = static_cast<HRESULT>(0x800404CEu);
// IDispatch refusing a call before it reaches the member.
inline constexpr HRESULT kMemberNotFound = static_cast<HRESULT>(0x80020003u);  // DISP_E_MEMBERNOTFOUND
inline constexpr HRESULT kTypeMismatch = static_cast<HRESULT>(0x80020005u);    // DISP_E_TYPEMISMATCH
inline constexpr HRESULT kUnknownName = static_cast<HRESULT>(0x80020006u);     // DISP_E_UNKNOWNNAME
inline constexpr HRESULT kBadVarType = static_cast<HRESULT>(0x80020008u);      // DISP_E_BADVARTYPE
inline constexpr HRESULT kNoNamedArgs = static_cast<HRESULT>(0x80020007u);     // DISP_E_NONAMEDARGS
inline constexpr HRESULT kBadParamCount = static_cast<HRESULT>(0x8002000Eu);   // DISP_E_BADPARAMCOUNT

inline bool Failed(HRESULT hr) { return hr < 0; }

// The answers that mean "the file is not there", and nothing else: only
// these let the connector transmit the table template.
inline bool IsNotFound(HRESULT hr) {
  return hr == kDncFileNotFound || hr == kDncRemoteFileNotFound || hr == kFileNotFound || hr == kPathNotFound;
}
// A call that never reached the member (no such member, wrong shape): not a
// result of the component's, even where the connector ignores results.
inline bool NotInvoked(HRESULT hr) {
  return hr == kMemberNotFound || hr == kTypeMismatch || hr == kUnknownName || hr == kBadVarType ||
         hr == kNoNamedArgs || hr == kBadParamCount || hr == kParamNotFound;
}

// What went wrong with the last failed call on this thread, in words, as
// COM's per-thread error object carries it. A backend may set it before it
// returns a failure; a caller that wants to tell the user takes it (and so
// clears it) right after the call, having cleared it before.
inline std::string& ThreadFailureText() {
  thread_local std::string text;
  return text;
}
inline void SetFailureText(std::string text) { ThreadFailureText() = std::move(text); }
inline std::string TakeFailureText() { return std::exchange(ThreadFailureText(), std::string()); }
inline bool Succeeded(HRESULT hr) { return hr >= 0; }

enum class InterfaceId { Unknown, Machine, Connection2, DataAccess, DataEntry, FileSystem };

// Base of every object handed out by the component.
class IUnknown {
 public:
  virtual void AddRef() = 0;
  virtual void Release() = 0;
  // On success *out holds a new reference of the asked interface.
  virtual HRESULT QueryInterface(InterfaceId iid, void** out) = 0;

 protected:
  virtual ~IUnknown() = default;
};

// Reference counting for implementations: the object deletes itself when
// the last reference is released.
template <class Base>
class RefCounted : public Base {
 public:
  void AddRef() override { count_.fetch_add(1, std::memory_order_relaxed); }
  void Release() override {
    if (count_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

 private:
  std::atomic<long> count_{1};
};

// Owning reference. Assigning or clearing releases what it held.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller owns (as COM out parameters give).
  static ComPtr Attach(T* p) {
    ComPtr r;
    r.p_ = p;
    return r;
  }
  ComPtr(const ComPtr& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() { Clear(); }

  void Clear() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out parameters: releases what is held and hands out the slot.
  T** Put() {
    Clear();
    return &p_;
  }

  // QueryInterface into another smart reference.
  template <class U>
  HRESULT As(InterfaceId iid, ComPtr<U>* out) const {
    if (!p_) return kPointer;
    void* raw = nullptr;
    HRESULT hr = p_->QueryInterface(iid, &raw);
    *out = ComPtr<U>::Attach(Succeeded(hr) ? static_cast<U*>(raw) : nullptr);
    return hr;
  }

 private:
  T* p_ = nullptr;
};

// The small VARIANT: the value types the component hands over.
struct Variant {
  enum class Type { Empty, I2, I4, UI4, R4, R8, Text, Error };
  Type type = Type::Empty;
  std::int16_t i2 = 0;
  std::int32_t i4 = 0;
  std::uint32_t ui4 = 0;
  float r4 = 0.0f;
  double r8 = 0.0;
  std::string text;
  HRESULT error = 0;

  static Variant FromI2(std::int16_t v) { return Of(Type::I2, &Variant::i2, v); }
  static Variant FromI4(std::int32_t v) { return Of(Type::I4, &Variant::i4, v); }
  static Variant FromUI4(std::uint32_t v) { return Of(Type::UI4, &Variant::ui4, v); }
  static Variant FromR4(float v) { return Of(Type::R4, &Variant::r4, v); }
  static Variant FromR8(double v) { return Of(Type::R8, &Variant::r8, v); }
  static Variant FromText(std::string v) { return Of(Type::Text, &Variant::text, std::move(v)); }
  // The value COM uses for an optional argument that is left out.
  static Variant Missing() { return Of(Type::Error, &Variant::error, kParamNotFound); }
  void Clear() { *this = Variant(); }

 private:
  template <typename Member, typename Value>
  static Variant Of(Type type, Member Variant::*member, Value value) {
    Variant x;
    x.type = type;
    x.*member = std::move(value);
    return x;
  }
};

}  // namespace ostrana::dnc
