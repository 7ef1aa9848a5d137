// A result that is either a value or the reason it could not be had.
//
// std::expected arrives with C++23; this is the part of it the suite needs. Inside a
// layer a failure carries a short reason ("PCX header: bytes per line 0"); at the
// public calls it becomes the 0/1 or null result the callers expect, and tools print
// the reason.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace vel {

struct Error {
  std::string reason;
};

// What `Fail` returns: converts to any Expected<T> as its failure.
struct Unexpected {
  Error error;
};

inline Unexpected Fail(std::string reason) { return Unexpected{Error{std::move(reason)}}; }
inline Unexpected Fail(Error error) { return Unexpected{std::move(error)}; }

template <typename T>
class [[nodiscard]] Expected {
 public:
  template <typename U>
  requires std::is_constructible_v<T, U&&> Expected(U&& value)
      : state_(std::in_place_index<0>, std::forward<U>(value)) {}  // NOLINT: implicit by design
  Expected(Unexpected failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}  // NOLINT

  bool has_value() const { return state_.index() == 0; }
  explicit operator bool() const { return has_value(); }
  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  const Error& error() const { return std::get<1>(state_); }
  const std::string& reason() const { return error().reason; }

 private:
  std::variant<T, Error> state_;
};

// A result with nothing to give on success.
template <>
class [[nodiscard]] Expected<void> {
 public:
  Expected() = default;
  Expected(Unexpected failure) : failed_(true), error_(std::move(failure.error)) {}  // NOLINT
  bool has_value() const { return !failed_; }
  explicit operator bool() const { return !failed_; }
  const Error& error() const { return error_; }
  const std::string& reason() const { return error_.reason; }

 private:
  bool failed_ = false;
  Error error_;
};

}  // namespace vel
