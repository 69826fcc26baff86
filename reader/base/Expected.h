#pragma once
// The one way the library returns a result: a value, or the Error that kept
// it from being made. Shaped like C++23's std::expected<T, Error> (which the
// toolchains this builds with cannot all provide yet), so that it can become
// an alias of it later.

#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

#include "Error.h"

namespace reader {

class Unexpected {
 public:
  explicit Unexpected(Error error) : error_(std::move(error)) {}
  Error& error() { return error_; }

 private:
  Error error_;
};

// A failure of the given kind, with what a diagnostic line should say.
inline Unexpected Fail(ErrorKind kind, std::string detail = {}) { return Unexpected(Error{kind, std::move(detail)}); }

template <typename T>
class [[nodiscard]] Expected {
 public:
  template <typename U = T>
  requires std::is_convertible_v<U&&, T> Expected(U&& value) : state_(std::in_place_index<0>, std::forward<U>(value)) {}
  Expected(Unexpected failure) : state_(std::in_place_index<1>, std::move(failure.error())) {}

  bool has_value() const { return state_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& value() {
    assert(has_value());
    return std::get<0>(state_);
  }
  const T& value() const {
    assert(has_value());
    return std::get<0>(state_);
  }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Error& error() const {
    assert(!has_value());
    return std::get<1>(state_);
  }

 private:
  std::variant<T, Error> state_;
};

template <>
class [[nodiscard]] Expected<void> {
 public:
  Expected() = default;
  Expected(Unexpected failure) : error_(std::move(failure.error())), failed_(true) {}

  bool has_value() const { return !failed_; }
  explicit operator bool() const { return has_value(); }
  const Error& error() const {
    assert(failed_);
    return error_;
  }

 private:
  Error error_;
  bool failed_ = false;
};

}  // namespace reader
